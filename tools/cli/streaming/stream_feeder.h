// Feeds a stream's outputs from a WAV file: block by block, as much as the
// stream takes, and after the stream ended (a driver's reset) from the place the
// last frame played, so that the next stream plays on from there.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "streaming/frame_source.h"
#include "streaming/playback_frames.h"

namespace cli {

// Where a feeder's frames go: the stream's writes, or a test's stand-in.
class FrameWriter {
public:
    virtual ~FrameWriter() = default;
    // Writes up to `count` interleaved frames, waiting up to `timeoutMs` for room:
    // the frames taken, kSourceEnded once the stream ended, or another negative
    // code on an error.
    virtual std::int32_t write(const void* frames, std::int32_t count, std::int32_t timeoutMs) = 0;
};

class StreamFeeder {
public:
    StreamFeeder(const PlaybackPlan& plan, bool floats, std::size_t blockFrames);

    // Writes until the stream takes no more within `timeoutMs`, ends, or the file
    // has been written out. False when the file cannot be read or the stream
    // refuses (error() says why).
    bool feed(FrameWriter& writer, std::int32_t timeoutMs);
    // A file that does not loop has been handed over to its end.
    bool writtenOut() const { return writtenOut_; }
    // The stream answered that it ended.
    bool ended() const { return ended_; }
    // Frames handed to this stream.
    std::uint64_t written() const { return written_; }
    // The place in the play (frames from its start, loops included) of this
    // stream's first frame.
    std::uint64_t base() const { return base_; }
    // A new stream follows one of which `played` frames played: it starts there.
    void restartAt(std::uint64_t played);
    const std::string& error() const { return error_; }
    bool floats() const { return frames_.floats(); }
    std::size_t frameBytes() const { return frames_.frameBytes(); }

private:
    PlaybackFrames frames_;
    std::size_t blockFrames_;
    std::vector<std::uint8_t> block_;
    std::size_t filled_ = 0;  // frames of the block filled
    std::size_t taken_ = 0;   // of them, taken by the stream
    std::uint64_t base_ = 0;
    std::uint64_t next_ = 0;  // the place of the next frame to fill
    std::uint64_t written_ = 0;
    bool writtenOut_ = false;
    bool ended_ = false;
    std::string error_;
};

}  // namespace cli
