// Separating an impulse response from a sweep into the linear response and the
// harmonic ones (they lie apart in time), and their gains at any frequency.
#pragma once

#include <array>
#include <cstddef>
#include <vector>

#include "measure/sweep_signal.h"

namespace cli {

// The 1st (linear) to 5th harmonic responses.
constexpr int kHighestHarmonic = 5;

class SweepHarmonics {
public:
    // `response` as deconvolve gives it; the linear response starts `delay` frames in.
    SweepHarmonics(const SweepPlan& plan, const std::vector<double>& response, std::size_t delay);
    // The gain of harmonic k (1..5) at the output frequency `hz`: for k > 1, what
    // comes out at hz when hz / k is played.
    double gain(int k, double hz) const;

private:
    struct Window {
        long first = 0;  // frames relative to the response's start
        std::vector<double> values;
    };
    SweepPlan plan_;
    std::array<Window, kHighestHarmonic> windows_;
};

}  // namespace cli
