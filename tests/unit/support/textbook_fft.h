// The textbook transform the command line's own is checked and timed against:
// a complex radix-2 FFT, bit reversal and one butterfly loop, twiddles from
// cos and sin. Slow and plainly right.
#pragma once

#include <cmath>
#include <complex>
#include <cstddef>
#include <utility>
#include <vector>

// In place; the length must be a power of two. `inverse` leaves out the 1/N.
inline void textbookFft(std::vector<std::complex<double>>& x, bool inverse) {
    const std::size_t n = x.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; (j & bit) != 0; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(x[i], x[j]);
    }
    const double pi = 3.14159265358979323846;
    for (std::size_t len = 2; len <= n; len <<= 1) {
        const std::size_t half = len / 2;
        for (std::size_t k = 0; k < half; ++k) {
            const double angle = (inverse ? 2.0 : -2.0) * pi * static_cast<double>(k) / static_cast<double>(len);
            const std::complex<double> w(std::cos(angle), std::sin(angle));
            for (std::size_t start = 0; start < n; start += len) {
                const std::complex<double> t = w * x[start + k + half];
                const std::complex<double> a = x[start + k];
                x[start + k] = a + t;
                x[start + k + half] = a - t;
            }
        }
    }
}
