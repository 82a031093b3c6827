#include "measure/levels.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace cli {

void LevelMeter::add(const double* samples, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const double v = samples[i];
        peak_ = std::max(peak_, std::fabs(v));
        squares_ += v * v;
    }
    count_ += count;
}

double LevelMeter::peakDbfs() const { return toDbfs(peak_); }

double LevelMeter::rmsDbfs() const {
    return count_ == 0 ? toDbfs(0.0) : toDbfs(std::sqrt(squares_ / static_cast<double>(count_)));
}

double toDbfs(double magnitude) {
    if (!(magnitude > 0.0)) return -std::numeric_limits<double>::infinity();
    return 20.0 * std::log10(magnitude);
}

std::string formatDbfs(double dbfs) {
    if (!(dbfs > -1000.0)) return " -inf";
    // A level within rounding of full scale reads 0.0, not -0.0.
    if (dbfs > -0.05) dbfs = 0.0;
    char text[16];
    std::snprintf(text, sizeof text, "%5.1f", dbfs);
    return text;
}

std::string levelBar(double peakDbfs, double rmsDbfs, int width) {
    if (width <= 0) return {};
    // Characters filled for a level: none below the floor, all at full scale.
    const auto cells = [width](double dbfs) {
        if (!(dbfs > kBarFloorDbfs)) return 0;
        const double share = std::min(1.0, (dbfs - kBarFloorDbfs) / -kBarFloorDbfs);
        return static_cast<int>(std::lround(share * width));
    };
    std::string bar(static_cast<std::size_t>(width), '-');
    std::fill_n(bar.begin(), cells(rmsDbfs), '=');
    const int peak = cells(peakDbfs);
    if (peak > 0) bar[static_cast<std::size_t>(peak - 1)] = '|';
    return bar;
}

}  // namespace cli
