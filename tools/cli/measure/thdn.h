// Total harmonic distortion plus noise of a steady tone on an exact bin: what is
// left in the band once the fundamental is taken out, against the whole signal.
#pragma once

#include "measure/analyze_tones.h"
#include "measure/window_dft.h"

namespace cli {

struct ThdN {
    double ratio = 0.0;        // residual RMS / whole signal's RMS (in the band)
    double percent() const;    // 100 x ratio
    double db() const;         // 20 log10(ratio); -inf for none
    double signalMeanSquare = 0.0;
    double residualMeanSquare = 0.0;
};

// The fundamental is its bin and the one on each side (a notch three bins wide);
// with `aWeighted` the residual is A-weighted bin by bin.
ThdN measureThdN(const BinSpectrum& s, double toneHz, const Band& band, bool aWeighted);

}  // namespace cli
