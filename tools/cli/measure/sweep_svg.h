// The sweep's picture: a self-contained SVG with a log frequency axis, dB grid
// lines, the response and the THD (both in dB) and a legend.
#pragma once

#include <string>
#include <vector>

#include "measure/sweep_response.h"

namespace cli {

// `title` is plain text (escaped here). The points rise in frequency; at least two.
std::string sweepSvg(const std::vector<SweepPoint>& points, const std::string& title);

}  // namespace cli
