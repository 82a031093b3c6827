// A check for the command-line tests: splits the samples of a captured WAV file
// into runs that each continue the simulated driver's input pattern of one
// channel, and prints them. A capture with the gap of one restart is two runs.
// Captures start at period boundaries: the runs start at pattern offsets that are
// multiples of `alignment` bytes.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "wine/pattern_runs.h"

int printPatternRuns(const char* path, int channel, std::uint32_t alignment) {
    if (alignment == 0) alignment = 1;
    HMODULE sim = LoadLibraryA("asiochan_sim.dll");
    auto patternByte = sim ? reinterpret_cast<std::uint8_t(__cdecl*)(std::int32_t, std::uint32_t)>(
                                 reinterpret_cast<void*>(GetProcAddress(sim, "simInputPatternByte")))
                           : nullptr;
    std::FILE* f = std::fopen(path, "rb");
    if (patternByte == nullptr || f == nullptr) {
        std::printf("cannot read %s or the simulated driver\n", path);
        if (f) std::fclose(f);
        return 2;
    }
    std::vector<std::uint8_t> file;
    std::uint8_t chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) file.insert(file.end(), chunk, chunk + n);
    std::fclose(f);
    // The samples: after the "data" chunk header.
    std::size_t at = 12;
    while (at + 8 <= file.size() && std::memcmp(&file[at], "data", 4) != 0) {
        const std::uint32_t size =
            file[at + 4] | file[at + 5] << 8 | file[at + 6] << 16 | std::uint32_t{file[at + 7]} << 24;
        at += 8 + size + (size & 1);
    }
    if (at + 8 > file.size()) {
        std::printf("%s has no data chunk\n", path);
        return 2;
    }
    const std::uint8_t* data = &file[at + 8];
    const std::size_t length = file.size() - at - 8;

    // The pattern repeats itself in short stretches, so a run's start is taken at
    // the period-aligned pattern offset from which the samples follow it longest.
    constexpr std::uint32_t kSearch = 64u << 20;
    auto follows = [&](std::size_t start, std::uint32_t offset) {
        std::size_t end = start;
        while (end < length && data[end] == patternByte(channel, static_cast<std::uint32_t>(offset + (end - start))))
            ++end;
        return end - start;
    };
    int runs = 0;
    for (std::size_t start = 0; start < length;) {
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
            std::printf("bytes from %u continue no pattern\n", unsigned(start));
            return 1;
        }
        std::printf("run %d: %u bytes from pattern offset %u\n", ++runs, unsigned(longest), unsigned(from));
        start += longest;
    }
    std::printf("%d run(s)\n", runs);
    return 0;
}
