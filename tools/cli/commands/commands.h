// The commands of asiochan.exe, one row of the table each: the help that names
// its options, and the function that runs it. Each answers a process exit code
// (console/exit_codes.h).
#pragma once

#include <string>
#include <vector>

#include "console/arguments.h"
#include "console/usage.h"

namespace cli {

int runDrivers(const Arguments& args);
int runInfo(const Arguments& args);
int runPlay(const Arguments& args);
int runCapture(const Arguments& args);
int runTone(const Arguments& args);
int runLatency(const Arguments& args);
int runMonitor(const Arguments& args);
int runSweep(const Arguments& args);
int runAnalyze(const Arguments& args);

struct Command {
    CommandHelp help;
    int (*run)(const Arguments& args);
};

// Every command, in the order the overview lists them.
const std::vector<Command>& commandTable();

// Reads the command line, refuses what the command does not take, answers
// --help and help, and runs the command. The process exit code.
int runCommandLine(int argc, char** argv);

}  // namespace cli
