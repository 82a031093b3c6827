// The sweep's options: its help (the command table's row for it) and what a
// command line asks for, which the host build tests without a driver.
#pragma once

#include <optional>
#include <string>

#include "console/arguments.h"
#include "console/usage.h"
#include "measure/sweep_signal.h"

namespace cli {

struct SweepRequest {
    std::string driver;  // "" for the first installed
    unsigned out = 0;
    unsigned in = 0;
    double from = 20.0;
    std::optional<double> to;  // default: the lower of 20 kHz and 0.45 x the rate
    double seconds = 5.0;
    double levelDb = -12.0;
    std::string csv;
    std::string plot;
};

const CommandHelp& sweepHelp();

// False, with the reason on stderr, for a value out of its range or a file named
// without an option.
bool parseSweep(const Arguments& args, SweepRequest* req);

// The sweep the request asks for at the driver's rate (checkSweepPlan says
// whether it can be played).
SweepPlan sweepPlanFor(const SweepRequest& req, double rate);

}  // namespace cli
