// The results of `asiochan analyze` as a production line files them: JSON (every
// figure, its limits and verdict), JUnit XML (a testcase per pair and measurement)
// and a self-contained HTML report with inline SVG plots.
#pragma once

#include <string>
#include <vector>

#include "measure/analyze_limits.h"
#include "measure/analyze_results.h"

namespace cli {

struct TakeFacts {
    std::string driver;
    double rate = 0.0;
    int period = 0;
    std::string date;  // ISO 8601
    double takeSeconds = 0.0;
    // For the report's header and plots: the limits file as given (empty: none),
    // its SHA-256, the response mask it holds, and this program's version.
    std::string limitsFile, limitsSha256;
    std::vector<MaskBand> responseMask;
    std::string version;
};

std::string analysisJson(const TakeFacts& facts, const AnalysisResults& r, const Judgement& j);
std::string analysisJUnit(const TakeFacts& facts, const AnalysisResults& r, const Judgement& j);
std::string analysisHtml(const TakeFacts& facts, const AnalysisResults& r, const Judgement& j);

// Text made safe for XML and HTML.
std::string xmlEscaped(const std::string& text);

}  // namespace cli
