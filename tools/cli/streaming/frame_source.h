// Where a capture's frames come from and where they go: the stream's reads and
// the WAV file in the command, stand-ins that can be slowed or stalled in tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>

#include "wav/wav_writer.h"

namespace cli {

// Something that happened in the source at a position: a driver's notice (its
// request bits), an overflow or an underrun, as the stream reports them.
struct SourceEvent {
    std::uint32_t code = 0;
    std::uint32_t frames = 0;
    std::uint64_t position = 0;
};

// What one read moved besides its frames.
struct SourceBlock {
    static constexpr int kMaxEvents = 8;
    std::uint64_t position = 0;  // of the first frame read
    std::uint64_t lost = 0;      // frames lost just before it (dropped or skipped)
    int eventCount = 0;
    SourceEvent events[kMaxEvents];
};

// The source ended and every frame it had was read.
constexpr std::int32_t kSourceEnded = std::numeric_limits<std::int32_t>::min();

class FrameSource {
public:
    virtual ~FrameSource() = default;
    // Reads up to `count` interleaved frames into `frames`, waiting up to
    // `timeoutMs` for them. A read stops before a gap and the next block tells it.
    // The frames read (0: none came in time), kSourceEnded (no frames, but
    // `block` may tell a last gap and events), or another negative code on an error.
    virtual std::int32_t read(void* frames, std::int32_t count, std::int32_t timeoutMs, SourceBlock* block) = 0;
};

class FrameSink {
public:
    virtual ~FrameSink() = default;
    // Append interleaved frames in the file's bytes, or frames of zeros; false
    // once a write failed.
    virtual bool writeFrames(const std::uint8_t* bytes, std::size_t frames) = 0;
    virtual bool writeSilence(std::uint64_t frames) = 0;
    virtual std::string error() const = 0;
};

// A WAV file as a capture's sink.
class WavFrameSink : public FrameSink {
public:
    explicit WavFrameSink(WavWriter& file) : file_(file) {}
    bool writeFrames(const std::uint8_t* bytes, std::size_t frames) override { return file_.writeFrames(bytes, frames); }
    bool writeSilence(std::uint64_t frames) override { return file_.writeSilence(frames); }
    std::string error() const override { return file_.error(); }

private:
    WavWriter& file_;
};

}  // namespace cli
