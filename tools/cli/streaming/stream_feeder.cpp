#include "streaming/stream_feeder.h"

#include <algorithm>
#include <string>

#include "asiochan.h"

namespace cli {

StreamFeeder::StreamFeeder(const PlaybackPlan& plan, bool floats, std::size_t blockFrames)
    : frames_(plan, floats), blockFrames_(std::max<std::size_t>(blockFrames, 1)),
      block_(blockFrames_ * frames_.frameBytes()) {}

bool StreamFeeder::feed(FrameWriter& writer, std::int32_t timeoutMs) {
    while (!ended_) {
        if (taken_ == filled_) {
            const std::int64_t n = frames_.fill(next_, blockFrames_, block_.data(), &error_);
            if (n < 0) return false;
            if (n == 0) {
                writtenOut_ = true;
                return true;
            }
            filled_ = static_cast<std::size_t>(n);
            taken_ = 0;
            next_ += filled_;
        }
        const auto count = static_cast<std::int32_t>(filled_ - taken_);
        const std::int32_t took = writer.write(block_.data() + taken_ * frames_.frameBytes(), count, timeoutMs);
        if (took == kSourceEnded) {
            ended_ = true;
            break;
        }
        if (took < 0) {
            error_ = std::string("the stream refused the file's frames: ") + AsiochanErrorText(took) + " (code " +
                     std::to_string(took) + ")";
            return false;
        }
        taken_ += static_cast<std::size_t>(took);
        written_ += static_cast<std::uint64_t>(took);
        if (took < count) break;  // the ring is full for now
    }
    return true;
}

void StreamFeeder::restartAt(std::uint64_t played) {
    base_ += std::min(played, written_);
    next_ = base_;
    filled_ = taken_ = 0;
    written_ = 0;
    writtenOut_ = ended_ = false;
}

}  // namespace cli
