// The textbook transform the command line's own is checked and timed against
// (the one it had before): a complex radix-2 FFT, bit reversal and one butterfly
// loop, its twiddles made on every call. Slow and plainly right.
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
    std::vector<double> cosines(n / 2), sines(n / 2);
    for (std::size_t k = 0; k < n / 2; ++k) {
        const double angle = (inverse ? 2.0 : -2.0) * pi * static_cast<double>(k) / static_cast<double>(n);
        cosines[k] = std::cos(angle);
        sines[k] = std::sin(angle);
    }
    for (std::size_t len = 2; len <= n; len <<= 1) {
        const std::size_t half = len / 2, stride = n / len;
        for (std::size_t start = 0; start < n; start += len) {
            for (std::size_t k = 0; k < half; ++k) {
                const double wr = cosines[k * stride], wi = sines[k * stride];
                const std::complex<double> b = x[start + k + half];
                const std::complex<double> t(b.real() * wr - b.imag() * wi, b.real() * wi + b.imag() * wr);
                const std::complex<double> a = x[start + k];
                x[start + k] = a + t;
                x[start + k + half] = a - t;
            }
        }
    }
}
