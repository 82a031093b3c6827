#include "simdriver/core/ac_coupled_model.h"

#include <cmath>

namespace asiochan::sim {

AcCoupledModel::AcCoupledModel(double rate, std::uint64_t seed) : noise_(seed) {
    // H(s) = s / (s + wc) with s = K (z - 1) / (z + 1), K = wc / tan(wc / 2 rate).
    const double k = 1.0 / std::tan(3.14159265358979323846 * kBlockerHz / rate);  // K / wc
    b_ = k / (1.0 + k);
    a_ = (1.0 - k) / (1.0 + k);
}

double AcCoupledModel::process(double x) {
    const double v = x + kSquare * x * x;
    const double y = b_ * (v - lastIn_) - a_ * lastOut_;
    lastIn_ = v;
    lastOut_ = y;
    return y + kNoiseRms * noise_();
}

}  // namespace asiochan::sim
