// The power spectrum of a window of any length (not only a power of two), so
// that a tone of a whole number of cycles in the window lies on one bin: 997 Hz
// in a one-second window, for example.
#pragma once

#include <complex>
#include <cstddef>
#include <vector>

#include "measure/fft.h"

namespace cli {

struct BinSpectrum {
    double rate = 0.0;
    std::size_t length = 0;     // frames in the window
    std::vector<double> power;  // bins 0..length/2: each bin's share of the mean square
    double hzPerBin() const { return rate / static_cast<double>(length); }
};

// A rectangular window's spectrum: a sine of amplitude A on bin k (0 < k < length/2)
// gives power[k] = A^2 / 2, and the powers sum to the window's mean square.
BinSpectrum binSpectrum(const std::vector<double>& window, double rate);

// The same for many windows of one length: what depends on the length alone
// (the chirp, its transform, the FFT's plan) is made once and only read after,
// so that threads share one plan.
class BinSpectrumPlan {
public:
    explicit BinSpectrumPlan(std::size_t length);
    // `window` holds the plan's length of values.
    BinSpectrum operator()(const std::vector<double>& window, double rate) const;

private:
    std::size_t n_;  // the window's length
    std::size_t c_;  // the complex transform's: n/2 for an even window (two frames a value), else n
    std::size_t m_;  // the power of two the chirp's convolution runs at
    FftPlan plan_;
    std::vector<std::complex<double>> chirp_, chirpTransform_, turns_;
};

// The bins from the first at or above `fromHz` to the last at or below `toHz`,
// without bin 0 and the Nyquist bin.
struct BinRange {
    std::size_t first = 1, last = 0;  // inclusive; empty when last < first
};
BinRange binsWithin(const BinSpectrum& s, double fromHz, double toHz);

// 20 log10(r sqrt 2): the level in dBFS of a mean square, where 0 dBFS is the
// RMS of a full-scale sine. -inf for silence.
double dbfsOfMeanSquare(double meanSquare);

}  // namespace cli
