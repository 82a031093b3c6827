// The HTML report: one file, no outside resources, every plot inline SVG; laid
// out for a screen and for A4 paper, for a lab engineer to check and sign.
#include <cmath>

#include "measure/analyze_outputs.h"
#include "measure/report_format.h"
#include "measure/report_plots.h"

namespace cli {

namespace {
constexpr const char* kStyle =
    "body{font-family:sans-serif;margin:20px;color:#222}svg{max-width:100%;height:auto}"
    "h1{font-size:22px;margin:0 0 8px}h2{font-size:16px;margin:22px 0 8px}"
    "table{border-collapse:collapse;font-size:12px}td,th{border:1px solid #bbb;padding:2px 5px;text-align:right;vertical-align:top}"
    "th{background:#f2f2f2}.facts th{text-align:left}.facts td{text-align:left}"
    ".lim{display:block;font-size:10px;color:#666;white-space:nowrap}ul.failed{columns:2;font-size:12px}"
    ".matrix td{white-space:nowrap}.fail .lim{color:#700}"
    ".pass{background:#dff0df}.fail{background:#f6c6c6}.fail .v{font-weight:bold}"
    ".verdict{display:inline-block;padding:3px 10px;border-radius:4px;font-weight:bold}"
    ".verdict.pass{background:#cdeccd}.verdict.fail{background:#f4b0b0}.verdict.none{background:#e4e4e4}"
    ".bars{display:flex;gap:16px}.bars svg{flex:1 1 0;min-width:0;max-width:470px}"
    ".matrix td,.matrix th{padding:1px 3px;font-size:11px}.matrix.dense td,.matrix.dense th{font-size:7px;padding:0 1px}"
    ".sign td{height:34px;min-width:180px;text-align:left}"
    "@page{size:A4;margin:12mm}"
    "@media print{body{margin:0;font-size:11px}table{font-size:9px}svg{break-inside:avoid}"
    "h2{break-after:avoid}.matrix.dense td,.matrix.dense th{font-size:5px}}";

struct Column {
    const char* figure;  // the name in the results and the limits
    const char* heading;
    int decimals;
};
constexpr Column kColumns[] = {
    {"gain_db", "gain<br>dB", 3},
    {"polarity", "polarity", 0},
    {"latency_frames", "latency<br>frames", 0},
    {"response_deviation_db", "response<br>deviation dB", 3},
    {"thdn_percent", "THD+N<br>%", 4},
    {"thdn_db", "THD+N<br>dB", 1},
    {"noise_dbfs", "noise<br>dBFS", 1},
    {"noise_a_dbfs", "noise (A)<br>dBFS", 1},
    {"dynamic_range_db", "dynamic<br>range dB", 1},
};

bool judged(const TakeFacts& facts, const Judgement& j) {
    if (!facts.limitsFile.empty()) return true;
    for (const auto& verdicts : j.pairs)
        if (!verdicts.empty()) return true;
    return false;
}

// A cell: the figure, and under it its limit; a failed one red with how far it is out.
std::string cell(const std::string& value, const Verdict* v) {
    if (v == nullptr) return "<td><span class=\"v\">" + value + "</span></td>";
    std::string note = "<span class=\"lim\">" + std::string(v->passed ? "" : "limit ") + limitText(*v) + "</span>";
    if (const std::string margin = marginText(*v); !margin.empty()) note += "<span class=\"lim\">" + margin + "</span>";
    return std::string("<td class=\"") + (v->passed ? "pass" : "fail") + "\"><span class=\"v\">" + value + "</span>" +
           note + "</td>";
}

std::string header(const TakeFacts& facts, const AnalysisResults& r, const Judgement& j) {
    const bool isJudged = judged(facts, j);
    std::string s = "<h1>asiochan analyze report <span class=\"verdict " +
                    std::string(!isJudged ? "none\">NOT JUDGED" : j.passed ? "pass\">PASSED" : "fail\">FAILED") +
                    "</span></h1>\n<table class=\"facts\">";
    const auto row = [&](const char* name, const std::string& value) {
        s += std::string("<tr><th>") + name + "</th><td>" + value + "</td></tr>";
    };
    row("driver", xmlEscaped(facts.driver));
    row("sample rate", fmt("%.0f Hz", facts.rate));
    row("period", std::to_string(facts.period) + " frames (" +
                      fmt("%.2f ms", facts.rate > 0 ? 1000.0 * facts.period / facts.rate : 0.0) + ")");
    row("date", xmlEscaped(facts.date));
    row("take", fmt("%.1f s", facts.takeSeconds) + ", " + std::to_string(r.pairs.size()) + " pairs, crosstalk with " +
                    (r.crosstalkOneByOne ? "one output driven at a time" : "every output driven at once"));
    row("limits file", facts.limitsFile.empty() ? std::string("none: the figures are not judged")
                                                : xmlEscaped(facts.limitsFile) + "<br>SHA-256 <code>" +
                                                      xmlEscaped(facts.limitsSha256) + "</code>");
    row("asiochan version", facts.version.empty() ? std::string("&#8211;") : xmlEscaped(facts.version));
    return s + "</table>\n";
}

std::string failures(const AnalysisResults& r, const Judgement& j) {
    std::string s;
    for (std::size_t p = 0; p < j.pairs.size() && p < r.pairs.size(); ++p)
        for (const Verdict& v : j.pairs[p]) {
            if (v.passed) continue;
            std::string line = "<li><b>" + pairName(r.pairs[p]) + " " + xmlEscaped(v.figure) + "</b>: ";
            if (v.value && limitText(v).size()) {
                line += fmt("%.4g", *v.value) + ", limit " + limitText(v);
                const std::string margin = marginText(v);
                if (!margin.empty()) line += ", " + margin;
                if (v.figure == "response_mask") line += " (" + xmlEscaped(v.detail) + ")";
            } else {
                line += xmlEscaped(v.detail);
            }
            s += line + "</li>\n";
        }
    return s.empty() ? s : "<h2>Failed</h2>\n<ul class=\"failed\">\n" + s + "</ul>\n";
}

std::string summaryTable(const AnalysisResults& r, const Judgement& j, bool isJudged) {
    std::string s = "<table><tr><th>pair</th>";
    for (const Column& c : kColumns) s += std::string("<th>") + c.heading + "</th>";
    s += "<th>worst<br>crosstalk dB</th><th>response<br>mask</th><th>verdict</th></tr>\n";
    for (std::size_t p = 0; p < r.pairs.size(); ++p) {
        const PairFigures& pair = r.pairs[p];
        const std::vector<Verdict> none;
        const std::vector<Verdict>& verdicts = p < j.pairs.size() ? j.pairs[p] : none;
        bool passed = true;
        for (const Verdict& v : verdicts) passed = passed && v.passed;
        s += "<tr><th>" + pairName(pair) + "</th>";
        for (const NamedFigure& named : namedFigures(pair)) {
            const Column* c = nullptr;
            for (const Column& column : kColumns)
                if (std::string(column.figure) == named.name) c = &column;
            if (c == nullptr) continue;
            std::string value = figureText(named.figure, c->decimals, named.higherIsBetter);
            if (named.figure.value && std::string(named.name) == "latency_frames" && r.rate > 0)
                value += "<br>" + fmt("%.2f ms", 1000.0 * *named.figure.value / r.rate);
            s += cell(value, verdictOf(verdicts, named.name));
        }
        // The row's worst crosstalk into another input.
        Figure worst;
        if (p < r.crosstalkDb.size())
            for (std::size_t k = 0; k < r.crosstalkDb[p].size(); ++k) {
                const Figure& f = r.crosstalkDb[p][k];
                const double at = f.value ? *f.value : f.floor ? *f.floor : -INFINITY;
                const double before = worst.value ? *worst.value : worst.floor ? *worst.floor : -INFINITY;
                if (k != p && f.measured() && at > before) worst = f;
            }
        s += cell(figureText(worst, 1, false), verdictOf(verdicts, "crosstalk_db"));
        const Verdict* mask = verdictOf(verdicts, "response_mask");
        s += mask == nullptr ? "<td>&#8211;</td>"
                             : std::string("<td class=\"") + (mask->passed ? "pass\">within" : "fail\">outside") +
                                   (mask->passed ? "" : "<span class=\"lim\">" + xmlEscaped(mask->detail) + "</span>") + "</td>";
        s += std::string("<td class=\"") +
             (!isJudged ? "\">not judged" : !pair.signal || !passed ? "fail\">FAIL" : "pass\">pass") + "</td></tr>\n";
    }
    return s + "</table>\n";
}

double percentInDb(double percent) { return percent > 0 ? 20.0 * std::log10(percent / 100.0) : -INFINITY; }
double same(double v) { return v; }
}  // namespace

std::string analysisHtml(const TakeFacts& facts, const AnalysisResults& r, const Judgement& j) {
    const bool isJudged = judged(facts, j);
    std::string s = std::string("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>asiochan analyze: ") +
                    xmlEscaped(facts.driver) + "</title><style>" + kStyle + "</style></head><body>\n";
    s += header(facts, r, j);
    s += failures(r, j);
    s += "<h2>Figures per pair" + std::string(isJudged ? ", each with its limit" : "") + "</h2>\n" +
         summaryTable(r, j, isJudged);
    s += "<p style=\"font-size:11px;color:#555\">&lt; and &gt;: the figure lies beyond the take's floor, the value "
         "given.</p>\n";
    s += "<h2>Frequency response re 997 Hz</h2>\n" + responsePlot(r, facts.responseMask);
    s += "<h2>THD+N and noise per pair</h2>\n<div class=\"bars\">" +
         levelBars(r, j, {"THD+N at -1 dBFS", "dB", &PairFigures::thdnDb, "thdn_percent", percentInDb}) +
         levelBars(r, j, {"noise, A-weighted", "dBFS", &PairFigures::noiseADbfs, "noise_a_dbfs", same}) + "</div>\n";
    s += "<h2>Crosstalk, dB re the driven pair's own level</h2>\n" + crosstalkMatrix(r, j);
    s += "<h2>Sign-off</h2>\n<table class=\"sign\"><tr><th>measured by</th><td></td><th>date</th><td></td></tr>"
         "<tr><th>checked by</th><td></td><th>signature</th><td></td></tr></table>\n";
    return s + "</body></html>\n";
}

}  // namespace cli
