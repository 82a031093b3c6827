// Mutex and event through the Windows API: a slim reader/writer lock, and a manual-reset kernel event (SetEvent neither
// locks nor waits).
#include <windows.h>

#include <new>

#include "platform/platform.h"

namespace asiochan::platform {

namespace {
SRWLOCK* lockIn(unsigned char* storage) { return std::launder(reinterpret_cast<SRWLOCK*>(storage)); }
HANDLE& handleIn(unsigned char* storage) { return *std::launder(reinterpret_cast<HANDLE*>(storage)); }
HANDLE handleIn(const unsigned char* storage) { return *std::launder(reinterpret_cast<const HANDLE*>(storage)); }
}  // namespace

Mutex::Mutex() {
    static_assert(sizeof(SRWLOCK) <= sizeof storage_);
    InitializeSRWLock(new (storage_) SRWLOCK);
}
Mutex::~Mutex() = default;
void Mutex::lock() { AcquireSRWLockExclusive(lockIn(storage_)); }
void Mutex::unlock() { ReleaseSRWLockExclusive(lockIn(storage_)); }
void Mutex::lockShared() { AcquireSRWLockShared(lockIn(storage_)); }
void Mutex::unlockShared() { ReleaseSRWLockShared(lockIn(storage_)); }

Event::Event() {
    static_assert(sizeof(HANDLE) <= sizeof storage_);
    static_assert(kWaitForever == INFINITE);
    new (storage_) HANDLE(CreateEventA(nullptr, TRUE, FALSE, nullptr));
}
Event::~Event() {
    if (handleIn(storage_) != nullptr) CloseHandle(handleIn(storage_));
}
void Event::set() {
    if (handleIn(storage_) != nullptr) SetEvent(handleIn(storage_));
}
void Event::reset() {
    if (handleIn(storage_) != nullptr) ResetEvent(handleIn(storage_));
}
bool Event::isSet() const {
    return handleIn(storage_) != nullptr && WaitForSingleObject(handleIn(storage_), 0) == WAIT_OBJECT_0;
}
bool Event::wait(std::uint32_t timeoutMs) {
    // Without an event object (the system was out of handles) a wait is a sleep,
    // and one without a time limit a short one: nothing could end it.
    if (handleIn(storage_) == nullptr) {
        Sleep(timeoutMs == INFINITE ? 10 : timeoutMs);
        return false;
    }
    return WaitForSingleObject(handleIn(storage_), timeoutMs) == WAIT_OBJECT_0;
}

}  // namespace asiochan::platform
