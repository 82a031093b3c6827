#include "measure/sweep_svg.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace cli {

namespace {
// The plot area; the axes' labels and the legend lie outside it.
constexpr double kLeft = 70, kRight = 720, kTop = 50, kBottom = 390, kWidth = 800, kHeight = 490;
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

// A coordinate with one decimal, or a label as short as it goes (never "-0").
std::string n(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", v);
    return text;
}
std::string g(double v, int digits = 6) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*g", digits, v == 0 ? 0.0 : v);
    return text;
}
std::string hzLabel(double hz, int digits = 6) { return hz >= 1000 ? g(hz / 1000, digits) + "k" : g(hz, digits); }

std::string line(double x1, double y1, double x2, double y2, const char* stroke, const char* width = "1") {
    return "<line x1=\"" + n(x1) + "\" y1=\"" + n(y1) + "\" x2=\"" + n(x2) + "\" y2=\"" + n(y2) + "\" stroke=\"" +
           stroke + "\" stroke-width=\"" + width + "\"/>\n";
}

std::string text(double x, double y, const char* anchor, const std::string& content) {
    return "<text x=\"" + n(x) + "\" y=\"" + n(y) + "\" text-anchor=\"" + anchor + "\">" + content + "</text>\n";
}

// NaN (not drawn) where the THD was not measured, and for none at all.
double thdDb(double percent) { return percent > 0 ? 20 * std::log10(percent / 100) : std::nan(""); }

std::string grid(const Axes& a) {
    std::string out;
    // Lines at every 1..9 x a power of ten; labels at 1, 2 and 5 of them and at the
    // band's two ends, a tick label giving way to an end's where they would touch.
    const double ends[] = {a.fromHz, a.toHz};
    for (double hz : ends) {
        out += line(a.x(hz), kBottom, a.x(hz), kBottom + 5, "#333");
        out += text(a.x(hz), kBottom + 18, "middle", hzLabel(hz, 3));
    }
    for (double decade = std::pow(10.0, std::floor(std::log10(a.fromHz))); decade <= a.toHz; decade *= 10) {
        for (int m = 1; m <= 9; ++m) {
            const double hz = decade * m;
            if (hz < a.fromHz || hz > a.toHz) continue;
            out += line(a.x(hz), kTop, a.x(hz), kBottom, m == 1 ? "#999" : "#eee");
            const bool clear = std::fabs(a.x(hz) - a.x(a.fromHz)) > 30 && std::fabs(a.x(hz) - a.x(a.toHz)) > 30;
            if ((m == 1 || m == 2 || m == 5) && clear) out += text(a.x(hz), kBottom + 18, "middle", hzLabel(hz));
        }
    }
    // dB on the left; the same lines on the right as the THD's percent, every 20 dB.
    for (double db = a.topDb; db >= a.bottomDb; db -= 10) {
        out += line(kLeft, a.y(db), kRight, a.y(db), "#ccc");
        out += text(kLeft - 6, a.y(db) + 4, "end", g(db));
        if (std::fmod(db, 20) == 0 && db <= 0) out += text(kRight + 6, a.y(db) + 4, "start", g(100 * std::pow(10, db / 20)));
    }
    return out;
}

// One polyline for each run of measured points: nothing is drawn across a gap.
std::string curve(const Axes& a, const std::vector<SweepPoint>& points, bool thd, const char* colour) {
    std::string out, run;
    const auto flush = [&] {
        if (!run.empty())
            out += std::string("<polyline fill=\"none\" stroke-width=\"2\" stroke=\"") + colour + "\" points=\"" + run +
                   "\"/>\n";
        run.clear();
    };
    for (const auto& p : points) {
        const double db = thd ? thdDb(p.thdPercent) : p.responseDb;
        if (!std::isfinite(db)) {
            flush();
            continue;
        }
        if (!run.empty()) run += ' ';
        run += n(a.x(p.hz)) + "," + n(a.y(db));
    }
    flush();
    return out;
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
    out += "<text x=\"" + n((kLeft + kRight) / 2) + "\" y=\"24\" text-anchor=\"middle\" font-size=\"14\">" + escaped(title) +
           "</text>\n";
    out += grid(a);
    out += "<rect x=\"" + n(kLeft) + "\" y=\"" + n(kTop) + "\" width=\"" + n(kRight - kLeft) + "\" height=\"" +
           n(kBottom - kTop) + "\" fill=\"none\" stroke=\"#999\"/>\n";
    out += text((kLeft + kRight) / 2, kBottom + 38, "middle", "frequency (Hz)");
    out += text(kLeft - 6, kTop - 10, "end", "dB");
    out += text(kRight + 6, kTop - 10, "start", "THD %");
    out += curve(a, points, false, "#1f5fbf");
    out += curve(a, points, true, "#c0392b");
    // The legend, below the axis.
    const double legend = kBottom + 66;
    out += line(kLeft, legend, kLeft + 25, legend, "#1f5fbf", "2");
    out += text(kLeft + 32, legend + 4, "start", "response, dB re the level played (left axis)");
    out += line(kLeft + 340, legend, kLeft + 365, legend, "#c0392b", "2");
    double thdTo = 0;
    for (const auto& p : points)
        if (std::isfinite(thdDb(p.thdPercent))) thdTo = p.hz;
    const std::string upTo = thdTo >= 1000 ? g(thdTo / 1000, 3) + " kHz" : g(thdTo, 3) + " Hz";
    out += text(kLeft + 372, legend + 4, "start",
                "THD, 2nd to 5th harmonic, % (right axis)" + (thdTo > 0 ? ", up to " + upTo : std::string()));
    return out + "</svg>\n";
}

}  // namespace cli
