// See pattern_runs.cpp.
#pragma once

#include <cstdint>

// Prints the runs of the simulated driver's input pattern in the WAV file at
// `path`: its i-th channel is checked against input `inputs[i]` (a list such as
// "0,1,2,3"); each run starts at a multiple of `alignment` bytes of the pattern.
// 0 when every byte belongs to a run and every channel has the same runs (the
// inputs were captured aligned), 1 when not, 2 when the file cannot be read.
int printPatternRuns(const char* path, const char* inputs, std::uint32_t alignment);
