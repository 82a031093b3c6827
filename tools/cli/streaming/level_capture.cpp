#include "streaming/level_capture.h"

#include <algorithm>
#include <cmath>

#include "asiochan.h"
#include "streaming/capture_queue.h"
#include "wav/sample_codec.h"

namespace cli {

namespace {
// A set lasts about 100 ms (whole periods): the monitor reads the queue every
// 10 ms, well within one set less a period. Four sets: two in the library, the
// rest being measured.
constexpr double kSetSeconds = 0.1;
constexpr std::size_t kSets = 4;
constexpr std::uint64_t kQueueDepth = 2;
// Refusals in a row (a poll each) before the queue counts as broken: 1 s.
constexpr int kMostRefusals = 100;
}  // namespace

std::int32_t LevelCapture::start(const InputShape& shape) {
    stop();
    shape_ = shape;
    const auto period = static_cast<std::size_t>(std::max(shape.frames, std::int32_t{1}));
    const auto periods = static_cast<std::size_t>(std::ceil(kSetSeconds * shape.rate / static_cast<double>(period)));
    setFrames_ = std::max<std::size_t>(periods, 1) * period;
    // The run has one input width: every buffer counts in the first input's.
    const auto width = static_cast<std::size_t>(shape.widths.empty() ? 0 : shape.widths[0]);
    sets_.assign(kSets,
                 std::vector<std::vector<std::uint8_t>>(inputs_.size(), std::vector<std::uint8_t>(setFrames_ * width)));
    queued_ = measured_ = dropped_ = 0;
    refusals_ = 0;
    const std::int32_t code = feed(0);
    if (code != ASIOCHAN_OK) return code;
    StartCapture();
    running_ = true;
    return ASIOCHAN_OK;
}

std::int32_t LevelCapture::feed(std::uint64_t filled) {
    while (queued_ - filled < kQueueDepth && queued_ - measured_ < kSets) {
        std::vector<std::vector<std::uint8_t>>& set = sets_[queued_ % kSets];
        pointers_.clear();
        for (std::vector<std::uint8_t>& buffer : set) pointers_.push_back(buffer.data());
        const std::int32_t code = queueBuffers(inputs_, pointers_.data(), set[0].size());
        // A period under way may not have made room on every input yet: the set
        // goes in at a later poll (nothing was queued). Refused for longer, it fails.
        if (code == ASIOCHAN_INVALID_MODE && ++refusals_ < kMostRefusals) return ASIOCHAN_OK;
        if (code != ASIOCHAN_OK) return code;
        refusals_ = 0;
        ++queued_;
    }
    return ASIOCHAN_OK;
}

std::int32_t LevelCapture::collect(std::vector<LevelMeter>& meters) {
    QueueReading reading;
    if (!running_ || !readQueue(inputs_, &reading)) return ASIOCHAN_OK;
    dropped_ = reading.dropped;
    const std::uint64_t filled = std::min(reading.recorded / setFrames_, queued_);
    for (; measured_ < filled; ++measured_) {
        const std::vector<std::vector<std::uint8_t>>& set = sets_[measured_ % kSets];
        for (std::size_t i = 0; i < inputs_.size(); ++i) {
            decoded_.resize(setFrames_);
            decodeUnitSamples(set[i].data(), setFrames_, shape_.types[i], decoded_.data());
            meters[i].add(decoded_.data(), setFrames_);
        }
    }
    return feed(filled);
}

void LevelCapture::stop() {
    if (!running_) return;
    running_ = false;
    StopCapture();
    droppedBefore_ += dropped_;
    dropped_ = 0;
}

}  // namespace cli
