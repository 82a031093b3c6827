#include "console/usage.h"

#include <cstring>

namespace cli {

namespace {
// "  --channels LIST    " padded to the help column; a longer name gets a line of its own.
constexpr std::size_t kHelpColumn = 23;

void printOption(const OptionHelp& option, std::FILE* out) {
    std::string head = std::string("  ") + option.name;
    if (option.value) head += std::string(" ") + option.value;
    const char* help = option.help;
    if (head.size() + 1 > kHelpColumn) {
        std::fprintf(out, "%s\n", head.c_str());
        head.clear();
    }
    // Every line of the help at the help column.
    while (true) {
        const char* end = std::strchr(help, '\n');
        const int length = end ? static_cast<int>(end - help) : static_cast<int>(std::strlen(help));
        std::fprintf(out, "%-*s%.*s\n", int(kHelpColumn), head.c_str(), length, help);
        head.clear();
        if (!end) break;
        help = end + 1;
    }
}
}  // namespace

void printCommandHelp(const CommandHelp& command, std::FILE* out) {
    std::fprintf(out, "%s\n\n%s", command.usage, command.about);
    if (command.options.empty()) return;
    std::fprintf(out, "\noptions:\n");
    for (const OptionHelp& option : command.options) printOption(option, out);
}

void printOverview(const std::vector<const CommandHelp*>& commands, std::FILE* out) {
    std::fprintf(out,
                 "asiochan - channel-oriented access to ASIO audio interfaces\n\n"
                 "usage: asiochan <command> [options]\n\n"
                 "commands:\n");
    for (const CommandHelp* command : commands) std::fprintf(out, "  %-23s  %s\n", command->synopsis, command->purpose);
    std::fprintf(out,
                 "\n'asiochan <command> --help' tells more. Without --driver, the first\n"
                 "installed driver is used.\n");
}

std::string unknownOption(const Arguments& args, const CommandHelp& command) {
    for (const auto& [name, value] : args.options) {
        bool known = name == "--help";
        for (const OptionHelp& option : command.options) known = known || name == option.name;
        if (!known) return name;
    }
    return "";
}

std::vector<std::string> valueOptions(const std::vector<const CommandHelp*>& commands) {
    std::vector<std::string> names;
    for (const CommandHelp* command : commands)
        for (const OptionHelp& option : command->options)
            if (option.value) names.push_back(option.name);
    return names;
}

}  // namespace cli
