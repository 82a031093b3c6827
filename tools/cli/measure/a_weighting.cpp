#include "measure/a_weighting.h"

#include <cmath>

namespace cli {

namespace {
// The pole frequencies of the analogue A-weighting network, Hz.
constexpr double kF1 = 20.598997, kF2 = 107.65265, kF3 = 737.86223, kF4 = 12194.217;

double amplitude(double hz) {
    const double f2 = hz * hz;
    return kF4 * kF4 * f2 * f2 /
           ((f2 + kF1 * kF1) * std::sqrt((f2 + kF2 * kF2) * (f2 + kF3 * kF3)) * (f2 + kF4 * kF4));
}
}  // namespace

double aWeightingPower(double hz) {
    if (!(hz > 0.0)) return 0.0;
    static const double atOneKilohertz = amplitude(1000.0);
    const double ratio = amplitude(hz) / atOneKilohertz;
    return ratio * ratio;
}

double aWeightingDb(double hz) { return 10.0 * std::log10(aWeightingPower(hz)); }

}  // namespace cli
