#include "measure/report_plots.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "measure/analyze_outputs.h"
#include "measure/report_format.h"

namespace cli {

namespace {
// Eight colours told apart by most eyes (none is the failure red), each solid
// and then dashed: sixteen traces.
constexpr const char* kPalette[8] = {"#0072b2", "#e69f00", "#009e73", "#cc79a7",
                                     "#56b4e9", "#8c564b", "#000000", "#7f7f00"};
constexpr const char* kFailRed = "#d62728";
constexpr std::size_t kDistinctTraces = 16;
constexpr std::size_t kNamedWorst = 8;

std::string svgOpen(double w, double h) {
    return "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " + fmt("%.0f", w) + " " + fmt("%.0f", h) +
           "\" width=\"" + fmt("%.0f", w) + "\" font-family=\"sans-serif\">"
           "<rect width=\"" + fmt("%.0f", w) + "\" height=\"" + fmt("%.0f", h) + "\" fill=\"white\"/>";
}

std::string line(double x1, double y1, double x2, double y2, const std::string& attributes) {
    return "<line x1=\"" + fmt("%.1f", x1) + "\" y1=\"" + fmt("%.1f", y1) + "\" x2=\"" + fmt("%.1f", x2) + "\" y2=\"" +
           fmt("%.1f", y2) + "\" " + attributes + "/>";
}

std::string text(double x, double y, const std::string& body, const std::string& attributes = "") {
    return "<text x=\"" + fmt("%.1f", x) + "\" y=\"" + fmt("%.1f", y) + "\" " + attributes + ">" + body + "</text>";
}

std::string hzLabel(double hz) { return hz >= 1000.0 ? fmt("%gk", hz / 1000.0) : fmt("%g", hz); }

// A step of 1, 2 or 5 times a power of ten that cuts `span` into at most `most` parts.
double niceStep(double span, int most) {
    for (double decade = 1e-3;; decade *= 10.0)
        for (const double m : {1.0, 2.0, 5.0})
            if (span / (m * decade) <= most) return m * decade;
}
}  // namespace

std::string responsePlot(const AnalysisResults& r, const std::vector<MaskBand>& mask) {
    constexpr double w = 960, h = 400, left = 64, right = 750, top = 14, bottom = 350;
    double lo = -0.1, hi = 0.1, f0 = 20.0, f1 = 20000.0;
    for (const PairFigures& p : r.pairs)
        for (const auto& [hz, db] : p.response) {
            if (!std::isfinite(db)) continue;
            lo = std::min(lo, db);
            hi = std::max(hi, db);
            f0 = std::min(f0, hz);
            f1 = std::max(f1, hz);
        }
    for (const MaskBand& m : mask) {
        lo = std::min(lo, m.minDb);
        hi = std::max(hi, m.maxDb);
    }
    const double step = niceStep(hi - lo, 8);
    lo = std::floor(lo / step - 1e-9) * step;
    hi = std::ceil(hi / step + 1e-9) * step;
    const auto x = [&](double hz) { return left + (right - left) * std::log(hz / f0) / std::log(f1 / f0); };
    const auto y = [&](double db) { return top + (bottom - top) * (hi - std::clamp(db, lo, hi)) / (hi - lo); };
    std::string s = svgOpen(w, h);
    // The grid: every 1, 2 and 5 of a decade named, the other whole multiples faint.
    for (double decade = 10.0; decade <= f1; decade *= 10.0)
        for (int m = 1; m <= 9; ++m) {
            const double hz = decade * m;
            if (hz < f0 * (1 - 1e-9) || hz > f1 * (1 + 1e-9)) continue;
            const bool named = m == 1 || m == 2 || m == 5;
            s += line(x(hz), top, x(hz), bottom, named ? "stroke=\"#ccc\"" : "stroke=\"#eee\"");
            if (named) s += text(x(hz), bottom + 16, hzLabel(hz), "font-size=\"12\" text-anchor=\"middle\"");
        }
    for (double db = lo; db <= hi + step / 2; db += step) {
        s += line(left, y(db), right, y(db), std::fabs(db) < step / 2 ? "stroke=\"#999\"" : "stroke=\"#ddd\"");
        s += text(left - 6, y(db) + 4, numberText(std::fabs(db) < step / 2 ? 0.0 : db, step < 0.1 ? 2 : step < 1 ? 1 : 0),
                  "font-size=\"12\" text-anchor=\"end\"");
    }
    s += "<rect x=\"" + fmt("%.0f", left) + "\" y=\"" + fmt("%.0f", top) + "\" width=\"" + fmt("%.0f", right - left) +
         "\" height=\"" + fmt("%.0f", bottom - top) + "\" fill=\"none\" stroke=\"#666\"/>";
    s += text((left + right) / 2, bottom + 36, "frequency, Hz", "font-size=\"13\" text-anchor=\"middle\"");
    s += text(16, (top + bottom) / 2, "level, dB re 997 Hz",
              "font-size=\"13\" text-anchor=\"middle\" transform=\"rotate(-90 16 " + fmt("%.0f", (top + bottom) / 2) + ")\"");
    for (const MaskBand& m : mask) {
        const double x0 = x(std::max(m.fromHz, f0)), x1 = x(std::min(m.toHz, f1));
        if (!(x1 > x0)) continue;
        s += "<rect x=\"" + fmt("%.1f", x0) + "\" y=\"" + fmt("%.1f", y(m.maxDb)) + "\" width=\"" + fmt("%.1f", x1 - x0) +
             "\" height=\"" + fmt("%.1f", y(m.minDb) - y(m.maxDb)) + "\" fill=\"#2e7d32\" fill-opacity=\"0.10\"/>";
        for (const double db : {m.minDb, m.maxDb})
            s += line(x0, y(db), x1, y(db), "stroke=\"#2e7d32\" stroke-width=\"1.5\" stroke-dasharray=\"8 4\"");
    }

    // Which pairs get a style of their own: all up to 16, else the worst by deviation.
    std::vector<std::size_t> order(r.pairs.size());
    std::iota(order.begin(), order.end(), 0);
    const bool many = r.pairs.size() > kDistinctTraces;
    if (many)
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            const double da = r.pairs[a].signal ? r.pairs[a].responseDeviationDb : -1.0;
            const double db = r.pairs[b].signal ? r.pairs[b].responseDeviationDb : -1.0;
            return da > db;
        });
    const std::size_t styled = many ? kNamedWorst : r.pairs.size();
    const auto trace = [&](std::size_t p, const std::string& stroke) {
        std::string points;
        for (const auto& [hz, db] : r.pairs[p].response)
            if (std::isfinite(db)) points += fmt("%.1f,", x(hz)) + fmt("%.1f ", y(db));
        return points.empty() ? std::string() : "<polyline fill=\"none\" " + stroke + " points=\"" + points + "\"/>";
    };
    const auto styleOf = [](std::size_t rank) {
        return std::string("stroke=\"") + kPalette[rank % 8] + "\" stroke-width=\"1.6\"" +
               (rank >= 8 ? " stroke-dasharray=\"7 3\"" : "");
    };
    for (std::size_t i = styled; i < order.size(); ++i) s += trace(order[i], "stroke=\"#bbb\" stroke-width=\"1\"");
    for (std::size_t i = styled; i-- > 0;) s += trace(order[i], styleOf(i));

    // The legend, beside the plot.
    const double lx = right + 20;
    double ly = top + 10;
    const auto entry = [&](const std::string& stroke, const std::string& label) {
        if (!stroke.empty()) s += line(lx, ly - 4, lx + 26, ly - 4, stroke);
        s += text(lx + 32, ly, label, "font-size=\"12\"");
        ly += 18;
    };
    if (many) {
        s += text(lx, ly, "the " + std::to_string(kNamedWorst) + " of " + std::to_string(r.pairs.size()) + " pairs",
                  "font-size=\"12\" font-weight=\"bold\"");
        s += text(lx, ly + 15, "deviating most:", "font-size=\"12\" font-weight=\"bold\"");
        ly += 34;
    }
    for (std::size_t i = 0; i < styled; ++i) {
        const PairFigures& p = r.pairs[order[i]];
        entry(p.signal ? styleOf(i) : "",
              "pair " + pairName(p) + (p.signal ? ", " + fmt("%.3f dB", p.responseDeviationDb) : ": no signal"));
    }
    if (many) entry("stroke=\"#bbb\" stroke-width=\"2\"", "the other " + std::to_string(order.size() - styled));
    if (!mask.empty()) entry("stroke=\"#2e7d32\" stroke-width=\"1.5\" stroke-dasharray=\"8 4\"", "limits (mask)");
    s += text(lx, bottom + 36, "deviation: the largest from 997 Hz", "font-size=\"11\" fill=\"#555\"");
    return s + "</svg>\n";
}

