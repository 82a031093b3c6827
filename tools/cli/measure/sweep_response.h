// What a sweep measured: the response and the harmonics against frequency, and
// the summary the command prints.
#pragma once

#include <array>
#include <cstddef>
#include <vector>

#include "measure/sweep_harmonics.h"
#include "measure/sweep_signal.h"

namespace cli {

struct SweepPoint {
    double hz = 0.0;
    double responseDb = 0.0;              // relative to the level played
    std::array<double, 4> harmonicDb{};   // 2nd to 5th against the fundamental; NaN above the band or Nyquist
    double thdPercent = 0.0;              // NaN when no harmonic lies within the band
};

// One point: the linear gain at hz and the harmonics of hz.
SweepPoint measurePoint(const SweepPlan& plan, const SweepHarmonics& harmonics, double hz);

// The points 1000 x 2^(k / perOctave) Hz within the band reported.
std::vector<SweepPoint> measureBand(const SweepPlan& plan, const SweepHarmonics& harmonics, int perOctave);

struct SweepSummary {
    double cornerHz = 0.0;  // 3 dB below the lowest point's level, interpolated; NaN if never
    double referenceHz = 0.0;  // the point nearest 1 kHz, that the bands are measured against
    double within1dB[2]{};  // the band around the reference within +-1 dB of its level
    double within3dB[2]{};
};

// From points in rising frequency, at least one.
SweepSummary summarise(const std::vector<SweepPoint>& points);

}  // namespace cli
