#include <cmath>
#include <cstdio>

#include "measure/analyze_outputs.h"

namespace cli {

namespace {
std::string jsonNumber(double v) {
    if (!std::isfinite(v)) return "null";
    char text[40];
    std::snprintf(text, sizeof text, "%.6g", v);
    return text;
}

std::string jsonString(const std::string& s) {
    std::string out = "\"";
    for (const char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char code[8];
            std::snprintf(code, sizeof code, "\\u%04x", static_cast<unsigned>(c));
            out += code;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string optionalNumber(const std::optional<double>& v) { return v ? jsonNumber(*v) : "null"; }
}  // namespace

std::string analysisJson(const TakeFacts& facts, const AnalysisResults& r, const Judgement& j) {
    std::string s = "{\n";
    s += "  \"driver\": " + jsonString(facts.driver) + ",\n";
    s += "  \"rate\": " + jsonNumber(facts.rate) + ",\n";
    s += "  \"period\": " + std::to_string(facts.period) + ",\n";
    s += "  \"date\": " + jsonString(facts.date) + ",\n";
    s += "  \"take_seconds\": " + jsonNumber(facts.takeSeconds) + ",\n";
    // Without limits nothing was judged: null, not true.
    const auto verdict = [&](bool passed) { return std::string(!j.judged ? "null" : passed ? "true" : "false"); };
    s += "  \"judged\": " + std::string(j.judged ? "true" : "false") + ",\n";
    s += "  \"passed\": " + verdict(j.passed) + ",\n";
    s += "  \"pairs\": [";
    for (std::size_t p = 0; p < r.pairs.size(); ++p) {
        const PairFigures& f = r.pairs[p];
        s += p == 0 ? "\n" : ",\n";
        s += "    {\"output\": " + std::to_string(f.output) + ", \"input\": " + std::to_string(f.input) +
             ", \"signal\": " + (f.signal ? "true" : "false");
        // Every key for every pair: null where a figure or its floor is not there.
        for (const NamedFigure& n : namedFigures(f)) {
            s += ", \"" + std::string(n.name) + "\": " + optionalNumber(n.figure.value);
            if (*n.floorName) s += ", \"" + std::string(n.floorName) + "\": " + optionalNumber(n.figure.floor);
        }
        s += ", \"latency_ms\": " +
             (f.signal ? jsonNumber(1000.0 * static_cast<double>(f.latencyFrames) / r.rate) : std::string("null"));
        s += ",\n     \"response\": [";
        for (std::size_t i = 0; i < f.response.size(); ++i)
            s += (i ? ", [" : "[") + jsonNumber(f.response[i].first) + ", " + jsonNumber(f.response[i].second) + "]";
        s += "],\n     \"verdicts\": {";
        const std::vector<Verdict>& verdicts = p < j.pairs.size() ? j.pairs[p] : std::vector<Verdict>{};
        for (std::size_t i = 0; i < verdicts.size(); ++i) {
            const Verdict& v = verdicts[i];
            s += (i ? ", " : "") + jsonString(v.figure) + ": {\"passed\": " + verdict(v.passed) +
                 ", \"value\": " + optionalNumber(v.value) + ", \"min\": " + optionalNumber(v.min) +
                 ", \"max\": " + optionalNumber(v.max) + ", \"detail\": " + jsonString(v.detail) + "}";
        }
        s += "}}";
    }
    s += "\n  ],\n";
    s += "  \"crosstalk_driven\": " + jsonString(r.crosstalkOneByOne ? "one output at a time" : "every output at once") + ",\n";
    s += "  \"crosstalk_hz\": [";
    for (std::size_t i = 0; i < r.crosstalkHz.size(); ++i) s += (i ? ", " : "") + jsonNumber(r.crosstalkHz[i]);
    s += "],\n";
    for (const bool floors : {false, true}) {
        s += floors ? "  \"crosstalk_floor_db\": [" : "  \"crosstalk_db\": [";
        for (std::size_t row = 0; row < r.crosstalkDb.size(); ++row) {
            s += row ? ",\n    [" : "\n    [";
            for (std::size_t k = 0; k < r.crosstalkDb[row].size(); ++k)
                s += (k ? ", " : "") + optionalNumber(floors ? r.crosstalkDb[row][k].floor : r.crosstalkDb[row][k].value);
            s += "]";
        }
        s += floors ? "\n  ]\n" : "\n  ],\n";
    }
    return s + "}\n";
}

}  // namespace cli
