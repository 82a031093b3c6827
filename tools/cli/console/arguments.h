// Command-line parsing for asiochan.exe: a command word, positional arguments and
// --options with or without values.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace cli {

struct Arguments {
    std::string command;
    std::vector<std::string> positional;
    std::map<std::string, std::string> options;  // "--volume" -> "0.5"; flags map to ""
    // Every option name has() or value() was asked about: what a command reads.
    mutable std::set<std::string> asked;

    bool has(const std::string& name) const {
        asked.insert(name);
        return options.count(name) != 0;
    }
    std::optional<std::string> value(const std::string& name) const;
};

// Options that take a value; every other --option is a flag.
Arguments parseArguments(int argc, char** argv, const std::vector<std::string>& valueOptions, std::string* error);

// Parses "0,2,5" into channel numbers; false on anything else.
bool parseChannelList(const std::string& text, std::vector<unsigned>* channels);
bool parseUnsigned(const std::string& text, unsigned* value);
bool parseDouble(const std::string& text, double* value);

}  // namespace cli
