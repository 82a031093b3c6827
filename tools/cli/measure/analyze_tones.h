// The analysis's steady tones: frequencies on exact bins of its windows, the
// level of a tone read from its bin, and the band the figures are taken in.
#pragma once

#include <cstddef>

#include "measure/window_dft.h"

namespace cli {

// 20 Hz up to the lower of 20 kHz and 0.45 x the rate; bins outside are not counted.
struct Band {
    double fromHz = 20.0, toHz = 20000.0;
};
Band bandFor(double rate);

// The frame count of a window of about `seconds`, rounded so that `hz` lies on
// an exact bin of it (a whole number of cycles): a second at 48 000 Hz for 997 Hz.
std::size_t toneWindowFrames(double rate, double seconds);

// The bin nearest `hz` (its own bin when `hz` lies on one).
std::size_t binOf(const BinSpectrum& s, double hz);

// The amplitude of the tone on `hz`'s bin (full scale 1.0).
double toneAmplitude(const BinSpectrum& s, double hz);

// Sample `position` of a sine of amplitude `amplitude` at `hz`, zero phase at position 0.
double toneSample(double hz, double rate, double amplitude, unsigned long long position);

// The mean square of one LSB's quantisation noise (uniform, LSB^2 / 12) that falls
// in `fraction` of the bins from 0 to Nyquist, for samples of `bits` bits
// (full scale 1.0, LSB 2^(1 - bits)).
double quantisationMeanSquare(int bits, double fraction);

}  // namespace cli
