// The HTML report's plots, inline SVG scaled by a viewBox so that they fit a
// screen or an A4 page alike.
#pragma once

#include <string>
#include <vector>

#include "measure/analyze_limits.h"
#include "measure/analyze_results.h"

namespace cli {

// Every pair's response re 997 Hz over frequency in Hz, with the limits' mask as
// a band. Up to 16 pairs each have a colour and dash of their own in the legend;
// beyond that the 8 that deviate most do, and the rest are drawn grey.
std::string responsePlot(const AnalysisResults& r, const std::vector<MaskBand>& mask);

// One level per pair as a horizontal bar from the lowest floor of any pair (20 dB
// below the lowest figure where none lies below its floor) up to the pair's figure, labelled with the pair and the number ("< floor" when the
// figure lies below its floor); a red tick where the pair's limit lies.
struct LevelBars {
    const char* title;
    const char* unit;
    Figure PairFigures::*member;
    const char* limitFigure;        // the verdict whose limit is drawn, or null
    double (*limitInUnit)(double);  // that limit in the bars' unit
};
std::string levelBars(const AnalysisResults& r, const Judgement& j, const LevelBars& bars);

// The crosstalk matrix: a cell per driven output (row) and measured input
// (column), numbered, a blue scale by level, red where a cell is over its limit,
// the value in each cell's tooltip; then the same values in a table.
std::string crosstalkMatrix(const AnalysisResults& r, const Judgement& j);

}  // namespace cli