std::string levelBars(const AnalysisResults& r, const Judgement& j, const LevelBars& bars) {
    const std::size_t n = r.pairs.size();
    constexpr double w = 470, left = 44, right = 360, top = 30, row = 15;
    const double bottom = top + row * static_cast<double>(std::max<std::size_t>(n, 1)), h = bottom + 40;
    // The scale: from the lowest floor (or figure) to the highest figure or limit, in steps of 10 dB.
    double lo = INFINITY, hi = -INFINITY;
    std::vector<double> limits(n, NAN);
    for (std::size_t p = 0; p < n; ++p) {
        const Figure& f = r.pairs[p].*bars.member;
        for (const auto& v : {f.value, f.floor})
            if (v && std::isfinite(*v)) {
                lo = std::min(lo, *v);
                hi = std::max(hi, *v);
            }
        const Verdict* v = bars.limitFigure && p < j.pairs.size() ? verdictOf(j.pairs[p], bars.limitFigure) : nullptr;
        if (v && v->max) limits[p] = bars.limitInUnit(*v->max);
        if (std::isfinite(limits[p])) hi = std::max(hi, limits[p]);
    }
    if (!(lo <= hi)) lo = -120.0, hi = 0.0;
    // Where every pair was measured above its floor, the bars start 20 dB below the lowest.
    bool anyFloor = false;
    for (const PairFigures& pair : r.pairs) anyFloor = anyFloor || (pair.*bars.member).floor.has_value();
    if (!anyFloor) lo -= 20.0;
    lo = std::floor(lo / 10.0) * 10.0;
    hi = std::max(std::ceil(hi / 10.0) * 10.0, lo + 10.0);
    const auto x = [&](double v) { return left + (right - left) * (std::clamp(v, lo, hi) - lo) / (hi - lo); };
    std::string s = svgOpen(w, h) + text(0, 16, bars.title, "font-size=\"13\" font-weight=\"bold\"");
    const double step = niceStep(hi - lo, 6) < 10.0 ? 10.0 : niceStep(hi - lo, 6);
    for (double v = lo; v <= hi + 1e-9; v += step) {
        s += line(x(v), top - 4, x(v), bottom, "stroke=\"#ddd\"");
        s += text(x(v), bottom + 14, fmt("%g", v), "font-size=\"11\" text-anchor=\"middle\"");
    }
    s += text((left + right) / 2, bottom + 30,
              std::string(bars.unit) + "; bars from " + fmt("%g", lo) + (anyFloor ? ", the lowest floor" : ""),
              "font-size=\"11\" text-anchor=\"middle\"");
    for (std::size_t p = 0; p < n; ++p) {
        const PairFigures& pair = r.pairs[p];
        const Figure& f = pair.*bars.member;
        const double cy = top + row * static_cast<double>(p);
        const Verdict* v = bars.limitFigure && p < j.pairs.size() ? verdictOf(j.pairs[p], bars.limitFigure) : nullptr;
        const bool failed = v && !v->passed;
        s += text(left - 6, cy + 11, pairName(pair), "font-size=\"11\" text-anchor=\"end\"");
        const double at = f.value ? *f.value : f.floor ? *f.floor : lo;
        const char* fill = failed ? kFailRed : f.value ? "#4a7ab5" : "#c8c8c8";
        s += "<rect x=\"" + fmt("%.1f", left) + "\" y=\"" + fmt("%.1f", cy + 2) + "\" width=\"" +
             fmt("%.1f", std::max(1.0, x(at) - left)) + "\" height=\"" + fmt("%.1f", row - 4) + "\" fill=\"" + fill + "\"/>";
        if (std::isfinite(limits[p]))
            s += line(x(limits[p]), cy, x(limits[p]), cy + row, "stroke=\"" + std::string(kFailRed) + "\" stroke-width=\"2\"");
        std::string label = f.measured() ? figureText(f, 1, false) + " " + bars.unit : "not measured";
        if (failed && std::isfinite(limits[p])) label += " (limit " + fmt("%.4g", limits[p]) + ")";
        s += text(right + 6, cy + 11, label, std::string("font-size=\"11\"") + (failed ? " fill=\"#b00\"" : ""));
    }
    return s + "</svg>\n";
}

