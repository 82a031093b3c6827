#include "simdriver/core/dut_model.h"

#include <cmath>

namespace asiochan::sim {

DutModel::DutModel(double rate) {
    // H(s) = 1 / (1 + s / wc) with s = K (z - 1) / (z + 1), K = wc / tan(wc / 2 rate),
    // so the digital filter's gain at the corner is exactly 1 / sqrt(2).
    const double k = 1.0 / std::tan(3.14159265358979323846 * kCornerHz / rate);  // K / wc
    b_ = 1.0 / (1.0 + k);
    a_ = (1.0 - k) / (1.0 + k);
}

double DutModel::process(double x) {
    const double u = b_ * (x + lastIn_) - a_ * lastOut_;
    lastIn_ = x;
    lastOut_ = u;
    return u + kCubic * u * u * u;
}

}  // namespace asiochan::sim
