#include "engine/housekeeper.h"

#include <algorithm>

#include "engine/channel_blocks.h"

namespace asiochan {

namespace {
// The longest single wait of a stop for the thread's end. The thread sets the
// event a moment before its last step; a stop that looks in between waits one
// slice more.
constexpr std::uint32_t kStopWaitSliceMs = 10;

std::uint32_t millisecondsUntil(std::uint64_t deadline, std::uint64_t now) {
    return now >= deadline ? 0 : static_cast<std::uint32_t>((deadline - now + 999) / 1000);
}
}  // namespace

bool Housekeeper::ensureRunning() {
    std::uint8_t expected = kStopped;
    if (!state_.compare_exchange_strong(expected, kRunning, std::memory_order_acq_rel)) {
        // Running, or asked to stop and about to end: a stop asked for is taken back.
        expected = kStopRequested;
        state_.compare_exchange_strong(expected, kRunning, std::memory_order_seq_cst);
        wake();
        return true;
    }
    if (startThread_(&Housekeeper::threadMain, this)) return true;
    state_.store(kStopped, std::memory_order_release);
    return false;
}

void Housekeeper::setKeepAlive(bool keep) {
    keepAlive_.store(keep, std::memory_order_seq_cst);
    // A thread asleep for good learns that its idle time now counts.
    wake();
}

void Housekeeper::serviceFromApplication() {
    if (state_.load(std::memory_order_acquire) == kRunning) {
        // The thread writes the dumps; should it ever sleep with one pending, the
        // application that polls for it wakes it rather than wait for ever.
        if (dumps_.pendingCount() != 0) wake();
        return;
    }
    if (dumps_.pendingCount() == 0) {
        retired_.releaseAll();
        return;
    }
    if (!ensureRunning()) doWork();
}

bool Housekeeper::stop(std::uint32_t timeoutMs) {
    std::uint8_t expected = kRunning;
    state_.compare_exchange_strong(expected, kStopRequested, std::memory_order_seq_cst);
    wake();
    const std::uint64_t deadline = platform::monotonicMicros() + std::uint64_t{timeoutMs} * 1000u;
    for (;;) {
        ended_.reset();
        if (state_.load(std::memory_order_acquire) == kStopped) return true;
        const std::uint32_t left = millisecondsUntil(deadline, platform::monotonicMicros());
        if (left == 0) return false;
        ended_.wait(std::min(left, kStopWaitSliceMs));
    }
}

bool Housekeeper::doWork() {
    const std::uint32_t dumps = dumps_.writePending();
    const std::uint32_t blocks = retired_.releaseAll();
    return dumps + blocks != 0;
}

bool Housekeeper::periodsMayHandOver() const {
    const std::uint32_t mark = signs_.periods.quietMark();
    const bool flagUp = signs_.running.load(std::memory_order_seq_cst) != 0;
    return flagUp || !signs_.periods.quietSince(mark);
}

void Housekeeper::threadMain(void* self) { static_cast<Housekeeper*>(self)->run(); }

void Housekeeper::run() {
    std::uint64_t idleSince = platform::monotonicMicros();
    // The event was reset before this round's look. It is reset only before a
    // sleep, not before every poll: under Wine a reset is a call to the server.
    bool armed = false;
    for (;;) {
        // The signs before the work: a period hands its work over before it ends
        // or lowers a flag, so with no sign up the work below is all there is.
        const bool mayHandOver = periodsMayHandOver();
        if (doWork()) idleSince = platform::monotonicMicros();
        const bool streamWaits = streamWake_ != nullptr && streamWake_->waiting();
        if (streamWaits) {
            streamWake_->wakeWaiting();
            idleSince = platform::monotonicMicros();
        }
        const bool keepAlive = keepAlive_.load(std::memory_order_seq_cst);
        const std::uint64_t idleExit = idleSince + std::uint64_t{kIdleExitMs} * 1000u;
        const std::uint32_t idleLeftMs = millisecondsUntil(idleExit, platform::monotonicMicros());
        const bool pending = dumps_.pendingCount() != 0;
        if (!pending && (state_.load(std::memory_order_seq_cst) == kStopRequested || (!keepAlive && idleLeftMs == 0))) {
            poll_.end();
            // A stop that waits hears of the end first: once the state reads
            // stopped, the owner may start another thread or let this object go,
            // so the store below is the last touch of it.
            ended_.set();
            std::uint8_t expected = kStopRequested;
            if (state_.compare_exchange_strong(expected, kStopped, std::memory_order_acq_rel)) return;
            expected = kRunning;
            if (!keepAlive && idleLeftMs == 0 &&
                state_.compare_exchange_strong(expected, kStopped, std::memory_order_acq_rel))
                return;
        }
        if (mayHandOver || pending || streamWaits) {
            // A poll sleeps: under Wine a timed wait on the event switched threads
            // more often than a sleep of the same length.
            armed = false;
            poll_.sleepMs(kPollMs);
        } else if (!armed) {
            poll_.end();
            // Nothing can complete. Reset, then look again: a wake-up given
            // before the reset shows in that look, one given after it ends the
            // wait at once.
            wakeUp_.reset();
            armed = true;
        } else {
            wakeUp_.wait(keepAlive ? platform::kWaitForever : std::max<std::uint32_t>(idleLeftMs, 1));
            armed = false;
        }
    }
}

}  // namespace asiochan
