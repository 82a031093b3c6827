#include "engine/housekeeper.h"

#include "engine/channel_blocks.h"

namespace asiochan {

bool Housekeeper::ensureRunning() {
    std::uint8_t expected = kStopped;
    if (!state_.compare_exchange_strong(expected, kRunning, std::memory_order_acq_rel)) {
        // Running, or asked to stop and about to end: a stop asked for is taken back.
        expected = kStopRequested;
        state_.compare_exchange_strong(expected, kRunning, std::memory_order_acq_rel);
        return true;
    }
    if (startThread_(&Housekeeper::threadMain, this)) return true;
    state_.store(kStopped, std::memory_order_release);
    return false;
}

void Housekeeper::serviceFromApplication() {
    if (state_.load(std::memory_order_acquire) == kRunning) return;
    if (dumps_.pendingCount() == 0) {
        retired_.releaseAll();
        return;
    }
    if (!ensureRunning()) doWork();
}

bool Housekeeper::stop(std::uint32_t timeoutMs) {
    std::uint8_t expected = kRunning;
    state_.compare_exchange_strong(expected, kStopRequested, std::memory_order_acq_rel);
    const std::uint64_t deadline = platform::monotonicMicros() + std::uint64_t{timeoutMs} * 1000u;
    while (state_.load(std::memory_order_acquire) != kStopped) {
        if (platform::monotonicMicros() >= deadline) return false;
        platform::sleepMs(1);
    }
    return true;
}

bool Housekeeper::doWork() {
    const std::uint32_t dumps = dumps_.writePending();
    const std::uint32_t blocks = retired_.releaseAll();
    return dumps + blocks != 0;
}

void Housekeeper::threadMain(void* self) { static_cast<Housekeeper*>(self)->run(); }

void Housekeeper::run() {
    std::uint64_t idleSince = platform::monotonicMicros();
    for (;;) {
        if (doWork()) idleSince = platform::monotonicMicros();
        const bool idleLongEnough = !keepAlive_.load(std::memory_order_acquire) &&
                                    platform::monotonicMicros() - idleSince >= std::uint64_t{kIdleExitMs} * 1000u;
        if (dumps_.pendingCount() == 0) {
            // The last touch of this object: once it reads stopped, the owner may
            // start another thread or let the object go.
            std::uint8_t expected = kStopRequested;
            if (state_.compare_exchange_strong(expected, kStopped, std::memory_order_acq_rel)) return;
            expected = kRunning;
            if (idleLongEnough && state_.compare_exchange_strong(expected, kStopped, std::memory_order_acq_rel)) return;
        }
        platform::sleepMs(kPollMs);
    }
}

}  // namespace asiochan
