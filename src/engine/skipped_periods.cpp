#include "engine/skipped_periods.h"

#include <algorithm>

namespace asiochan {

SamplePosition samplePositionOf(const ASIOTime* time) {
    if (time == nullptr) return {};
    // The driver's structure: each field read once.
    const std::uint32_t flags = time->timeInfo.flags;
    if ((flags & kSamplePositionValid) == 0) return {};
    const ASIOSamples at = time->timeInfo.samplePosition;
    return {true, (std::uint64_t{at.hi} << 32) | at.lo};
}

std::uint32_t SkippedPeriods::note(SamplePosition at, std::int64_t periodFrames) {
    // A driver may report the one value kNoPosition stands for; that period then
    // counts as one without a position.
    const std::uint64_t now = at.valid ? at.frames : kNoPosition;
    const std::uint64_t before = last_.load(std::memory_order_relaxed);
    last_.store(now, std::memory_order_relaxed);
    if (now == kNoPosition || before == kNoPosition || periodFrames <= 0) return 0;

    const auto size = static_cast<std::uint64_t>(periodFrames);
    std::uint32_t skipped = 1;  // a step of 0 or backwards
    if (now > before) {
        const std::uint64_t step = now - before;
        if (step < 2 * size) return 0;  // the usual case, without a division
        // A jump of billions of periods is no real position either; the bound
        // keeps one such step from wrapping the count round.
        skipped = static_cast<std::uint32_t>(std::min<std::uint64_t>(step / size - 1, INT32_MAX));
    }
    count_.fetch_add(skipped, std::memory_order_relaxed);
    return skipped;
}

void SkippedPeriods::restart() {
    last_.store(kNoPosition, std::memory_order_release);
    count_.store(0, std::memory_order_release);
}

}  // namespace asiochan
