// The HTML report: one file, no outside resources, every plot inline SVG.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "measure/analyze_outputs.h"

namespace cli {

namespace {
// `format` is always one of this file's literals with a single double.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
std::string fmt(const char* format, double v) {
    char text[48];
    std::snprintf(text, sizeof text, format, v);
    return text;
}
#pragma GCC diagnostic pop

std::string figureText(const Figure& f, const char* format, bool higherIsBetter) {
    if (f.value) return fmt(format, *f.value);
    if (f.floor) return (higherIsBetter ? "&gt; " : "&lt; ") + fmt(format, *f.floor);
    return "&ndash;";
}

// One of a few distinct hues for curve i.
std::string hue(std::size_t i, std::size_t n) {
    return "hsl(" + std::to_string(static_cast<int>(360.0 * static_cast<double>(i) / static_cast<double>(std::max<std::size_t>(n, 1)))) +
           ",70%,40%)";
}

const Verdict* verdictOf(const std::vector<Verdict>& verdicts, const char* name) {
    for (const Verdict& v : verdicts)
        if (v.figure == name) return &v;
    return nullptr;
}

std::string summaryTable(const AnalysisResults& r, const Judgement& j) {
    std::string s = "<table><tr><th>pair</th>";
    const std::vector<NamedFigure> names = namedFigures(PairFigures{});
    for (const NamedFigure& n : names) s += std::string("<th>") + n.name + "</th>";
    s += "<th>verdict</th></tr>\n";
    for (std::size_t p = 0; p < r.pairs.size(); ++p) {
        const std::vector<Verdict>& verdicts = p < j.pairs.size() ? j.pairs[p] : std::vector<Verdict>{};
        bool passed = true;
        for (const Verdict& v : verdicts) passed = passed && v.passed;
        s += "<tr><td>" + std::to_string(r.pairs[p].output) + ":" + std::to_string(r.pairs[p].input) + "</td>";
        for (const NamedFigure& n : namedFigures(r.pairs[p])) {
            const Verdict* v = verdictOf(verdicts, n.name);
            const char* cls = v == nullptr ? "" : v->passed ? " class=\"pass\"" : " class=\"fail\"";
            const char* format = std::string(n.name) == "thdn_percent" ? "%.4f" : std::string(n.name) == "polarity" || std::string(n.name) == "latency_frames" ? "%.0f" : "%.2f";
            s += std::string("<td") + cls + ">" + figureText(n.figure, format, n.higherIsBetter) + "</td>";
        }
        s += std::string("<td class=\"") + (passed ? "pass\">pass" : "fail\">FAIL") + "</td></tr>\n";
    }
    return s + "</table>\n";
}

std::string responsePlot(const AnalysisResults& r) {
    constexpr double w = 720, h = 300, left = 50, top = 10, right = 10, bottom = 30;
    double lo = -1.0, hi = 1.0;
    for (const PairFigures& p : r.pairs)
        for (const auto& [hz, db] : p.response) {
            lo = std::min(lo, db);
            hi = std::max(hi, db);
        }
    lo = std::floor(lo);
    hi = std::ceil(hi);
    const double f0 = 20.0, f1 = 20000.0;
    const auto x = [&](double hz) { return left + (w - left - right) * std::log(hz / f0) / std::log(f1 / f0); };
    const auto y = [&](double db) { return top + (h - top - bottom) * (hi - db) / (hi - lo); };
    std::string s = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"720\" height=\"300\" viewBox=\"0 0 720 300\">"
                    "<rect width=\"720\" height=\"300\" fill=\"white\"/>";
    for (double hz : {20.0, 100.0, 1000.0, 10000.0, 20000.0})
        s += "<line x1=\"" + fmt("%.1f", x(hz)) + "\" x2=\"" + fmt("%.1f", x(hz)) + "\" y1=\"10\" y2=\"270\" stroke=\"#ddd\"/>"
             "<text x=\"" + fmt("%.1f", x(hz)) + "\" y=\"290\" font-size=\"11\" text-anchor=\"middle\">" +
             (hz >= 1000 ? fmt("%gk", hz / 1000) : fmt("%g", hz)) + "</text>";
    const double step = std::max(1.0, std::ceil((hi - lo) / 6));
    for (double db = lo; db <= hi + 1e-9; db += step)
        s += "<line x1=\"50\" x2=\"710\" y1=\"" + fmt("%.1f", y(db)) + "\" y2=\"" + fmt("%.1f", y(db)) +
             "\" stroke=\"#ddd\"/><text x=\"45\" y=\"" + fmt("%.1f", y(db) + 4) +
             "\" font-size=\"11\" text-anchor=\"end\">" + fmt("%g", db == 0 ? 0.0 : db) + "</text>";
    for (std::size_t p = 0; p < r.pairs.size(); ++p) {
        std::string points;
        for (const auto& [hz, db] : r.pairs[p].response)
            if (hz >= f0 && hz <= f1) points += fmt("%.1f,", x(hz)) + fmt("%.1f ", y(db));
        if (!points.empty())
            s += "<polyline fill=\"none\" stroke-width=\"1.5\" stroke=\"" + hue(p, r.pairs.size()) + "\" points=\"" +
                 points + "\"><title>pair " + std::to_string(r.pairs[p].output) + ":" +
                 std::to_string(r.pairs[p].input) + "</title></polyline>";
    }
    return s + "<text x=\"55\" y=\"22\" font-size=\"11\">dB re 997 Hz</text></svg>\n";
}

// Bars of one figure per pair, from the plot's bottom value up.
std::string barPlot(const AnalysisResults& r, const char* title, Figure PairFigures::*member, double bottom, double top) {
    const std::size_t n = r.pairs.size();
    const double w = std::max(320.0, 14.0 * static_cast<double>(n) + 60), h = 200;
    const auto y = [&](double v) { return 10 + (h - 40) * (top - std::clamp(v, bottom, top)) / (top - bottom); };
    std::string s = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + fmt("%.0f", w) + "\" height=\"200\">"
                    "<rect width=\"100%\" height=\"100%\" fill=\"white\"/><text x=\"50\" y=\"12\" font-size=\"11\">" +
                    std::string(title) + "</text>";
    for (double v : {bottom, (bottom + top) / 2, top})
        s += "<text x=\"45\" y=\"" + fmt("%.1f", y(v) + 4) + "\" font-size=\"10\" text-anchor=\"end\">" + fmt("%g", v) + "</text>";
    const double bar = (w - 60) / static_cast<double>(std::max<std::size_t>(n, 1));
    for (std::size_t p = 0; p < n; ++p) {
        const Figure& f = r.pairs[p].*member;
        const double v = f.value ? *f.value : f.floor ? *f.floor : bottom;
        s += "<rect x=\"" + fmt("%.1f", 50 + bar * static_cast<double>(p) + 1) + "\" y=\"" + fmt("%.1f", y(v)) +
             "\" width=\"" + fmt("%.1f", std::max(1.0, bar - 2)) + "\" height=\"" + fmt("%.1f", y(bottom) - y(v)) +
             "\" fill=\"" + (f.value ? "#4a7ab5" : "#bbb") + "\"><title>" + std::to_string(r.pairs[p].output) + ":" +
             std::to_string(r.pairs[p].input) + " " + (f.value ? fmt("%.2f", v) : f.floor ? "below " + fmt("%.1f", v) : "-") +
             "</title></rect>";
    }
    return s + "</svg>\n";
}

std::string heatMap(const AnalysisResults& r) {
    const std::size_t n = r.crosstalkDb.size();
    const double cell = n > 16 ? 8.0 : 30.0, size = cell * static_cast<double>(n) + 40;
    std::string s = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + fmt("%.0f", size + 150) + "\" height=\"" +
                    fmt("%.0f", size) + "\"><rect width=\"100%\" height=\"100%\" fill=\"white\"/>";
    for (std::size_t j = 0; j < n; ++j)
        for (std::size_t k = 0; k < n; ++k) {
            const Figure& f = r.crosstalkDb[j][k];
            std::string colour = "#eee";
            if (f.value) {
                // -140 dB and below white, -60 dB and above deep red.
                const double t = std::clamp((*f.value + 140.0) / 80.0, 0.0, 1.0);
                colour = "rgb(255," + std::to_string(static_cast<int>(255 * (1 - t))) + "," +
                         std::to_string(static_cast<int>(255 * (1 - t))) + ")";
            } else if (j != k) {
                colour = "#fff";
            }
            s += "<rect x=\"" + fmt("%.0f", 30 + cell * static_cast<double>(k)) + "\" y=\"" +
                 fmt("%.0f", 10 + cell * static_cast<double>(j)) + "\" width=\"" + fmt("%.0f", cell) + "\" height=\"" +
                 fmt("%.0f", cell) + "\" fill=\"" + colour + "\" stroke=\"#ccc\" stroke-width=\"0.5\"><title>" +
                 std::to_string(j) + " into " + std::to_string(k) + ": " +
                 (f.value ? fmt("%.1f dB", *f.value) : f.floor ? "below " + fmt("%.1f dB", *f.floor) : std::string("-")) +
                 "</title></rect>";
        }
    const double x = 40 + cell * static_cast<double>(n);
    s += "<text x=\"" + fmt("%.0f", x) + "\" y=\"20\" font-size=\"11\">rows: driven pair</text>"
         "<text x=\"" + fmt("%.0f", x) + "\" y=\"36\" font-size=\"11\">columns: measured input</text>"
         "<text x=\"" + fmt("%.0f", x) + "\" y=\"52\" font-size=\"11\">white: -140 dB or floor</text>"
         "<text x=\"" + fmt("%.0f", x) + "\" y=\"68\" font-size=\"11\">red: -60 dB</text>";
    return s + "</svg>\n";
}
}  // namespace

std::string analysisHtml(const TakeFacts& facts, const AnalysisResults& r, const Judgement& j) {
    std::string s =
        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>asiochan analyze</title><style>"
        "body{font-family:sans-serif;margin:20px}table{border-collapse:collapse;font-size:12px}"
        "td,th{border:1px solid #bbb;padding:2px 6px;text-align:right}.pass{background:#c8f0c8}"
        ".fail{background:#f4b0b0}h2{font-size:16px;margin-top:24px}</style></head><body>\n";
    s += "<h1>asiochan analyze: " + std::string(j.passed ? "PASSED" : "FAILED") + "</h1>\n";
    s += "<p>" + xmlEscaped(facts.driver) + ", " + fmt("%.0f Hz", facts.rate) + ", " + std::to_string(facts.period) +
         "-frame periods, " + xmlEscaped(facts.date) + ", a take of " + fmt("%.1f s", facts.takeSeconds) + "</p>\n";
    s += "<h2>Summary</h2>\n" + summaryTable(r, j);
    s += "<h2>Frequency response of every pair, re 997 Hz</h2>\n" + responsePlot(r);
    s += "<h2>THD+N and noise per pair</h2>\n" +
         barPlot(r, "THD+N at -1 dBFS, dB (grey: below the take's floor)", &PairFigures::thdnDb, -160, 0) +
         barPlot(r, "noise, A-weighted, dBFS (grey: below the take's floor)", &PairFigures::noiseADbfs, -200, 0);
    s += "<h2>Crosstalk, measured with " + std::string(r.crosstalkOneByOne ? "one output driven at a time" : "every output driven at once") +
         "</h2>\n" + heatMap(r);
    return s + "</body></html>\n";
}

}  // namespace cli
