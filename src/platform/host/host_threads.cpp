// Threads, sleep and clock for the Linux host build.
#include <atomic>
#include <chrono>
#include <thread>

#include "platform/host/host_control.h"
#include "platform/platform.h"

namespace asiochan::platform {

namespace {
struct HostThread {
    std::thread thread;
    std::atomic<bool> ended{false};
    std::atomic<int> owners{2};  // the handle and the running thread
};

void dropOwner(HostThread* t) {
    if (t->owners.fetch_sub(1, std::memory_order_acq_rel) == 1) delete t;
}

std::atomic<std::uint32_t> nextThreadId{1};

thread_local bool onLibraryThread = false;
std::atomic<std::uint64_t> libraryWaits{0};
std::atomic<int> libraryAsleep{0};
}  // namespace

namespace host {
std::uint64_t libraryThreadWaits() { return libraryWaits.load(std::memory_order_acquire); }
int libraryThreadsAsleep() { return libraryAsleep.load(std::memory_order_acquire); }
void noteWaitBegins(bool withoutLimit) {
    if (!onLibraryThread) return;
    libraryWaits.fetch_add(1, std::memory_order_acq_rel);
    if (withoutLimit) libraryAsleep.fetch_add(1, std::memory_order_acq_rel);
}
void noteWaitEnds(bool withoutLimit) {
    if (onLibraryThread && withoutLimit) libraryAsleep.fetch_sub(1, std::memory_order_acq_rel);
}
}  // namespace host

ThreadHandle startThread(ThreadEntry entry, void* argument, std::uint32_t* threadId) {
    auto* t = new HostThread;
    if (threadId) *threadId = nextThreadId.fetch_add(1);
    t->thread = std::thread([t, entry, argument] {
        entry(argument);
        t->ended.store(true, std::memory_order_release);
        dropOwner(t);
    });
    t->thread.detach();
    return t;
}

bool waitThread(ThreadHandle thread, std::uint32_t timeoutMs) {
    host::countBlockingCall();
    auto* t = static_cast<HostThread*>(thread);
    if (t == nullptr) return true;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!t->ended.load(std::memory_order_acquire)) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

void closeThread(ThreadHandle thread) {
    if (thread) dropOwner(static_cast<HostThread*>(thread));
}

// The test build is one executable: nothing to keep loaded, the thread is simply detached.
bool startLibraryThread(ThreadEntry entry, void* argument) {
    std::thread([entry, argument] {
        onLibraryThread = true;
        entry(argument);
    }).detach();
    return true;
}

void sleepMs(std::uint32_t milliseconds) {
    host::countBlockingCall();
    host::noteWaitBegins(false);
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

// The host build keeps its test memory unlocked: the tests open many streams.
bool lockMemory(void* /*memory*/, std::size_t /*bytes*/) { return false; }

void yieldThread() {
    host::countBlockingCall();
    host::noteWaitBegins(false);
    std::this_thread::yield();
}

std::uint64_t monotonicMicros() {
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}

}  // namespace asiochan::platform
