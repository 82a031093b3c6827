#include "measure/noise.h"

#include "measure/a_weighting.h"

namespace cli {

NoiseLevel measureNoise(const BinSpectrum& s, const Band& band, bool aWeighted, int bits) {
    const BinRange bins = binsWithin(s, band.fromHz, band.toHz);
    double sum = 0.0, weights = 0.0;
    for (std::size_t k = bins.first; k <= bins.last; ++k) {
        const double weight = aWeighted ? aWeightingPower(static_cast<double>(k) * s.hzPerBin()) : 1.0;
        sum += s.power[k] * weight;
        weights += weight;
    }
    NoiseLevel n;
    n.dbfs = dbfsOfMeanSquare(sum);
    const double bandBins = s.power.size() > 1 ? static_cast<double>(s.power.size() - 1) : 1.0;
    n.floorDbfs = dbfsOfMeanSquare(quantisationMeanSquare(bits, weights / bandBins));
    return n;
}

}  // namespace cli
