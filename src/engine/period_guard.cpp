#include "engine/period_guard.h"

#include <algorithm>

namespace asiochan {

namespace {
// The longest single wait on the event. Two application threads waiting at once
// may reset each other's wake-up; the slice bounds what such a lost wake-up costs.
constexpr std::uint32_t kWaitSliceMs = 10;
}  // namespace

PeriodGuard::CallBound::CallBound(PeriodGuard& guard) : guard_(guard) {
    std::uint64_t none = 0;
    const std::uint64_t deadline = platform::monotonicMicros() + std::uint64_t{guard_.waitLimitMs()} * 1000u;
    outer_ = guard_.callDeadline_.compare_exchange_strong(none, deadline, std::memory_order_seq_cst);
}

PeriodGuard::CallBound::~CallBound() {
    if (outer_) guard_.callDeadline_.store(0, std::memory_order_seq_cst);
}

void PeriodGuard::enter() {
    entered_.fetch_add(1, std::memory_order_seq_cst);
    handshake_.fetch_add(1, std::memory_order_acq_rel);
}

void PeriodGuard::wakeWaiters() {
    if (waiters_.load(std::memory_order_seq_cst) != 0) periodEnded_.set();
}

void PeriodGuard::doneWithMemory() {
    done_.fetch_add(1, std::memory_order_seq_cst);
    wakeWaiters();
}

void PeriodGuard::exit() {
    exited_.fetch_add(1, std::memory_order_seq_cst);
    wakeWaiters();
}

bool PeriodGuard::waitFor(const std::atomic<std::uint32_t>& counter, std::uint32_t timeoutMs) {
    handshake_.fetch_add(1, std::memory_order_acq_rel);
    const std::uint32_t entered = entered_.load(std::memory_order_seq_cst);
    auto caughtUp = [&counter, entered] {
        return static_cast<std::int32_t>(counter.load(std::memory_order_seq_cst) - entered) >= 0;
    };
    if (caughtUp()) return true;
    waiters_.fetch_add(1, std::memory_order_seq_cst);
    std::uint64_t deadline = platform::monotonicMicros() + std::uint64_t{timeoutMs} * 1000u;
    const std::uint64_t bound = callDeadline_.load(std::memory_order_seq_cst);
    if (bound != 0) deadline = std::min(deadline, bound);
    bool done = false;
    for (;;) {
        periodEnded_.reset();
        if ((done = caughtUp())) break;
        const std::uint64_t now = platform::monotonicMicros();
        if (now >= deadline) break;
        const auto leftMs = static_cast<std::uint32_t>((deadline - now + 999) / 1000);
        periodEnded_.wait(std::min(leftMs, kWaitSliceMs));
    }
    waiters_.fetch_sub(1, std::memory_order_seq_cst);
    return done;
}

}  // namespace asiochan
