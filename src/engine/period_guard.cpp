#include "engine/period_guard.h"

#include <atomic>

#include "platform/platform.h"

namespace asiochan {

namespace {
// Periods are run one after another by the driver's thread, so "exited has caught
// up with the entries seen" means every one of those periods has ended.
std::atomic<std::uint32_t> periodsEntered{0};
std::atomic<std::uint32_t> periodsExited{0};
}  // namespace

PeriodScope::PeriodScope() {
    periodsEntered.fetch_add(1, std::memory_order_seq_cst);
    // Pairs with the fence in waitForPeriodsInFlight: either the waiter counts this
    // period, or this period sees the fields the waiter cleared before it looked.
    std::atomic_thread_fence(std::memory_order_seq_cst);
}

PeriodScope::~PeriodScope() { periodsExited.fetch_add(1, std::memory_order_release); }

bool waitForPeriodsInFlight(std::uint32_t timeoutMs) {
    std::atomic_thread_fence(std::memory_order_seq_cst);
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
