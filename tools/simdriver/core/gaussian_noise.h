// Gaussian noise of unit variance from a seed, the same sequence on every
// platform: xorshift64* for uniforms and the polar Box-Muller method. No
// allocation, no system call.
#pragma once

#include <cmath>
#include <cstdint>

namespace asiochan::sim {

class GaussianNoise {
public:
    explicit GaussianNoise(std::uint64_t seed = 1) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}

    double operator()() {
        if (hasSpare_) {
            hasSpare_ = false;
            return spare_;
        }
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

private:
    double uniform() {
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        return static_cast<double>((state_ * 0x2545F4914F6CDD1Dull) >> 11) * 0x1.0p-53 * 2.0 - 1.0;
    }

    std::uint64_t state_;
    double spare_ = 0.0;
    bool hasSpare_ = false;
};

}  // namespace asiochan::sim
