#include "capture_check/capture_check.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "simdriver/core/input_pattern.h"

namespace asiochan::capture_check {

namespace {

using sim::fillInputPattern;
using sim::inputPatternByte;

// Frames read at a time (8 MiB at 64 inputs) and checked at a time (fits a cache).
constexpr std::size_t kReadFrames = 32768;
constexpr std::size_t kCheckFrames = 1024;
// Samples of each channel that decide where its stream starts, and how far into
// the driver's stream a capture may start.
constexpr std::size_t kProbeFrames = 16384;
constexpr std::uint64_t kMaxStartPeriod = std::uint64_t{1} << 20;

struct Layout {
    bool rf64 = false;
    unsigned channels = 0;
    unsigned bits = 0;
    std::uint64_t dataStart = 0;
    std::uint64_t dataBytes = 0;
};

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

std::uint64_t le(const unsigned char* p, int bytes) {
    std::uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | p[i];
    return v;
}

// The format and the data chunk's place, RF64's 64-bit sizes from its ds64 chunk.
// An empty string when it is a WAVE file, otherwise what is wrong.
const char* readLayout(std::FILE* f, Layout* layout) {
    unsigned char head[12];
    if (std::fread(head, 1, 12, f) != 12 || std::memcmp(head + 8, "WAVE", 4) != 0) return "not a WAVE file";
    layout->rf64 = std::memcmp(head, "RF64", 4) == 0;
    if (!layout->rf64 && std::memcmp(head, "RIFF", 4) != 0) return "not a RIFF or RF64 file";
    std::uint64_t at = 12, ds64Data = 0;
    bool ds64 = false;
    for (;;) {
        unsigned char chunk[8 + 28];
        if (fseeko(f, static_cast<off_t>(at), SEEK_SET) != 0 || std::fread(chunk, 1, 8, f) != 8) return "no data chunk";
        const std::uint64_t size = le(chunk + 4, 4);
        const std::size_t body = std::fread(chunk + 8, 1, std::min<std::uint64_t>(size, 28), f);
        if (std::memcmp(chunk, "ds64", 4) == 0 && body >= 16) {
            ds64 = true;
            ds64Data = le(chunk + 16, 8);
        } else if (std::memcmp(chunk, "fmt ", 4) == 0 && body >= 16) {
            layout->channels = static_cast<unsigned>(le(chunk + 10, 2));
            layout->bits = static_cast<unsigned>(le(chunk + 22, 2));
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (layout->rf64 && !ds64) return "an RF64 file without a ds64 chunk";
            layout->dataStart = at + 8;
            layout->dataBytes = layout->rf64 && size == 0xffffffffu ? ds64Data : size;
            return layout->channels == 0 ? "no fmt chunk before the data" : "";
        }
        at += 8 + size + (size & 1);
    }
}

// Where channel `input`'s stream stood at the first frame: the first whole period
// (from `hint`, then from 0) whose pattern the probe's bytes continue.
bool findStart(std::int32_t input, const std::uint8_t* probe, std::size_t bytes, std::uint64_t hint,
               std::uint64_t* offset) {
    std::vector<std::uint8_t> expected(bytes);
    auto fits = [&](std::uint64_t period) {
        const std::uint64_t at = period * kPeriodBytes;
        // One byte of each 256-byte run first: they rule out almost every period.
        for (std::size_t b = 0; b < bytes; b += 255)
            if (probe[b] != inputPatternByte(input, at + b)) return false;
        fillInputPattern(input, at, expected.data(), bytes);
        return std::memcmp(expected.data(), probe, bytes) == 0;
    };
    if (fits(hint)) {
        *offset = hint * kPeriodBytes;
        return true;
    }
    for (std::uint64_t period = 0; period < kMaxStartPeriod; ++period)
        if (fits(period)) {
            *offset = period * kPeriodBytes;
            return true;
        }
    return false;
}

struct Check {
    const std::vector<std::int32_t>& inputs;
    std::size_t frameBytes;
    std::vector<std::uint64_t> starts;  // each channel's stream offset at the first frame
    std::vector<std::uint8_t> expected = std::vector<std::uint8_t>(kCheckFrames * 4);
    std::uint64_t framesChecked = 0;

