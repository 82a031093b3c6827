// Mutex and event for the Linux host build. The event is a futex word: setting it
// is a store and a wake-up call, with no lock, as on the driver's callback thread.
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <ctime>
#include <new>
#include <shared_mutex>

#include "platform/host/host_control.h"
#include "platform/platform.h"

namespace asiochan::platform {

namespace {
std::shared_mutex& mutexIn(unsigned char* storage) {
    return *std::launder(reinterpret_cast<std::shared_mutex*>(storage));
}
std::atomic<std::uint32_t>& wordIn(unsigned char* storage) {
    return *std::launder(reinterpret_cast<std::atomic<std::uint32_t>*>(storage));
}
const std::atomic<std::uint32_t>& wordIn(const unsigned char* storage) {
    return *std::launder(reinterpret_cast<const std::atomic<std::uint32_t>*>(storage));
}
long futex(std::atomic<std::uint32_t>& word, int op, std::uint32_t value, const timespec* timeout) {
    return ::syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(&word), op, value, timeout, nullptr, 0);
}
}  // namespace

Mutex::Mutex() {
    static_assert(sizeof(std::shared_mutex) <= sizeof storage_);
    new (storage_) std::shared_mutex;
}
Mutex::~Mutex() { mutexIn(storage_).~shared_mutex(); }
void Mutex::lock() {
    host::countBlockingCall();
    mutexIn(storage_).lock();
}
void Mutex::unlock() { mutexIn(storage_).unlock(); }
void Mutex::lockShared() {
    host::countBlockingCall();
    mutexIn(storage_).lock_shared();
}
void Mutex::unlockShared() { mutexIn(storage_).unlock_shared(); }

Event::Event() {
    static_assert(sizeof(std::atomic<std::uint32_t>) <= sizeof storage_);
    new (storage_) std::atomic<std::uint32_t>(0);
}
Event::~Event() = default;

namespace {
thread_local std::uint64_t eventSets = 0;
}  // namespace

std::uint64_t host::eventSetsOnThisThread() { return eventSets; }

void Event::set() {
    ++eventSets;
    if (wordIn(storage_).exchange(1, std::memory_order_seq_cst) == 0)
        futex(wordIn(storage_), FUTEX_WAKE_PRIVATE, INT_MAX, nullptr);
}

void Event::reset() { wordIn(storage_).store(0, std::memory_order_seq_cst); }

bool Event::isSet() const { return wordIn(storage_).load(std::memory_order_seq_cst) != 0; }

bool Event::wait(std::uint32_t timeoutMs) {
    host::countBlockingCall();
    const bool withoutLimit = timeoutMs == kWaitForever;
    host::noteWaitBegins(withoutLimit);
    const std::uint64_t deadline = monotonicMicros() + std::uint64_t{timeoutMs} * 1000u;
    bool set = false;
    for (;;) {
        if ((set = isSet())) break;
        const std::uint64_t now = monotonicMicros();
        if (!withoutLimit && now >= deadline) break;
        const std::uint64_t left = deadline - now;
        const timespec timeout{static_cast<time_t>(left / 1000000u), static_cast<long>(left % 1000000u * 1000u)};
        // Sleeps only while the word still reads 0; a set in between returns at once.
        futex(wordIn(storage_), FUTEX_WAIT_PRIVATE, 0, withoutLimit ? nullptr : &timeout);
    }
    host::noteWaitEnds(withoutLimit);
    return set;
}

}  // namespace asiochan::platform
