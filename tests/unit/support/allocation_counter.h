// Counts the heap allocations made on the calling thread between start and stop
// (the test binary replaces the global allocation functions for this).
#pragma once

#include <cstddef>

namespace asiochan::testing {

void startCountingAllocations();
// The number of allocations since startCountingAllocations on this thread.
std::size_t stopCountingAllocations();

}  // namespace asiochan::testing
