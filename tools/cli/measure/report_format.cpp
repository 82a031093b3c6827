#include "measure/report_format.h"

#include <cmath>
#include <cstdio>

namespace cli {

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
std::string fmt(const char* format, double v) {
    char text[48];
    std::snprintf(text, sizeof text, format, v);
    return text;
}
#pragma GCC diagnostic pop

std::string pairName(const PairFigures& p) { return std::to_string(p.output) + ":" + std::to_string(p.input); }

std::string numberText(double v, int decimals) {
    if (v != 0.0 && std::fabs(v) < 0.5 * std::pow(10.0, -decimals)) return fmt("%.2g", v);
    const std::string text = fmt(("%." + std::to_string(decimals) + "f").c_str(), v);
    return text == "-0" || text.find_first_not_of("-0.") == std::string::npos ? text.substr(text[0] == '-') : text;
}

std::string figureText(const Figure& f, int decimals, bool higherIsBetter) {
    if (f.value) return numberText(*f.value, decimals);
    if (f.floor) return (higherIsBetter ? "&gt; " : "&lt; ") + numberText(*f.floor, decimals);
    return "&#8211;";
}

const Verdict* verdictOf(const std::vector<Verdict>& verdicts, const std::string& figure) {
    for (const Verdict& v : verdicts)
        if (v.figure == figure) return &v;
    return nullptr;
}

namespace {
std::string limitNumber(double v) { return fmt("%.4g", v); }
}  // namespace

std::string limitText(const Verdict& v) {
    if (v.min && v.max) return *v.min == *v.max ? "= " + limitNumber(*v.min) : limitNumber(*v.min) + " to " + limitNumber(*v.max);
    if (v.min) return "&#8805; " + limitNumber(*v.min);
    if (v.max) return "&#8804; " + limitNumber(*v.max);
    return "";
}

std::string marginText(const Verdict& v) {
    if (v.passed || !v.value) return "";
    if (v.max && *v.value > *v.max) return "over by " + limitNumber(*v.value - *v.max);
    if (v.min && *v.value < *v.min) return "under by " + limitNumber(*v.min - *v.value);
    return "";
}

}  // namespace cli
