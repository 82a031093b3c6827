#include "measure/thdn.h"

#include <cmath>
#include <limits>

#include "measure/a_weighting.h"

namespace cli {

double ThdN::percent() const { return 100.0 * ratio; }
double ThdN::db() const {
    return ratio > 0.0 ? 20.0 * std::log10(ratio) : -std::numeric_limits<double>::infinity();
}

ThdN measureThdN(const BinSpectrum& s, double toneHz, const Band& band, bool aWeighted) {
    ThdN r;
    const BinRange bins = binsWithin(s, band.fromHz, band.toHz);
    const std::size_t tone = binOf(s, toneHz);
    for (std::size_t k = bins.first; k <= bins.last; ++k) {
        r.signalMeanSquare += s.power[k];
        if (k + 1 >= tone && k <= tone + 1) continue;
        const double weight = aWeighted ? aWeightingPower(static_cast<double>(k) * s.hzPerBin()) : 1.0;
        r.residualMeanSquare += s.power[k] * weight;
    }
    r.ratio = r.signalMeanSquare > 0.0 ? std::sqrt(r.residualMeanSquare / r.signalMeanSquare) : 0.0;
    return r;
}

}  // namespace cli
