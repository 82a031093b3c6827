// Limits for `asiochan analyze` (a JSON file) and the verdict on every figure.
//
//   {"gain_db": {"min": -0.5, "max": 0.5},
//    "pairs": {"5:5": {"polarity": {"min": -1, "max": -1}}},
//    "crosstalk_db": {"max": -80},
//    "response_mask": [[20, 20000, -0.5, 0.5]]}
//
// A figure's limits apply to every pair; "pairs" overrides them for one pair
// (key "OUTPUT:INPUT"), figure by figure.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "measure/analyze_results.h"

namespace cli {

struct Bound {
    std::optional<double> min, max;
};

struct MaskBand {
    double fromHz = 0.0, toHz = 0.0, minDb = 0.0, maxDb = 0.0;
};

struct Limits {
    bool given = false;  // a limits file was read (even "{}"): the figures are judged
    std::map<std::string, Bound> all;
    std::map<std::string, std::map<std::string, Bound>> pairs;  // "O:I" -> figure -> bound
    std::map<std::string, int> pairLines;                       // "O:I" -> its line in the file
    std::optional<double> crosstalkMax;
    std::vector<MaskBand> responseMask;
    std::string fileSha256;  // the SHA-256 of the file read, for the report
};

// A pair's figures by the names the results and the limits file use.
struct NamedFigure {
    const char* name;
    const char* floorName;  // the key of its floor when it is below it
    Figure figure;
    bool higherIsBetter;    // a figure beyond its floor lies above it (dynamic range)
};
std::vector<NamedFigure> namedFigures(const PairFigures& pair);

// False with "line N: reason" for a file that is not JSON or names an unknown
// figure, a bound that is not a number, a min above its max, a pair key that is
// not O:I, or a mask band that is not [from, to, min, max] with from < to.
bool parseLimits(const std::string& text, Limits* limits, std::string* error);

struct Verdict {
    std::string figure;  // the figure's name, or "signal", "response_mask"
    bool passed = true;
    std::string detail;  // the value against its limits, in words
    std::optional<double> value, min, max;
};

struct Judgement {
    std::vector<std::vector<Verdict>> pairs;  // per pair, in the results' order
    bool passed = true;
    bool judged = true;  // false without a limits file: nothing passed or failed
};

// Every figure that has a limit, every crosstalk row under "crosstalk_db" and the
// response mask; a pair whose sweep did not come back fails "signal". Without a
// limits file (!limits.given) nothing is judged: a verdict per figure that passes,
// its detail the measured value, and judged false.
Judgement judge(const AnalysisResults& results, const Limits& limits);

// "line N: ..." for the first pair the limits name that is not among `measured`
// ("O:I" keys); empty when every one is.
std::string unmeasuredLimitPair(const Limits& limits, const std::vector<std::string>& measured);

}  // namespace cli
