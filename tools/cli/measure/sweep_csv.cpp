#include "measure/sweep_csv.h"

#include <cmath>
#include <cstdio>

namespace cli {

namespace {
// Written with digits and a dot only, whatever the locale says.
void field(std::string& out, double value, int decimals) {
    out += ',';
    if (std::isnan(value)) return;
    if (std::isinf(value)) value = value > 0 ? 999.0 : -999.0;
    const long long scale = decimals == 4 ? 10000 : 1000;
    const long long fixed = std::llround(std::fabs(value) * static_cast<double>(scale));
    char text[48];
    std::snprintf(text, sizeof text, "%s%lld.%0*lld", value < 0 && fixed != 0 ? "-" : "", fixed / scale, decimals,
                  fixed % scale);
    out += text;
}
}  // namespace

std::string sweepCsv(const std::vector<SweepPoint>& points) {
    std::string out = "frequency_hz,response_db,h2_db,h3_db,thd_2_5_percent\n";
    for (const auto& p : points) {
        std::string row;
        field(row, p.hz, 3);
        field(row, p.responseDb, 3);
        field(row, p.harmonicDb[0], 3);
        field(row, p.harmonicDb[1], 3);
        field(row, p.thdPercent, 4);
        out += row.substr(1) + '\n';
    }
    return out;
}

}  // namespace cli
