// The sweep's table: one row per point, plain decimals with a dot, an empty field
// where a harmonic or the THD was not measured.
#pragma once

#include <string>
#include <vector>

#include "measure/sweep_response.h"

namespace cli {

std::string sweepCsv(const std::vector<SweepPoint>& points);

}  // namespace cli
