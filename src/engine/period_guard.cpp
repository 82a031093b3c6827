#include "engine/period_guard.h"

#include <atomic>

#include "platform/platform.h"

namespace asiochan {

namespace {
// Periods are run one after another by the driver's thread, so "exited has caught
// up with the entries seen" means every one of those periods has ended.
std::atomic<std::uint32_t> periodsEntered{0};
std::atomic<std::uint32_t> periodsExited{0};
// Both sides pass through a read-modify-write of this word between their store
// and their load. Whichever passes second synchronises with the first: either the
// waiter sees the period's entry, or the period sees the waiter's cleared fields.
std::atomic<std::uint32_t> handshake{0};
}  // namespace

PeriodScope::PeriodScope() {
    periodsEntered.fetch_add(1, std::memory_order_seq_cst);
    handshake.fetch_add(1, std::memory_order_acq_rel);
}

PeriodScope::~PeriodScope() { periodsExited.fetch_add(1, std::memory_order_release); }

bool waitForPeriodsInFlight(std::uint32_t timeoutMs) {
    handshake.fetch_add(1, std::memory_order_acq_rel);
    const std::uint32_t entered = periodsEntered.load(std::memory_order_seq_cst);
    auto caughtUp = [entered] {
        return static_cast<std::int32_t>(periodsExited.load(std::memory_order_acquire) - entered) >= 0;
    };
    if (caughtUp()) return true;
    const std::uint64_t deadline = platform::monotonicMicros() + std::uint64_t{timeoutMs} * 1000u;
    for (unsigned spins = 0;; ++spins) {
        if (caughtUp()) return true;
        if (platform::monotonicMicros() >= deadline) return false;
        if (spins < 64)
            platform::yieldThread();
        else
            platform::sleepMs(1);
    }
}

}  // namespace asiochan
