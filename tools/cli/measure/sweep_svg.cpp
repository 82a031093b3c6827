#include "measure/sweep_svg.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace cli {

namespace {
constexpr double kLeft = 70, kRight = 770, kTop = 50, kBottom = 420, kWidth = 800, kHeight = 480;
constexpr double kLowestDb = -120;

struct Axes {
    double fromHz, toHz, topDb, bottomDb;
    double x(double hz) const { return kLeft + (kRight - kLeft) * std::log(hz / fromHz) / std::log(toHz / fromHz); }
    double y(double db) const {
        return kTop + (kBottom - kTop) * (topDb - std::clamp(db, bottomDb, topDb)) / (topDb - bottomDb);
    }
};

std::string escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '&') out += "&amp;";
        else if (c == '<') out += "&lt;";
        else if (c == '>') out += "&gt;";
        else if (c == '"') out += "&quot;";
        else if (static_cast<unsigned char>(c) >= 0x20 || c == '\t') out += c;
    }
    return out;
}

// A coordinate with one decimal, or a label as short as it goes.
std::string n(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", v);
    return text;
}
std::string g(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

std::string line(double x1, double y1, double x2, double y2, const char* stroke, const char* width = "1") {
    return "<line x1=\"" + n(x1) + "\" y1=\"" + n(y1) + "\" x2=\"" + n(x2) + "\" y2=\"" + n(y2) + "\" stroke=\"" +
           stroke + "\" stroke-width=\"" + width + "\"/>\n";
}

std::string text(double x, double y, const char* anchor, const std::string& content) {
    return "<text x=\"" + n(x) + "\" y=\"" + n(y) + "\" text-anchor=\"" + anchor + "\">" + content + "</text>\n";
}

// NaN (not drawn) where no harmonic was measured; the floor for none at all.
double thdDb(double percent) {
    if (std::isnan(percent)) return percent;
    return percent > 0 ? 20 * std::log10(percent / 100) : kLowestDb;
}

std::string grid(const Axes& a) {
    std::string out;
    for (double decade = std::pow(10.0, std::floor(std::log10(a.fromHz))); decade <= a.toHz; decade *= 10) {
        for (int m = 1; m <= 9; ++m) {
            const double hz = decade * m;
            if (hz < a.fromHz || hz > a.toHz) continue;
            out += line(a.x(hz), kTop, a.x(hz), kBottom, m == 1 ? "#999" : "#eee");
            if (m == 1) out += text(a.x(hz), kBottom + 18, "middle", hz >= 1000 ? g(hz / 1000) + "k" : g(hz));
        }
    }
    for (double db = a.topDb; db >= a.bottomDb; db -= 10) {
        out += line(kLeft, a.y(db), kRight, a.y(db), "#ccc");
        out += text(kLeft - 6, a.y(db) + 4, "end", g(db));
    }
    return out;
}

std::string curve(const Axes& a, const std::vector<SweepPoint>& points, bool thd, const char* colour) {
    std::string out = std::string("<polyline fill=\"none\" stroke-width=\"2\" stroke=\"") + colour + "\" points=\"";
    for (const auto& p : points) {
        const double db = thd ? thdDb(p.thdPercent) : p.responseDb;
        if (std::isnan(db)) continue;
        out += n(a.x(p.hz)) + "," + n(a.y(db)) + " ";
    }
    return out + "\"/>\n";
}
}  // namespace

std::string sweepSvg(const std::vector<SweepPoint>& points, const std::string& title) {
    double highest = kLowestDb, lowest = 0;
    for (const auto& p : points) {
        for (double db : {p.responseDb, thdDb(p.thdPercent)}) {
            if (!std::isfinite(db)) continue;
            highest = std::max(highest, db);
            lowest = std::min(lowest, db);
        }
    }
    const Axes a{points.front().hz, points.back().hz, std::ceil(highest / 10 + 0.01) * 10,
                 std::max(std::floor(lowest / 10 - 0.01) * 10, kLowestDb)};
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
                      g(kWidth) + "\" height=\"" + g(kHeight) + "\" viewBox=\"0 0 " + g(kWidth) + " " + g(kHeight) +
                      "\" font-family=\"sans-serif\" font-size=\"12\">\n";
    out += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    out += "<text x=\"400\" y=\"24\" text-anchor=\"middle\" font-size=\"14\">" + escaped(title) + "</text>\n";
    out += grid(a);
    out += text((kLeft + kRight) / 2, kHeight - 8, "middle", "Hz");
    out += text(kLeft - 40, kTop - 10, "start", "dB");
    out += curve(a, points, false, "#1f5fbf");
    out += curve(a, points, true, "#c0392b");
    out += "<rect x=\"" + n(kRight - 290) + "\" y=\"" + n(kBottom - 54) +
           "\" width=\"280\" height=\"44\" fill=\"white\" stroke=\"#999\"/>\n";
    out += line(kRight - 280, kBottom - 38, kRight - 255, kBottom - 38, "#1f5fbf", "2");
    out += text(kRight - 248, kBottom - 34, "start", "response (dB re level played)");
    out += line(kRight - 280, kBottom - 20, kRight - 255, kBottom - 20, "#c0392b", "2");
    out += text(kRight - 248, kBottom - 16, "start", "THD, 2nd to 5th (dB re fundamental)");
    return out + "</svg>\n";
}

}  // namespace cli
