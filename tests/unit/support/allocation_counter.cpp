#include "support/allocation_counter.h"

#include <pthread.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {
thread_local bool counting = false;
thread_local std::size_t allocations = 0;
thread_local std::uint64_t heapCalls = 0;
thread_local std::uint64_t lockCalls = 0;

std::atomic<long long> liveBytes{0};
std::atomic<long long> peakBytes{0};

// Each block carries its requested size in front of it, so that the bytes held
// are counted exactly (the allocator's own rounding varies with what it had free).
constexpr std::size_t kHeader = 16;  // keeps the blocks 16-byte aligned

void* allocate(std::size_t n) {
    if (counting) ++allocations;
    auto* base = static_cast<unsigned char*>(std::malloc(n + kHeader));
    if (base == nullptr) return nullptr;
    std::memcpy(base, &n, sizeof n);
    const long long now =
        liveBytes.fetch_add(static_cast<long long>(n), std::memory_order_relaxed) + static_cast<long long>(n);
    long long peak = peakBytes.load(std::memory_order_relaxed);
    while (now > peak && !peakBytes.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {
    }
    return base + kHeader;
}

void release(void* p) {
    if (p == nullptr) return;
    auto* base = static_cast<unsigned char*>(p) - kHeader;
    std::size_t n;
    std::memcpy(&n, base, sizeof n);
    liveBytes.fetch_sub(static_cast<long long>(n), std::memory_order_relaxed);
    std::free(base);
}
}  // namespace

namespace asiochan::testing {
void startCountingAllocations() {
    allocations = 0;
    counting = true;
}
std::size_t stopCountingAllocations() {
    counting = false;
    return allocations;
}
long long liveHeapBytes() { return liveBytes.load(); }
long long peakHeapBytes() { return peakBytes.load(); }
void resetPeakHeapBytes() { peakBytes.store(liveBytes.load()); }
std::uint64_t heapCallsOnThisThread() { return heapCalls; }
std::uint64_t lockCallsOnThisThread() { return lockCalls; }
}  // namespace asiochan::testing

// The test executable is linked with --wrap for these, so the calls our own
// code makes to them (the library's included) are counted per thread too.
extern "C" {
void* __real_malloc(std::size_t n);
void __real_free(void* p);
void* __real_calloc(std::size_t n, std::size_t size);
void* __real_realloc(void* p, std::size_t n);
int __real_pthread_mutex_lock(pthread_mutex_t* mutex);
void* __wrap_malloc(std::size_t n) {
    ++heapCalls;
    return __real_malloc(n);
}
void __wrap_free(void* p) {
    ++heapCalls;
    __real_free(p);
}
void* __wrap_calloc(std::size_t n, std::size_t size) {
    ++heapCalls;
    return __real_calloc(n, size);
}
void* __wrap_realloc(void* p, std::size_t n) {
    ++heapCalls;
    return __real_realloc(p, n);
}
int __wrap_pthread_mutex_lock(pthread_mutex_t* mutex) {
    ++lockCalls;
    return __real_pthread_mutex_lock(mutex);
}
}

// Every global allocation form goes through malloc/free, so sanitizers see
// matching pairs.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t n) {
    if (void* p = allocate(n)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) {
    if (void* p = allocate(n)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return allocate(n); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return allocate(n); }
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { release(p); }
