// A simulated interface with known faults for the "bench" class's loopback, on
// samples scaled so that full scale is 1.0: input k receives
//   g_k f(o_k) + x f(o_(k-1)) + n_k,   f(u) = u + kCubic u^3,
// g_k = 10^(-0.1 k / 20) except input 5, inverted at -0.5 dB; x = -90 dB from the
// output below (none for input 0); n_k Gaussian noise of RMS -100 dB re full scale.
#pragma once

#include <cstddef>
#include <cstdint>

#include "simdriver/core/gaussian_noise.h"

namespace asiochan::sim {

class BenchModel {
public:
    static constexpr double kCubic = 0.01;
    static constexpr double kCrosstalk = 3.1622776601683795e-5;  // -90 dB
    static constexpr double kNoiseRms = 1e-5;                    // -100 dB
    static constexpr std::size_t kInvertedInput = 5;

    explicit BenchModel(std::uint64_t seed = 1);
    static double gain(std::size_t input);
    static double shape(double u) { return u + kCubic * u * u * u; }
    // Input k's sample from output k's and output k-1's samples of the same
    // instant (`below` is ignored for input 0); no allocation, no system call.
    double input(std::size_t k, double own, double below);

private:
    GaussianNoise noise_;
};

}  // namespace asiochan::sim
