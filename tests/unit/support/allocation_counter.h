// Counts the heap allocations made on the calling thread between start and stop,
// and the bytes held by all threads (the test binary replaces the global
// allocation functions for this).
#pragma once

#include <cstddef>
#include <cstdint>

namespace asiochan::testing {

void startCountingAllocations();
// The number of allocations since startCountingAllocations on this thread.
std::size_t stopCountingAllocations();

// Bytes held by operator new allocations of every thread right now, and the most
// held at any moment since the last resetPeakHeapBytes.
long long liveHeapBytes();
long long peakHeapBytes();
void resetPeakHeapBytes();

// Calls made on the calling thread since it started: heap calls of any form
// (operator new and delete, malloc, calloc, realloc, free) and mutex locks.
std::uint64_t heapCallsOnThisThread();
std::uint64_t lockCallsOnThisThread();

}  // namespace asiochan::testing
