// How the HTML report writes numbers, figures and their limits.
#pragma once

#include <string>
#include <vector>

#include "measure/analyze_limits.h"
#include "measure/analyze_results.h"

namespace cli {

// `format` is one of the report's literals with a single double.
std::string fmt(const char* format, double v);

// "O:I".
std::string pairName(const PairFigures& p);

// `decimals` places, or two significant digits where those would show only zeros.
std::string numberText(double v, int decimals);

// The value, or "< floor" ("> floor" when a higher figure is better), or an en dash.
std::string figureText(const Figure& f, int decimals, bool higherIsBetter);

const Verdict* verdictOf(const std::vector<Verdict>& verdicts, const std::string& figure);

// "<= 0.25", ">= 99" (as numeric entities, which SVG takes too), "-0.75 to 0.05".
std::string limitText(const Verdict& v);

// How far a failed figure lies beyond its limit: "over by 0.12", "under by 2";
// empty when it passed or has no value.
std::string marginText(const Verdict& v);

}  // namespace cli
