// A simulated device under test for the "dut" class's loopback: a first-order
// low-pass (bilinear transform, prewarped at its corner) and then a cubic term,
// y = u + kCubic u^3, on samples scaled so that full scale is 1.0.
#pragma once

namespace asiochan::sim {

class DutModel {
public:
    static constexpr double kCornerHz = 2000.0;
    // A -12 dBFS sine below the corner comes back with a third harmonic 1.00 % of
    // its fundamental: 0.6536 a^2 / 4 / (1 + 0.75 x 0.6536 a^2) = 0.0100 at a = 10^(-12/20).
    static constexpr double kCubic = 0.6536;

    explicit DutModel(double rate = 48000.0);
    double process(double x);

private:
    double b_ = 0.0;  // the low-pass: u[n] = b (x[n] + x[n-1]) - a u[n-1]
    double a_ = 0.0;
    double lastIn_ = 0.0;
    double lastOut_ = 0.0;
};

}  // namespace asiochan::sim
