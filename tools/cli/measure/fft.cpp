#include "measure/fft.h"

#include <cmath>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace cli {

namespace {
constexpr double kPi = 3.14159265358979323846;

std::complex<double> turn(double share) { return {std::cos(2.0 * kPi * share), -std::sin(2.0 * kPi * share)}; }

// One complex value in a register pair: the butterflies below are written once
// over these few operations. With SSE2 a value is one 128-bit register.
#if defined(__SSE2__)
struct Cx {
    __m128d v;
};
inline Cx load(const std::complex<double>* p) { return {_mm_loadu_pd(reinterpret_cast<const double*>(p))}; }
inline void store(std::complex<double>* p, Cx a) { _mm_storeu_pd(reinterpret_cast<double*>(p), a.v); }
inline Cx operator+(Cx a, Cx b) { return {_mm_add_pd(a.v, b.v)}; }
inline Cx operator-(Cx a, Cx b) { return {_mm_sub_pd(a.v, b.v)}; }
// a * w, or a * conj(w) when Conjugate.
template <bool Conjugate>
inline Cx mul(Cx a, Cx w) {
    const __m128d re = _mm_unpacklo_pd(w.v, w.v), im = _mm_unpackhi_pd(w.v, w.v);
    const __m128d swapped = _mm_shuffle_pd(a.v, a.v, 1);  // (a.im, a.re)
    // Flip the sign of the low half (a * w) or the high half (a * conj(w)) of swapped * w.im.
    const __m128d sign = Conjugate ? _mm_set_pd(-0.0, 0.0) : _mm_set_pd(0.0, -0.0);
    return {_mm_add_pd(_mm_mul_pd(a.v, re), _mm_xor_pd(_mm_mul_pd(swapped, im), sign))};
}
// a * -i = (a.im, -a.re).
inline Cx timesMinusI(Cx a) { return {_mm_xor_pd(_mm_shuffle_pd(a.v, a.v, 1), _mm_set_pd(-0.0, 0.0))}; }
#else
struct Cx {
    double re, im;
};
inline Cx load(const std::complex<double>* p) { return {p->real(), p->imag()}; }
inline void store(std::complex<double>* p, Cx a) { *p = {a.re, a.im}; }
inline Cx operator+(Cx a, Cx b) { return {a.re + b.re, a.im + b.im}; }
inline Cx operator-(Cx a, Cx b) { return {a.re - b.re, a.im - b.im}; }
template <bool Conjugate>
inline Cx mul(Cx a, Cx w) {
    const double wi = Conjugate ? -w.im : w.im;
    return {a.re * w.re - a.im * wi, a.re * wi + a.im * w.re};
}
inline Cx timesMinusI(Cx a) { return {a.im, -a.re}; }
#endif

// The stages after the bit reversal. A radix-4 stage joins four transforms of
// `quarter` points into one of 4 x quarter; bit-reversed order leaves the
// transforms of the inputs at 4m, 4m+2, 4m+1, 4m+3 in that order side by side.
template <bool Inverse>
void stages(std::complex<double>* x, std::size_t n, const std::complex<double>* twiddles) {
    std::size_t quarter = 1;
    if ((n & 0x5555555555555555ull) == 0) {  // an odd power of two: one radix-2 stage first
        for (std::size_t i = 0; i < n; i += 2) {
            const Cx a = load(x + i), b = load(x + i + 1);
            store(x + i, a + b);
            store(x + i + 1, a - b);
        }
        quarter = 2;
    }
    for (; quarter * 4 <= n; quarter *= 4) {
        const std::size_t length = quarter * 4;
        for (std::size_t start = 0; start < n; start += length) {
            std::complex<double>* p = x + start;
            const std::complex<double>* w = twiddles;
            for (std::size_t k = 0; k < quarter; ++k, w += 3) {
                const Cx a = load(p + k);
                const Cx c = mul<Inverse>(load(p + k + quarter), load(w + 1));
                const Cx b = mul<Inverse>(load(p + k + 2 * quarter), load(w));
                const Cx d = mul<Inverse>(load(p + k + 3 * quarter), load(w + 2));
                const Cx t0 = a + c, t1 = a - c, t2 = b + d;
                // -i (b - d) forward, +i (b - d) inverse.
                const Cx t3 = Inverse ? timesMinusI(d - b) : timesMinusI(b - d);
                store(p + k, t0 + t2);
                store(p + k + quarter, t1 + t3);
                store(p + k + 2 * quarter, t0 - t2);
                store(p + k + 3 * quarter, t1 - t3);
            }
        }
        twiddles += 3 * quarter;
    }
}
}  // namespace

