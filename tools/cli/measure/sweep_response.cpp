#include "measure/sweep_response.h"

#include <algorithm>
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

// The band around points[ref] whose levels stay within `tolerance` dB of its
// level: its edges where the response crosses out, interpolated, or the ends of
// the points where it never does.
void bandAround(const std::vector<SweepPoint>& points, std::size_t ref, double tolerance, double* band) {
    const double level = points[ref].responseDb;
    const auto outside = [&](std::size_t i) { return !(std::fabs(points[i].responseDb - level) <= tolerance); };
    const auto edge = [&](std::size_t in, std::size_t out) {
        const double crossed = points[out].responseDb > level ? level + tolerance : level - tolerance;
        return std::isfinite(points[out].responseDb) ? crossing(points[in], points[out], crossed) : points[in].hz;
    };
    std::size_t lo = ref, hi = ref;
    while (lo > 0 && !outside(lo - 1)) --lo;
    while (hi + 1 < points.size() && !outside(hi + 1)) ++hi;
    band[0] = lo > 0 ? edge(lo, lo - 1) : points[lo].hz;
    band[1] = hi + 1 < points.size() ? edge(hi, hi + 1) : points[hi].hz;
}
}  // namespace

double harmonicsMeasuredTo(const SweepPlan& plan) { return plan.rate / (2.0 * kHighestHarmonic); }

double thdMeasuredTo(const SweepPlan& plan) {
    return std::min(harmonicsMeasuredTo(plan), plan.to / kHighestHarmonic);
}

SweepPoint measurePoint(const SweepPlan& plan, const SweepHarmonics& harmonics, double hz) {
    SweepPoint p;
    p.hz = hz;
    const double fundamental = harmonics.gain(1, hz);
    p.responseDb = db(fundamental);
    // Where an order up to the highest lies above half the rate it folds back as a
    // falling chirp over every order's window: none is read there. An order above
    // the band reported was not divided out and is not read either; the THD is the
    // sum of all the orders or nothing.
    const bool folds = hz > harmonicsMeasuredTo(plan);
    double squares = 0.0;
    bool all = !folds;
    for (int k = 2; k <= kHighestHarmonic; ++k) {
        double& out = p.harmonicDb[static_cast<std::size_t>(k - 2)];
        if (folds || k * hz > plan.to) {
            out = kNaN;
            all = false;
            continue;
        }
        const double ratio = fundamental > 0.0 ? harmonics.gain(k, k * hz) / fundamental : 0.0;
        out = db(ratio);
        squares += ratio * ratio;
    }
    p.thdPercent = all ? 100.0 * std::sqrt(squares) : kNaN;
    return p;
}

std::vector<SweepPoint> measureBand(const SweepPlan& plan, const SweepHarmonics& harmonics, int perOctave,
                                    BandEnds ends) {
    std::vector<SweepPoint> points;
    const double step = 1.0 / perOctave;
    const long first = std::lround(std::ceil(std::log2(plan.from / 1000.0) / step - 1e-9));
    if (ends == BandEnds::included) points.push_back(measurePoint(plan, harmonics, plan.from));
    for (long k = first;; ++k) {
        const double hz = 1000.0 * std::exp2(static_cast<double>(k) * step);
        if (hz > plan.to * (1 + 1e-9)) break;
        if (!points.empty() && hz <= points.back().hz * (1 + 1e-9)) continue;
        points.push_back(measurePoint(plan, harmonics, hz));
    }
    if (ends == BandEnds::included && points.back().hz < plan.to * (1 - 1e-9))
        points.push_back(measurePoint(plan, harmonics, plan.to));
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
