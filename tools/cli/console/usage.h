// The help of asiochan.exe, drawn from one description per command: its usage
// line, what it does and its options, each with its help text.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "console/arguments.h"

namespace cli {

struct OptionHelp {
    const char* name;   // "--channels"
    const char* value;  // "LIST"; nullptr for a flag
    const char* help;   // one line, or several joined by '\n'
};

struct CommandHelp {
    const char* name;      // "capture"
    const char* synopsis;  // "capture OUT.wav ...": the overview's left column
    const char* purpose;   // one line, the overview's right column
    const char* usage;     // "usage: asiochan capture OUT.wav [...]", may span lines
    const char* about;     // what the command does, in paragraphs
    std::vector<OptionHelp> options;
};

// Prints a command's usage, what it does and its options.
void printCommandHelp(const CommandHelp& command, std::FILE* out);
// Prints the overview: every command with its purpose.
void printOverview(const std::vector<const CommandHelp*>& commands, std::FILE* out);

// The first --option in `args` that `command` does not take (--help every command
// takes), or "" when it knows them all.
std::string unknownOption(const Arguments& args, const CommandHelp& command);
// The options that take a value in any of `commands`, for parseArguments.
std::vector<std::string> valueOptions(const std::vector<const CommandHelp*>& commands);

}  // namespace cli
