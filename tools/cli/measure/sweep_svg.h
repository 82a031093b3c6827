// The sweep's picture: a self-contained SVG with a log frequency axis labelled at
// the band's ends, dB grid lines, the response (dB, the left axis) and the THD
// (the same lines as percent of the fundamental, the right axis), broken where it
// was not measured, and a legend below the plot.
#pragma once

#include <string>
#include <vector>

#include "measure/sweep_response.h"

namespace cli {

// `title` is plain text (escaped here). The points rise in frequency; at least two.
std::string sweepSvg(const std::vector<SweepPoint>& points, const std::string& title);

}  // namespace cli
