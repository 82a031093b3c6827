#include <cstdio>

#include "measure/analyze_outputs.h"

namespace cli {

std::string xmlEscaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&apos;"; break;
            default:
                // Control characters other than tab and line breaks are not allowed in XML 1.0.
                if (static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n' || c == '\r') out += c;
        }
    }
    return out;
}

std::string analysisJUnit(const TakeFacts& facts, const AnalysisResults& r, const Judgement& j) {
    std::size_t tests = 0, failures = 0;
    for (const auto& verdicts : j.pairs)
        for (const Verdict& v : verdicts) {
            ++tests;
            failures += v.passed ? 0 : 1;
        }
    char head[256];
    std::snprintf(head, sizeof head, "<testsuite name=\"asiochan analyze\" tests=\"%zu\" failures=\"%zu\" errors=\"0\"",
                  tests, failures);
    std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites>\n";
    s += std::string(head) + " timestamp=\"" + xmlEscaped(facts.date) + "\">\n";
    s += "  <properties><property name=\"driver\" value=\"" + xmlEscaped(facts.driver) + "\"/>" +
         "<property name=\"rate\" value=\"" + std::to_string(static_cast<long>(facts.rate)) + "\"/></properties>\n";
    for (std::size_t p = 0; p < j.pairs.size() && p < r.pairs.size(); ++p) {
        const std::string pair = "pair " + std::to_string(r.pairs[p].output) + ":" + std::to_string(r.pairs[p].input);
        for (const Verdict& v : j.pairs[p]) {
            // The measured value in words in every testcase's output; a failure only where judged.
            s += "  <testcase classname=\"" + xmlEscaped(pair) + "\" name=\"" + xmlEscaped(v.figure) + "\">\n";
            if (!v.passed)
                s += "    <failure message=\"" + xmlEscaped(v.detail) + "\">" + xmlEscaped(pair + ": " + v.detail) +
                     "</failure>\n";
            s += "    <system-out>" + xmlEscaped(v.detail) + "</system-out>\n  </testcase>\n";
        }
    }
    return s + "</testsuite>\n</testsuites>\n";
}

}  // namespace cli
