// A whole `asiochan analyze` run once the driver is open: the take (made again
// once when the driver skipped periods), the analysis, the verdicts, the files
// and the exit code a production line acts on.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "measure/analyze_limits.h"
#include "measure/analyze_outputs.h"
#include "measure/analyze_take.h"
#include "measure/analyze_timeline.h"
#include "measure/take_analysis.h"

namespace cli {

// 0 every figure passed, 1 one failed, 3 the take was not valid (a line retests on 3).
constexpr int kExitTakeInvalid = 3;

struct AnalyzeFiles {
    std::string json, junit, report;  // empty: not written
};

// Writes `text` to `path`; false (with a message on stderr) when it cannot.
using FileWriter = std::function<bool(const std::string& path, const std::string& text)>;

// Runs the take through `take`, judges the results against `limits`, prints a
// summary to stdout and writes the files asked for. The exit code.
int runAnalysis(Take& take, const Timeline& timeline, const std::vector<PairChannels>& pairs, const Limits& limits,
                TakeFacts facts, const AnalyzeFiles& files, const FileWriter& write);

}  // namespace cli
