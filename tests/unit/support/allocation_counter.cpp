#include "support/allocation_counter.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {
thread_local bool counting = false;
thread_local std::size_t allocations = 0;

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
}  // namespace asiochan::testing

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
