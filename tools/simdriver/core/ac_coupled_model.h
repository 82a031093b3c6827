// A simulated AC-coupled input for the "ac-coupled" class's loopback, on samples
// scaled so that full scale is 1.0: y = hp(u + kSquare u^2) + n, hp a first-order
// high-pass at kBlockerHz (a DC blocker; bilinear transform, prewarped at its
// corner), n Gaussian noise of RMS -130 dB re full scale. The square term gives a
// tone of amplitude A a DC level of kSquare A^2 / 2 that the blocker removes; when
// the level steps, the change comes through as a step decaying with a time
// constant of 1 / (2 pi kBlockerHz), 80 ms: a window that opens before it has
// decayed reads it as broadband noise (a low dynamic range, crosstalk from
// outputs with no path to the input).
#pragma once

#include <cstdint>

#include "simdriver/core/gaussian_noise.h"

namespace asiochan::sim {

class AcCoupledModel {
public:
    static constexpr double kSquare = 0.001;  // a -1 dBFS tone's 2nd harmonic at -67 dB
    static constexpr double kBlockerHz = 2.0;
    static constexpr double kNoiseRms = 3.1622776601683795e-7;  // -130 dB

    explicit AcCoupledModel(double rate = 48000.0, std::uint64_t seed = 1);
    // The next sample of the input from the output's sample of the same instant.
    double process(double x);

private:
    double b_ = 0.0;  // y[n] = b (v[n] - v[n-1]) - a y[n-1]
    double a_ = 0.0;
    double lastIn_ = 0.0;
    double lastOut_ = 0.0;
    GaussianNoise noise_;
};

}  // namespace asiochan::sim
