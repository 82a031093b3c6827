// Finding a played signal in a capture by cross-correlation: where it came back,
// whether it came back at all, and with which sign.
#pragma once

#include <cstddef>
#include <vector>

namespace cli {

// How far the correlation peak must stand above the other delays (their RMS) to
// count as the signal: 20 dB. Noise alone gives 4 to 5 over a second of delays; a
// clean return of an 8191-value sequence over 200.
constexpr double kMinProminence = 10.0;

struct DelaySearch {
    bool found = false;       // the peak stands out by kMinProminence or more
    std::size_t delay = 0;    // frames from the capture's start to where the signal starts
    bool inverted = false;    // it came back with its sign turned round
    double prominence = 0.0;  // the peak over the RMS of the correlation at the other delays
    double gain = 0.0;        // the level it came back at, relative to the played one
};

// Looks for `reference` in `captured` at delays 0 to `maxDelay` (no further than
// the capture reaches). Both hold sample values, full scale 1.0.
DelaySearch findDelay(const std::vector<double>& reference, const std::vector<double>& captured, std::size_t maxDelay);

}  // namespace cli
