// The commands of asiochan.exe. Each answers a process exit code (session.h).
#pragma once

#include "arguments.h"

namespace cli {

int runDrivers(const Arguments& args);
int runInfo(const Arguments& args);
int runPlay(const Arguments& args);
int runCapture(const Arguments& args);
int runTone(const Arguments& args);
int runLatency(const Arguments& args);
int runMonitor(const Arguments& args);
int runSweep(const Arguments& args);

// Prints a command's usage (or the overview for an empty command).
void printUsage(const std::string& command);

}  // namespace cli
