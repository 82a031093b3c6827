// What the driver asked of the host while a run streams: a reset, a resync, new
// latencies or a new sample rate. The driver's threads note them with one atomic
// operation each (no lock, no allocation, no wait); the application reads and
// clears them. Also counts the periods the run processed and those the driver
// skipped, and remembers that a reset was asked for until the next run is
// prepared.
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/skipped_periods.h"

namespace asiochan {

// The request bits, as GetDriverRequests reports them.
constexpr std::uint32_t kRequestReset = 1;
constexpr std::uint32_t kRequestResync = 2;
constexpr std::uint32_t kRequestLatencies = 4;
constexpr std::uint32_t kRequestSampleRate = 8;
constexpr std::uint32_t kRequestSkippedPeriods = 16;  // noted by the period processing

class DriverRequests {
public:
    // Driver's thread. A reset request also holds the run's audio until the next
    // startRun: the driver's sizes may no longer be the ones the run was made with.
    void note(std::uint32_t bits) {
        // The stream's copy first: a period that sees the reset held finds its bit.
        streamNotices_.fetch_or(bits, std::memory_order_acq_rel);
        if (bits & kRequestReset) resetPending_.store(1, std::memory_order_release);
        bits_.fetch_or(bits, std::memory_order_acq_rel);
    }
    // Driver's thread (the stream's step of a period): the notices since the last
    // take, for the stream's events; GetDriverRequests keeps its own.
    std::uint32_t takeStreamNotices() { return streamNotices_.exchange(0, std::memory_order_acq_rel); }
    // Driver's thread: a new sample rate, kept before its bit is set.
    void noteSampleRate(double rate);
    // Driver's thread: one period of `frames` frames of the prepared run processed,
    // at sample position `at` (periods held after a reset request are not, so
    // nothing is skipped from a reset request on).
    // Returns the periods skipped just before this one.
    std::uint32_t notePeriod(SamplePosition at, std::int64_t frames) {
        periods_.fetch_add(1, std::memory_order_relaxed);
        const std::uint32_t skipped = skipped_.note(at, frames);
        if (skipped != 0) bits_.fetch_or(kRequestSkippedPeriods, std::memory_order_acq_rel);
        return skipped;
    }

    // Application: the bits noted since the last take, cleared.
    std::uint32_t take() { return bits_.exchange(0, std::memory_order_acq_rel); }
    // The rate of the last sample-rate notice (0 when none came since startRun).
    double lastSampleRate() const;
    bool resetPending() const { return resetPending_.load(std::memory_order_acquire) != 0; }
    // Periods processed since startRun, wrapping at 2^32.
    std::uint32_t periods() const { return periods_.load(std::memory_order_relaxed); }
    // Periods the driver skipped since startRun, wrapping at 2^32.
    std::uint32_t skippedPeriods() const { return skipped_.count(); }

    // Application, at Prepare once no period runs: a new run starts with nothing
    // asked and no period counted or skipped.
    void startRun();

private:
    std::atomic<std::uint32_t> bits_{0};
    std::atomic<std::uint32_t> streamNotices_{0};
    std::atomic<std::uint8_t> resetPending_{0};
    std::atomic<std::uint32_t> periods_{0};
    SkippedPeriods skipped_;
    std::atomic<std::uint64_t> rateBits_{0};  // the double's bit pattern
    static_assert(std::atomic<std::uint64_t>::is_always_lock_free, "the driver's thread must not take a lock");
};

}  // namespace asiochan
