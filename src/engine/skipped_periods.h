// The periods a driver let pass without calling the host. An overloaded machine
// makes a driver fall behind: it skips periods, the audio of those periods is
// gone in both directions, and its sample position jumps by more than one
// period between two callbacks. The driver's thread notes each period's sample
// position here with plain atomic loads and stores; the application reads the
// count.
#pragma once

#include <atomic>
#include <cstdint>

#include "driver/asio_types.h"

namespace asiochan {

// A period's sample position as the driver gave it: `valid` false when the
// driver did not give one (no time information, its flag not set, the query
// failed).
struct SamplePosition {
    bool valid = false;
    std::uint64_t frames = 0;
};

// The sample position in a driver's time information (null: none).
SamplePosition samplePositionOf(const ASIOTime* time);

class SkippedPeriods {
public:
    // Driver's thread, once per period of `periodFrames` frames: the periods
    // skipped since the period before, added to the count and returned. Only a
    // period whose position and whose predecessor's are both valid counts: a step
    // of more than one period skipped step / size - 1 of them (rounded down, so a
    // jittery position does not count), at most 2^31 - 1 in one step; a step of 0
    // or backwards counts one, as the position, and so the measurement, cannot be
    // trusted.
    std::uint32_t note(SamplePosition at, std::int64_t periodFrames);

    // The periods skipped since restart, wrapping at 2^32.
    std::uint32_t count() const { return count_.load(std::memory_order_relaxed); }

    // Application, at Prepare once no period runs: nothing skipped, no position
    // to compare the next period with.
    void restart();

private:
    static constexpr std::uint64_t kNoPosition = UINT64_MAX;
    // The last period's position; kNoPosition when it had none. Written by the
    // driver's thread only (and at restart, while no period runs).
    std::atomic<std::uint64_t> last_{kNoPosition};
    std::atomic<std::uint32_t> count_{0};
    static_assert(std::atomic<std::uint64_t>::is_always_lock_free, "the driver's thread must not take a lock");
};

}  // namespace asiochan
