// A check for the command-line tests: splits the samples of a captured WAV file
// into runs that each continue the simulated driver's input pattern of one
// channel, and prints them. A capture with the gap of one restart is two runs.
// Captures start at period boundaries: the runs start at pattern offsets that are
// multiples of `alignment` bytes. The pattern is a function of the byte offset in
// a channel's stream since the driver started, so inputs captured aligned have
// the same runs at the same offsets.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "wine/pattern_runs.h"

namespace {
using PatternByte = std::uint8_t(__cdecl*)(std::int32_t, std::uint32_t);

struct Run {
    std::size_t bytes;
    std::uint32_t offset;
    bool operator==(const Run& other) const { return bytes == other.bytes && offset == other.offset; }
};

// The runs of one channel's bytes; false when some bytes continue no pattern.
bool findRuns(PatternByte patternByte, int channel, const std::vector<std::uint8_t>& data, std::uint32_t alignment,
              std::vector<Run>* runs) {
    // The pattern repeats itself in short stretches, so a run's start is taken at
    // the period-aligned pattern offset from which the samples follow it longest.
    constexpr std::uint32_t kSearch = 64u << 20;
    auto follows = [&](std::size_t start, std::uint32_t offset) {
        std::size_t end = start;
        while (end < data.size() &&
               data[end] == patternByte(channel, static_cast<std::uint32_t>(offset + (end - start))))
            ++end;
        return end - start;
    };
    for (std::size_t start = 0; start < data.size();) {
        std::size_t longest = 0;
        std::uint32_t from = 0;
        for (std::uint32_t offset = 0; offset < kSearch; offset += alignment) {
            if (data[start] != patternByte(channel, offset)) continue;
            const std::size_t n = follows(start, offset);
            if (n > longest) {
                longest = n;
                from = offset;
            }
        }
        if (longest == 0) {
            std::printf("input %d: bytes from %u continue no pattern\n", channel, unsigned(start));
            return false;
        }
        runs->push_back({longest, from});
        start += longest;
    }
    return true;
}
}  // namespace

int printPatternRuns(const char* path, const char* inputList, std::uint32_t alignment) {
    if (alignment == 0) alignment = 1;
    std::vector<int> inputs;
    for (const char* p = inputList;;) {
        char* end = nullptr;
        inputs.push_back(static_cast<int>(std::strtol(p, &end, 10)));
        if (end == p || *end != ',') break;
        p = end + 1;
    }
    HMODULE sim = LoadLibraryA("asiochan_sim.dll");
    auto patternByte =
        sim ? reinterpret_cast<PatternByte>(reinterpret_cast<void*>(GetProcAddress(sim, "simInputPatternByte")))
            : nullptr;
    std::FILE* f = std::fopen(path, "rb");
    if (patternByte == nullptr || f == nullptr || inputs.empty()) {
        std::printf("cannot read %s or the simulated driver\n", path);
        if (f) std::fclose(f);
        return 2;
    }
    std::vector<std::uint8_t> file;
    std::uint8_t chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) file.insert(file.end(), chunk, chunk + n);
    std::fclose(f);
    // The channel count and sample width from the format chunk, the samples from the data chunk.
    std::size_t at = 12, channels = 0, width = 0;
    while (at + 8 <= file.size() && std::memcmp(&file[at], "data", 4) != 0) {
        const std::uint32_t size =
            file[at + 4] | file[at + 5] << 8 | file[at + 6] << 16 | std::uint32_t{file[at + 7]} << 24;
        if (std::memcmp(&file[at], "fmt ", 4) == 0 && at + 24 <= file.size()) {
            channels = file[at + 10] | file[at + 11] << 8;
            width = (file[at + 22] | file[at + 23] << 8) / 8u;
        }
        at += 8 + size + (size & 1);
    }
    if (at + 8 > file.size() || channels != inputs.size() || width == 0) {
        std::printf("%s has no data chunk, or not one channel for each of %u inputs\n", path, unsigned(inputs.size()));
        return 2;
    }
    std::vector<std::vector<Run>> runs(channels);
    for (std::size_t c = 0; c < channels; ++c) {
        std::vector<std::uint8_t> stream;
        for (std::size_t i = at + 8 + c * width; i + width <= file.size(); i += channels * width)
            stream.insert(stream.end(), &file[i], &file[i] + width);
        if (!findRuns(patternByte, inputs[c], stream, alignment, &runs[c])) return 1;
    }
    int result = 0;
    for (std::size_t c = 0; c < channels; ++c) {
        if (c > 0 && runs[c] == runs[0]) continue;
        if (c > 0) result = 1;
        for (std::size_t r = 0; r < runs[c].size(); ++r)
            std::printf("%sinput %d run %u: %u bytes from pattern offset %u\n", c > 0 ? "differs: " : "", inputs[c],
                        unsigned(r + 1), unsigned(runs[c][r].bytes), runs[c][r].offset);
    }
    if (result == 0) std::printf("%u run(s), the same on %u input(s)\n", unsigned(runs[0].size()), unsigned(channels));
    return result;
}
