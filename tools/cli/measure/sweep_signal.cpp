#include "measure/sweep_signal.h"

#include <algorithm>
#include <cmath>

namespace cli {

namespace {
constexpr double kPi = 3.14159265358979323846;
constexpr double kWidening = 1.2599210498948732;  // a third of an octave
// The sweep starts an octave and a half below the band and its fade-in ends an
// octave below it: the harmonics' spectra have an edge where the fade ends, and
// a harmonic window, short in a short sweep, smears that edge over a good part
// of an octave.
constexpr double kPlayedBelow = 2.8284271247461903;  // an octave and a half
constexpr double kFadeInEndsBelow = 2.0;             // an octave
constexpr double kMinFadeSeconds = 0.005;

double fadeGain(double position) { return 0.5 - 0.5 * std::cos(kPi * std::clamp(position, 0.0, 1.0)); }
}  // namespace

double SweepPlan::playedFrom() const { return from / kPlayedBelow; }
double SweepPlan::playedTo() const { return std::min(to * kWidening, 0.48 * rate); }
double SweepPlan::timeConstant() const { return seconds / std::log(playedTo() / playedFrom()); }
std::size_t SweepPlan::frames() const { return static_cast<std::size_t>(std::llround(seconds * rate)); }

const char* checkSweepPlan(const SweepPlan& plan) {
    if (!(plan.rate >= 1000.0)) return "the sample rate is below 1000 Hz";
    if (!(plan.from >= 1.0) || !(plan.to <= 0.48 * plan.rate)) return "the band must lie within 1 Hz and 0.48 x the rate";
    if (!(plan.to >= 2.0 * plan.from)) return "the band must span an octave or more";
    if (!(plan.seconds >= 0.5 && plan.seconds <= 60.0)) return "the sweep must last 0.5 to 60 seconds";
    if (!(plan.level > 0.0 && plan.level <= 1.0)) return "the level must be below 0 dBFS";
    return nullptr;
}

std::vector<double> makeSweep(const SweepPlan& plan) {
    const std::size_t n = plan.frames();
    const double f1 = plan.playedFrom(), l = plan.timeConstant();
    // The fade-in ends an octave below the band reported, the fade-out begins at its top.
    const double fadeIn = std::max(l * std::log(plan.from / kFadeInEndsBelow / f1), kMinFadeSeconds);
    const double fadeOut = std::max(plan.seconds - l * std::log(plan.to / f1), kMinFadeSeconds);
    std::vector<double> out(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / plan.rate;
        const double phase = 2.0 * kPi * f1 * l * (std::exp(t / l) - 1.0);
        const double gain = fadeGain(t / fadeIn) * fadeGain((plan.seconds - t) / fadeOut);
        out[i] = plan.level * gain * std::sin(phase);
    }
    return out;
}

}  // namespace cli
