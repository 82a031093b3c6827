#include "simdriver/core/bench_model.h"

#include <cmath>

namespace asiochan::sim {

BenchModel::BenchModel(std::uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}

double BenchModel::gain(std::size_t input) {
    if (input == kInvertedInput) return -std::pow(10.0, -0.5 / 20.0);
    return std::pow(10.0, -0.1 * static_cast<double>(input) / 20.0);
}

double BenchModel::input(std::size_t k, double own, double below) {
    double v = gain(k) * shape(own) + kNoiseRms * gaussian();
    if (k >= 1) v += kCrosstalk * shape(below);
    return v;
}

// xorshift64* for uniforms and the polar Box-Muller method for normals.
double BenchModel::gaussian() {
    if (hasSpare_) {
        hasSpare_ = false;
        return spare_;
    }
    const auto uniform = [this] {
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        return static_cast<double>((state_ * 0x2545F4914F6CDD1Dull) >> 11) * 0x1.0p-53 * 2.0 - 1.0;
    };
    double u, v, s;
    do {
        u = uniform();
        v = uniform();
        s = u * u + v * v;
    } while (s >= 1.0 || s == 0.0);
    const double m = std::sqrt(-2.0 * std::log(s) / s);
    spare_ = v * m;
    hasSpare_ = true;
    return u * m;
}

}  // namespace asiochan::sim
