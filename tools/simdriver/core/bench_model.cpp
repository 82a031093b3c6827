#include "simdriver/core/bench_model.h"

#include <cmath>

namespace asiochan::sim {

BenchModel::BenchModel(std::uint64_t seed) : noise_(seed) {}

double BenchModel::gain(std::size_t input) {
    if (input == kInvertedInput) return -std::pow(10.0, -0.5 / 20.0);
    return std::pow(10.0, -0.1 * static_cast<double>(input) / 20.0);
}

double BenchModel::input(std::size_t k, double own, double below) {
    double v = gain(k) * shape(own) + kNoiseRms * noise_();
    if (k >= 1) v += kCrosstalk * shape(below);
    return v;
}

}  // namespace asiochan::sim
