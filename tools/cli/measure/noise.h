// The noise of an input whose output is silent: its RMS in the band, unweighted
// or A-weighted bin by bin, in dBFS (0 dBFS: the RMS of a full-scale sine).
#pragma once

#include "measure/analyze_tones.h"
#include "measure/window_dft.h"

namespace cli {

struct NoiseLevel {
    double dbfs = 0.0;     // -inf for silence
    double floorDbfs = 0.0;  // one LSB's quantisation noise of the input, weighted alike
};

// `bits`: the input's resolution (24 for float samples).
NoiseLevel measureNoise(const BinSpectrum& s, const Band& band, bool aWeighted, int bits);

}  // namespace cli
