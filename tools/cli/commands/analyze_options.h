// The analyze command's options: its help (the command table's row for it), what
// a command line asks for and the limits file it names, which the host build tests
// without a driver.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "console/arguments.h"
#include "console/usage.h"
#include "measure/analyze_limits.h"
#include "measure/analyze_pairs.h"

namespace cli {

struct AnalyzeRequest {
    std::string driver;                             // "" for the first installed
    std::optional<std::vector<ChannelPair>> pairs;  // default: output i to input i
    std::string limitsPath;                         // "" for no limits
    std::string json, junit, report;                // "" for not written
    bool crosstalkOneByOne = false;
};

const CommandHelp& analyzeHelp();

// False, with the reason on stderr, for a bad pair list or --crosstalk, or a file
// named without an option.
bool parseAnalyze(const Arguments& args, AnalyzeRequest* req);

// Reads and parses the limits file at `path`; false with "FILE: line N: reason"
// (or why it cannot be read) on stderr.
bool loadLimits(const std::string& path, Limits* limits);

// The driver's channels as choosing the pairs sees them.
struct DriverChannels {
    int outputs = 0, inputs = 0;
    // Bytes a sample by channel (0: a type without a width); empty: not known.
    std::vector<int> outputWidths, inputWidths;
};

// The pairs to measure: those asked for, or output i to input i. kGoOn, or
// kExitUsage with the reason on stderr: no pair, a channel the driver lacks,
// measured inputs (or outputs) of different widths, which the library's stream
// cannot carry together, or a limits entry for a pair not measured (its line).
int choosePairs(const AnalyzeRequest& req, const Limits& limits, const DriverChannels& driver,
                std::vector<ChannelPair>* pairs);

// Before the take: kGoOn, or kExitUsage naming a --json, --junit or --report path
// that is a folder or whose folder takes no file (one is made and removed there).
int checkOutputFolders(const AnalyzeRequest& req);

}  // namespace cli