    // Finds each channel's start in the file's first frames; false when one has none.
    bool locate(const std::uint8_t* frames, std::size_t count, std::FILE* out);
    // Checks `count` frames that follow those checked; false at the first mismatch.
    bool check(const std::uint8_t* frames, std::size_t count, std::FILE* out);
};

bool Check::locate(const std::uint8_t* frames, std::size_t count, std::FILE* out) {
    const std::size_t probeFrames = std::min(count, kProbeFrames);
    std::vector<std::uint8_t> probe(probeFrames * 4);
    std::uint64_t hint = 0;
    for (std::size_t c = 0; c < inputs.size(); ++c) {
        for (std::size_t f = 0; f < probeFrames; ++f) std::memcpy(&probe[f * 4], frames + f * frameBytes + c * 4, 4);
        if (!findStart(inputs[c], probe.data(), probe.size(), hint, &starts[c])) {
            std::fprintf(out, "channel %zu (input %d): its first samples continue no period of the pattern\n", c,
                         inputs[c]);
            return false;
        }
        hint = starts[c] / kPeriodBytes;
    }
    const auto [low, high] = std::minmax_element(starts.begin(), starts.end());
    std::fprintf(out, "first frame at period %llu%s of the inputs' streams\n",
                 static_cast<unsigned long long>(*low / kPeriodBytes), *low == *high ? " (all alike)" : " or later");
    return true;
}

bool Check::check(const std::uint8_t* frames, std::size_t count, std::FILE* out) {
    for (std::size_t done = 0; done < count;) {
        const std::size_t n = std::min(kCheckFrames, count - done);
        const std::uint8_t* block = frames + done * frameBytes;
        for (std::size_t c = 0; c < inputs.size(); ++c) {
            fillInputPattern(inputs[c], starts[c] + framesChecked * 4, expected.data(), n * 4);
            for (std::size_t f = 0; f < n; ++f) {
                const std::uint8_t* got = block + f * frameBytes + c * 4;
                if (std::memcmp(got, &expected[f * 4], 4) == 0) continue;
                std::size_t b = 0;
                while (got[b] == expected[f * 4 + b]) ++b;
                const auto frame = static_cast<unsigned long long>(framesChecked + f);
                std::fprintf(out, "%llu frames checked\n", frame);
                std::fprintf(out, "FAIL: first mismatch at frame %llu, channel %zu (input %d), byte %zu: 0x%02x where "
                             "the pattern has 0x%02x\n", frame, c, inputs[c], b, got[b], expected[f * 4 + b]);
                return false;
            }
        }
        framesChecked += n;
        done += n;
    }
    return true;
}

}  // namespace

int checkCapture(const char* path, const std::vector<std::int32_t>& inputs, std::FILE* out) {
    File f(std::fopen(path, "rb"));
    Layout layout;
    const char* wrong = f ? readLayout(f.get(), &layout) : "cannot open it";
    if (*wrong == '\0' && (layout.bits != 32 || layout.channels != inputs.size())) wrong = "not one 32-bit channel per input";
    if (*wrong != '\0') {
        std::fprintf(out, "%s: %s\n", path, wrong);
        return 2;
    }
    Check check{inputs, inputs.size() * 4, std::vector<std::uint64_t>(inputs.size())};
    const std::uint64_t frames = layout.dataBytes / check.frameBytes;
    std::fprintf(out, "%s: %s, %u channels of 32-bit samples, %llu frames\n", path, layout.rf64 ? "RF64" : "WAV",
                 layout.channels, static_cast<unsigned long long>(frames));
    if (frames == 0 || layout.dataBytes % check.frameBytes != 0) {
        std::fprintf(out, "FAIL: the data chunk holds %s\n", frames == 0 ? "no frame" : "a part of a frame");
        return frames == 0 ? 2 : 1;
    }
    std::vector<std::uint8_t> buffer(kReadFrames * check.frameBytes);
    fseeko(f.get(), static_cast<off_t>(layout.dataStart), SEEK_SET);
    while (check.framesChecked < frames) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kReadFrames, frames - check.framesChecked));
        const std::size_t got = std::fread(buffer.data(), check.frameBytes, want, f.get());
        if (check.framesChecked == 0 && got > 0 && !check.locate(buffer.data(), got, out)) return 2;
        if (!check.check(buffer.data(), got, out)) return 1;
        if (got < want) {
            std::fprintf(out, "%llu frames checked\nFAIL: the file ends %llu frames before its data chunk does\n",
                         static_cast<unsigned long long>(check.framesChecked),
                         static_cast<unsigned long long>(frames - check.framesChecked));
            return 1;
        }
    }
    std::fprintf(out, "%llu frames checked: every byte of every channel continues the pattern\n",
                 static_cast<unsigned long long>(check.framesChecked));
    return 0;
}

}  // namespace asiochan::capture_check