namespace {
// -180 dB palest, -40 dB darkest, in blues.
std::string blueFor(double db) {
    const double t = std::clamp((db + 180.0) / 140.0, 0.0, 1.0);
    const auto mix = [t](int a, int b) { return std::to_string(static_cast<int>(std::lround(a + (b - a) * t))); };
    return "rgb(" + mix(235, 8) + "," + mix(243, 48) + "," + mix(251, 107) + ")";
}

std::string cellText(const Figure& f) {
    if (f.value) return fmt("%.1f", *f.value);
    if (f.floor) return "&lt;" + fmt("%.0f", *f.floor);
    return "&#8211;";
}
}  // namespace

std::string crosstalkMatrix(const AnalysisResults& r, const Judgement& j) {
    const std::size_t n = r.crosstalkDb.size();
    const double cell = n <= 8 ? 34.0 : n <= 16 ? 24.0 : std::max(8.0, 560.0 / static_cast<double>(n));
    const std::size_t every = cell >= 14.0 ? 1 : 4;  // which rows and columns are numbered
    const double left = 64, top = 44, size = cell * static_cast<double>(n);
    const double w = left + size + 230, h = std::max(top + size + 16, 260.0);
    std::vector<double> limit(n, INFINITY);
    for (std::size_t row = 0; row < n && row < j.pairs.size(); ++row)
        if (const Verdict* v = verdictOf(j.pairs[row], "crosstalk_db"); v && v->max) limit[row] = *v->max;
    const auto over = [&](std::size_t row, const Figure& f) { return f.value && *f.value > limit[row]; };
    const auto label = [&](std::size_t i, bool output) {
        return std::to_string(i < r.pairs.size() ? (output ? r.pairs[i].output : r.pairs[i].input) : int(i));
    };
    std::string s = svgOpen(w, h);
    s += text(left + size / 2, 14, "measured input", "font-size=\"12\" text-anchor=\"middle\"");
    s += text(14, top + size / 2, "driven output",
              "font-size=\"12\" text-anchor=\"middle\" transform=\"rotate(-90 14 " + fmt("%.0f", top + size / 2) + ")\"");
    const std::string numberSize = cell >= 14.0 ? "11" : "9";
    for (std::size_t i = 0; i < n; i += every) {
        const double at = static_cast<double>(i) * cell + cell / 2;
        s += text(left + at, top - 6, label(i, false), "font-size=\"" + numberSize + "\" text-anchor=\"middle\"");
        s += text(left - 6, top + at + 4, label(i, true), "font-size=\"" + numberSize + "\" text-anchor=\"end\"");
    }
    for (std::size_t row = 0; row < n; ++row)
        for (std::size_t col = 0; col < n; ++col) {
            const Figure& f = r.crosstalkDb[row][col];
            const std::string fill = row == col ? "#ffffff" : over(row, f) ? kFailRed : f.value ? blueFor(*f.value) : "#e4e4e4";
            s += "<rect x=\"" + fmt("%.1f", left + cell * static_cast<double>(col)) + "\" y=\"" +
                 fmt("%.1f", top + cell * static_cast<double>(row)) + "\" width=\"" + fmt("%.1f", cell) + "\" height=\"" +
                 fmt("%.1f", cell) + "\" fill=\"" + fill + "\" stroke=\"#fff\" stroke-width=\"0.5\"><title>output " +
                 label(row, true) + " into input " + label(col, false) + ": " +
                 (row == col ? std::string("own signal") : cellText(f) + " dB") +
                 (over(row, f) ? ", over the limit of " + fmt("%.4g", limit[row]) + " dB" : std::string()) + "</title></rect>";
        }
    s += "<rect x=\"" + fmt("%.0f", left) + "\" y=\"" + fmt("%.0f", top) + "\" width=\"" + fmt("%.1f", size) +
         "\" height=\"" + fmt("%.1f", size) + "\" fill=\"none\" stroke=\"#888\"/>";
    // The scale.
    const double sx = left + size + 30;
    s += text(sx, top + 4, "dB re the driven pair", "font-size=\"12\"");
    for (int i = 0; i <= 7; ++i) {
        const double db = -40.0 - 20.0 * i;
        const double y = top + 14 + 18 * i;
        s += "<rect x=\"" + fmt("%.0f", sx) + "\" y=\"" + fmt("%.0f", y) + "\" width=\"24\" height=\"18\" fill=\"" +
             blueFor(db) + "\"/>" + text(sx + 30, y + 13, (i == 0 ? "&#8805; " : i == 7 ? "&#8804; " : "") + fmt("%g", db), "font-size=\"11\"");
    }
    const double ky = top + 14 + 18 * 8 + 10;
    s += "<rect x=\"" + fmt("%.0f", sx) + "\" y=\"" + fmt("%.0f", ky) + "\" width=\"24\" height=\"14\" fill=\"#e4e4e4\"/>" +
         text(sx + 30, ky + 11, "below the take's floor", "font-size=\"11\"");
    if (std::any_of(limit.begin(), limit.end(), [](double l) { return std::isfinite(l); }))
        s += "<rect x=\"" + fmt("%.0f", sx) + "\" y=\"" + fmt("%.0f", ky + 20) + "\" width=\"24\" height=\"14\" fill=\"" +
             kFailRed + "\"/>" + text(sx + 30, ky + 31, "over its limit", "font-size=\"11\"");
    s += "</svg>\n";

    // The values in a table, rows and columns numbered as above.
    s += std::string("<table class=\"matrix") + (n > 16 ? " dense" : "") + "\"><tr><th>out \\ in</th>";
    for (std::size_t col = 0; col < n; ++col) s += "<th>" + label(col, false) + "</th>";
    s += "</tr>\n";
    for (std::size_t row = 0; row < n; ++row) {
        s += "<tr><th>" + label(row, true) + "</th>";
        for (std::size_t col = 0; col < n; ++col) {
            const Figure& f = r.crosstalkDb[row][col];
            s += std::string("<td") + (over(row, f) ? " class=\"fail\"" : "") + ">" +
                 (row == col ? std::string("") : cellText(f)) + "</td>";
        }
        s += "</tr>\n";
    }
    return s + "</table>\n";
}

}  // namespace cli
