#include "measure/analyze_tones.h"

#include <algorithm>
#include <cmath>

namespace cli {

namespace {
constexpr double kPi = 3.14159265358979323846;
}

Band bandFor(double rate) { return {20.0, std::min(20000.0, 0.45 * rate)}; }

std::size_t toneWindowFrames(double rate, double seconds) {
    // Whole seconds hold a whole number of cycles of any whole-hertz tone when the
    // rate is a whole number; other rates get the nearest whole frame count.
    return static_cast<std::size_t>(std::llround(rate * std::max(1.0, std::round(seconds))));
}

std::size_t binOf(const BinSpectrum& s, double hz) {
    if (s.length == 0) return 0;
    const double bin = std::round(hz / s.hzPerBin());
    return static_cast<std::size_t>(std::clamp(bin, 0.0, static_cast<double>(s.power.size() - 1)));
}

double toneAmplitude(const BinSpectrum& s, double hz) {
    if (s.power.empty()) return 0.0;
    return std::sqrt(2.0 * s.power[binOf(s, hz)]);
}

double toneSample(double hz, double rate, double amplitude, unsigned long long position) {
    // The phase taken modulo whole cycles in whole-second steps keeps it exact over long takes.
    const auto whole = static_cast<unsigned long long>(rate);
    const double cycles = whole == rate && whole != 0
                              ? hz * static_cast<double>(position % whole) / rate
                              : hz * static_cast<double>(position) / rate;
    return amplitude * std::sin(2.0 * kPi * (cycles - std::floor(cycles)));
}

double quantisationMeanSquare(int bits, double fraction) {
    const double lsb = std::ldexp(1.0, 1 - bits);
    return lsb * lsb / 12.0 * fraction;
}

}  // namespace cli
