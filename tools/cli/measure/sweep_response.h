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
    std::array<double, 4> harmonicDb{};   // 2nd to 5th against the fundamental; NaN where not measured
    double thdPercent = 0.0;              // the 2nd to 5th together; NaN unless all four are measured
};

// Harmonics are measured up to a tenth of the rate: above it an order up to the
// 5th lies above half the rate and folds back over every order's reading.
double harmonicsMeasuredTo(const SweepPlan& plan);
// The THD up to the lower of that and a fifth of the band's top, where the 5th
// harmonic leaves the band.
double thdMeasuredTo(const SweepPlan& plan);

// One point: the linear gain at hz and the harmonics of hz, each order measured
// where it lies within the band and hz is at most harmonicsMeasuredTo.
SweepPoint measurePoint(const SweepPlan& plan, const SweepHarmonics& harmonics, double hz);

enum class BandEnds { gridOnly, included };

// The points 1000 x 2^(k / perOctave) Hz within the band reported, and with
// BandEnds::included its two ends as well.
std::vector<SweepPoint> measureBand(const SweepPlan& plan, const SweepHarmonics& harmonics, int perOctave,
                                    BandEnds ends = BandEnds::gridOnly);

struct SweepSummary {
    double cornerHz = 0.0;  // 3 dB below the lowest point's level, interpolated; NaN if never
    double referenceHz = 0.0;  // the point nearest 1 kHz, that the bands are measured against
    double within1dB[2]{};  // the band around the reference within +-1 dB of its level, its edges
    double within3dB[2]{};  // interpolated where the response crosses out (else the points' ends)
};

// From points in rising frequency, at least one.
SweepSummary summarise(const std::vector<SweepPoint>& points);

}  // namespace cli