std::size_t fftLength(std::size_t n) {
    std::size_t length = 1;
    while (length < n) length <<= 1;
    return length;
}

FftPlan::FftPlan(std::size_t length) : n_(length) {
    for (std::size_t i = 1, j = 0; i < n_; ++i) {
        std::size_t bit = n_ >> 1;
        for (; (j & bit) != 0; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) {
            swaps_.push_back(static_cast<std::uint32_t>(i));
            swaps_.push_back(static_cast<std::uint32_t>(j));
        }
    }
    std::size_t quarter = (n_ & 0x5555555555555555ull) == 0 ? 2 : 1;
    for (; quarter * 4 <= n_; quarter *= 4) {
        const double span = static_cast<double>(quarter * 4);
        for (std::size_t k = 0; k < quarter; ++k)
            for (std::size_t m = 1; m <= 3; ++m) twiddles_.push_back(turn(static_cast<double>(m * k) / span));
    }
}

void FftPlan::transform(std::complex<double>* x, bool inverse) const {
    for (std::size_t s = 0; s < swaps_.size(); s += 2) std::swap(x[swaps_[s]], x[swaps_[s + 1]]);
    if (n_ < 2) return;
    if (inverse)
        stages<true>(x, n_, twiddles_.data());
    else
        stages<false>(x, n_, twiddles_.data());
}

// The real values as n/2 complex ones (even frames real, odd imaginary); the
// half-length transform Z then gives, with W = e^(-2 pi i / n) and h = n/2,
//   X[k] = E + W^k O,  X[h-k] = conj(E - W^k O),
// where E = (Z[k] + conj Z[h-k]) / 2 and O = (Z[k] - conj Z[h-k]) / 2i are the
// transforms of the even and the odd frames.
RealFftPlan::RealFftPlan(std::size_t length) : n_(length), half_(length / 2) {
    for (std::size_t k = 0; k <= n_ / 4; ++k) turns_.push_back(turn(static_cast<double>(k) / static_cast<double>(n_)));
}

void RealFftPlan::forward(const double* values, std::complex<double>* bins) const {
    const std::size_t h = n_ / 2;
    for (std::size_t m = 0; m < h; ++m) bins[m] = {values[2 * m], values[2 * m + 1]};
    half_.transform(bins, false);
    bins[h] = bins[0];
    for (std::size_t k = 0; k <= h / 2; ++k) {
        const std::complex<double> zk = bins[k], zj = bins[h - k];
        const std::complex<double> e = 0.5 * (zk + std::conj(zj));
        const std::complex<double> d = 0.5 * (zk - std::conj(zj));
        const std::complex<double> o(d.imag(), -d.real());  // d / i
        const std::complex<double> wo = times(turns_[k], o);
        bins[k] = e + wo;
        bins[h - k] = std::conj(e - wo);
    }
}

// The way back: Z[k] = A + i conj(W^k) B and Z[h-k] = conj(A - i conj(W^k) B),
// with A = X[k] + conj X[h-k] and B = X[k] - conj X[h-k]; the half-length inverse
// of Z gives the even and odd frames, N times over as an inverse transform does.
void RealFftPlan::inverse(const std::complex<double>* bins, double* values) const {
    const std::size_t h = n_ / 2;
    std::vector<std::complex<double>> z(h);
    for (std::size_t k = 0; k <= h / 2; ++k) {
        const std::complex<double> xk = bins[k], xj = bins[h - k];
        const std::complex<double> a = xk + std::conj(xj), b = xk - std::conj(xj);
        const std::complex<double> wb = timesConjugate(b, turns_[k]);
        const std::complex<double> iwb(-wb.imag(), wb.real());
        z[k] = a + iwb;
        if (h - k < h) z[h - k] = std::conj(a - iwb);
    }
    half_.transform(z.data(), true);
    for (std::size_t m = 0; m < h; ++m) {
        values[2 * m] = z[m].real();
        values[2 * m + 1] = z[m].imag();
    }
}

void fft(Spectrum& x, bool inverse) { FftPlan(x.size()).transform(x.data(), inverse); }

Spectrum forwardTransform(const std::vector<double>& values, std::size_t length) {
    Spectrum x(length);
    for (std::size_t i = 0; i < values.size() && i < length; ++i) x[i] = values[i];
    fft(x, false);
    return x;
}

}  // namespace cli
