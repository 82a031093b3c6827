// The sweep's plot, read as a person reads it: the axes' labels, where the THD is
// drawn and where it is not, and the legend clear of the curves.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <regex>
#include <string>
#include <vector>

#include "measure/sweep_svg.h"

namespace {

// The numbers of every attribute `name` in the elements that contain `marker`.
std::vector<double> attributes(const std::string& svg, const std::string& marker, const std::string& name) {
    std::vector<double> out;
    const std::regex element("<[^>]*" + marker + "[^>]*>");
    for (auto it = std::sregex_iterator(svg.begin(), svg.end(), element); it != std::sregex_iterator(); ++it) {
        std::smatch value;
        const std::string tag = it->str();
        if (std::regex_search(tag, value, std::regex(" " + name + "=\"([-0-9.]+)\""))) out.push_back(std::stod(value[1]));
    }
    return out;
}

TEST(SweepPlot, SaysWhatItShows) {
    // A response below 0 dB; a THD of 0.1 % in two runs, between them not measured
    // (NaN) and none at all (0), which has no place on a dB scale.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<cli::SweepPoint> points;
    for (int i = 0; i <= 30; ++i) {
        cli::SweepPoint p;
        p.hz = 20 * std::pow(1000.0, i / 30.0);
        p.responseDb = -0.5 - i * 0.5;
        p.thdPercent = i == 11 ? 0.0 : (i >= 10 && i < 13) || i > 24 ? nan : 0.1;
        points.push_back(p);
    }
    const std::string svg = cli::sweepSvg(points, "t");
    const std::vector<double> thdTop = attributes(svg, "c0392b", "y1");  // the legend's THD line
    const struct {
        const char* what;
        bool holds;
    } checks[] = {
        {"no tick reads -0", svg.find(">-0<") == std::string::npos && svg.find(">0<") != std::string::npos},
        {"the THD is drawn in its two measured runs", std::regex_search(svg, std::regex("(<polyline[^>]*c0392b[^>]*>[^]*){2}")) &&
                                                          !std::regex_search(svg, std::regex("(<polyline[^>]*c0392b[^>]*>[^]*){3}"))},
        {"the band's ends are labelled", svg.find(">20<") != std::string::npos && svg.find(">20k<") != std::string::npos},
        {"the THD has a percent axis", svg.find(">THD %<") != std::string::npos && svg.find(">0.1<") != std::string::npos},
        {"the legend lies below the plot area",
         thdTop.size() == 1 && !attributes(svg, "rect x=", "height").empty() &&
             thdTop[0] > attributes(svg, "rect x=", "y")[0] + attributes(svg, "rect x=", "height")[0]},
    };
    for (const auto& c : checks) EXPECT_TRUE(c.holds) << c.what << "\n" << svg;
}

}  // namespace
