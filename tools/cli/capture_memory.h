// How long a capture this process can take: every input's samples are held in
// memory until the WAV file is written.
#pragma once

#include <cstdint>

namespace cli {

// True when `inputs` inputs of `width`-byte samples for `seconds` at `rate` fit
// in the library's buffer length (2 GiB an input), in one WAV file (4 GiB) and in
// the memory this process can hold (a 32-bit process: 1 GiB; any process: the
// physical memory free now). Otherwise prints what they need, which limit they
// pass and the longest duration that fits, and answers false.
bool captureFits(unsigned inputs, unsigned width, double rate, double seconds);

}  // namespace cli
