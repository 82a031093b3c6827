// The command-line host's clock and sleep: milliseconds of a monotonic clock, and
// a sleep of about that many (the system may round it up to its timer's step).
#pragma once

#include <cstdint>

namespace cli {

// Milliseconds since some fixed moment; never goes back.
std::uint64_t monotonicMs();
void sleepMs(unsigned ms);

}  // namespace cli
