#include "measure/fft.h"

#include <cmath>
#include <utility>

namespace cli {

std::size_t fftLength(std::size_t n) {
    std::size_t length = 1;
    while (length < n) length <<= 1;
    return length;
}

void fft(Spectrum& x, bool inverse) {
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

Spectrum forwardTransform(const std::vector<double>& values, std::size_t length) {
    Spectrum x(length);
    for (std::size_t i = 0; i < values.size() && i < length; ++i) x[i] = values[i];
    fft(x, false);
    return x;
}

}  // namespace cli
