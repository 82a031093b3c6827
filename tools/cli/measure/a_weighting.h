// The A-weighting curve, as the standard's analogue formula gives it, normalised
// to exactly 0 dB at 1 kHz.
#pragma once

namespace cli {

// The weighting's power gain (a ratio, 1.0 at 1 kHz) at `hz` > 0.
double aWeightingPower(double hz);
// The same in dB.
double aWeightingDb(double hz);

}  // namespace cli
