#include "measure/sweep_response.h"

#include <cmath>
#include <limits>

namespace cli {

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

double db(double ratio) { return ratio > 0.0 ? 20.0 * std::log10(ratio) : -std::numeric_limits<double>::infinity(); }

// The frequency where `level` is crossed between two points, in log frequency.
double crossing(const SweepPoint& a, const SweepPoint& b, double level) {
    const double share = (level - a.responseDb) / (b.responseDb - a.responseDb);
    return a.hz * std::pow(b.hz / a.hz, share);
}

// The band around points[ref] whose levels stay within `tolerance` dB of its level.
void bandAround(const std::vector<SweepPoint>& points, std::size_t ref, double tolerance, double* band) {
    const double level = points[ref].responseDb;
    std::size_t lo = ref, hi = ref;
    while (lo > 0 && std::fabs(points[lo - 1].responseDb - level) <= tolerance) --lo;
    while (hi + 1 < points.size() && std::fabs(points[hi + 1].responseDb - level) <= tolerance) ++hi;
    band[0] = points[lo].hz;
    band[1] = points[hi].hz;
}
}  // namespace

SweepPoint measurePoint(const SweepPlan& plan, const SweepHarmonics& harmonics, double hz) {
    SweepPoint p;
    p.hz = hz;
    const double fundamental = harmonics.gain(1, hz);
    p.responseDb = db(fundamental);
    double squares = 0.0;
    bool any = false;
    for (int k = 2; k <= kHighestHarmonic; ++k) {
        double& out = p.harmonicDb[static_cast<std::size_t>(k - 2)];
        if (k * hz > plan.to || k * hz >= plan.rate / 2) {
            out = kNaN;
            continue;
        }
        const double ratio = fundamental > 0.0 ? harmonics.gain(k, k * hz) / fundamental : 0.0;
        out = db(ratio);
        squares += ratio * ratio;
        any = true;
    }
    p.thdPercent = any ? 100.0 * std::sqrt(squares) : kNaN;
    return p;
}

std::vector<SweepPoint> measureBand(const SweepPlan& plan, const SweepHarmonics& harmonics, int perOctave) {
    std::vector<SweepPoint> points;
    const double step = 1.0 / perOctave;
    const long first = std::lround(std::ceil(std::log2(plan.from / 1000.0) / step - 1e-9));
    for (long k = first;; ++k) {
        const double hz = 1000.0 * std::exp2(static_cast<double>(k) * step);
        if (hz > plan.to * (1 + 1e-9)) break;
        points.push_back(measurePoint(plan, harmonics, hz));
    }
    return points;
}

SweepSummary summarise(const std::vector<SweepPoint>& points) {
    SweepSummary s;
    s.cornerHz = kNaN;
    const double cornerLevel = points.front().responseDb - 3.0;
    for (std::size_t i = 1; i < points.size(); ++i) {
        if (points[i].responseDb < cornerLevel) {
            s.cornerHz = crossing(points[i - 1], points[i], cornerLevel);
            break;
        }
    }
    std::size_t ref = 0;
    for (std::size_t i = 0; i < points.size(); ++i)
        if (std::fabs(std::log(points[i].hz / 1000.0)) < std::fabs(std::log(points[ref].hz / 1000.0))) ref = i;
    s.referenceHz = points[ref].hz;
    bandAround(points, ref, 1.0, s.within1dB);
    bandAround(points, ref, 3.0, s.within3dB);
    return s;
}

}  // namespace cli
