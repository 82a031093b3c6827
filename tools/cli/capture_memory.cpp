#include "capture_memory.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace cli {

namespace {
struct Limit {
    double bytes;  // of all inputs together
    const char* what;
};
}  // namespace

bool captureFits(unsigned inputs, unsigned width, double rate, double seconds) {
    const double perSecond = static_cast<double>(inputs) * width * rate;
    if (!(perSecond > 0)) return false;
    // A 32-bit process has 2 GiB of addresses, shared with the DLLs and the heap;
    // 1 GiB of buffers leaves room for the rest.
    constexpr double kMiB = 1024.0 * 1024.0;
    const double address = sizeof(void*) == 4 ? 1024 * kMiB : INFINITY;
    MEMORYSTATUSEX memory{};
    memory.dwLength = sizeof memory;
    const double physical = GlobalMemoryStatusEx(&memory) ? static_cast<double>(memory.ullAvailPhys) : INFINITY;
    char held[96];
    std::snprintf(held, sizeof held, "more than this process can hold (%.0f MiB)", std::min(address, physical) / kMiB);
    const Limit limits[] = {
        {2147483647.0 * inputs, "more than the library takes for one input (2 GiB)"},
        {4294967295.0 - 36.0, "more than a WAV file holds (4 GiB)"},
        {std::min(address, physical), held},
    };
    const Limit* tightest = &limits[0];
    for (const Limit& limit : limits)
        if (limit.bytes < tightest->bytes) tightest = &limit;
    if (seconds * perSecond <= tightest->bytes) return true;
    std::fprintf(stderr, "error: %u input%s of %.1f s at %.0f Hz need %.0f MiB, %s: at most %.1f s fit\n", inputs,
                 inputs == 1 ? "" : "s", seconds, rate, seconds * perSecond / kMiB, tightest->what,
                 std::floor(tightest->bytes / perSecond * 10.0) / 10.0);
    return false;
}

}  // namespace cli
