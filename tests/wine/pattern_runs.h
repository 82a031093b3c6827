// See pattern_runs.cpp.
#pragma once

#include <cstdint>

// Prints the runs of the input pattern of `channel` in the WAV file at `path`,
// each starting at a multiple of `alignment` bytes of the pattern; 0 when every
// byte belongs to one, 1 when not, 2 when the file cannot be read.
int printPatternRuns(const char* path, int channel, std::uint32_t alignment);
