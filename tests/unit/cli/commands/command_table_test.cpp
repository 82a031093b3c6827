#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "commands/command_requests.h"
#include "commands/commands.h"
#include "commands/analyze_options.h"
#include "commands/sweep_options.h"
#include "console/exit_codes.h"

namespace {
// What the last run read from its arguments.
std::set<std::string> lastAsked;

template <typename Request, bool (*parse)(const cli::Arguments&, Request*)>
int parseOnly(const cli::Arguments& args) {
    Request req;
    const bool ok = parse(args, &req);
    lastAsked = args.asked;
    return ok ? cli::kExitOk : cli::kExitUsage;
}
}  // namespace

// The host build has no driver: each command's run reads its options with the
// command's own parser and stops there.
namespace cli {
int runDrivers(const Arguments& args) {
    lastAsked = args.asked;
    return kExitOk;
}
int runInfo(const Arguments& args) { return parseOnly<InfoRequest, parseInfo>(args); }
int runPlay(const Arguments& args) { return parseOnly<PlayRequest, parsePlay>(args); }
int runCapture(const Arguments& args) { return parseOnly<CaptureRequest, parseCapture>(args); }
int runTone(const Arguments& args) { return parseOnly<ToneRequest, parseTone>(args); }
int runLatency(const Arguments& args) { return parseOnly<LatencyRequest, parseLatency>(args); }
int runMonitor(const Arguments& args) { return parseOnly<MonitorRequest, parseMonitor>(args); }
int runSweep(const Arguments& args) { return parseOnly<SweepRequest, parseSweep>(args); }
int runAnalyze(const Arguments& args) { return parseOnly<AnalyzeRequest, parseAnalyze>(args); }
}  // namespace cli

namespace {

// The exit code of `asiochan WORDS...`, quiet; `said` gets what it printed on stderr.
int runQuietly(std::vector<std::string> words, std::string* said) {
    words.insert(words.begin(), "asiochan");
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    lastAsked.clear();
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int code = cli::runCommandLine(static_cast<int>(argv.size()), argv.data());
    testing::internal::GetCapturedStdout();
    *said = testing::internal::GetCapturedStderr();
    return code;
}

// Every option a command's help lists is taken by that command, with the value
// its help names, and read by its parser; its parser reads no option the table
// lacks; and an option of another command is refused before the command runs.
TEST(CliCommandTable, EachCommandTakesAndReadsTheOptionsItsHelpListsAndRefusesOthers) {
    // The arguments a command cannot do without, and the options that replace them.
    const std::map<std::string, std::pair<std::vector<std::string>, std::set<std::string>>> bases{
        {"play", {{"in.wav"}, {}}},
        {"capture", {{"out.wav", "--channel", "0"}, {"--channel", "--channels"}}},
        {"tone", {{"out.wav"}, {}}},
    };
    const std::map<std::string, std::string> needs{
        {"--play-channels", "--play"}, {"--play-map", "--play"}, {"--check-loopback", "--play"}};
    const std::map<std::string, std::string> examples{
        {"NAME", "sim"},    {"N", "1"},          {"M", "1"},          {"K", "3"},   {"LIST", "0,1"},
        {"F:O,...", "0:1"}, {"V", "0.5"},        {"S", "1"},          {"HZ", "1000"}, {"DBFS", "-6"},
        {"F", "1000"},      {"R", "44100"},      {"C", "2"},          {"FILE.wav", "in.wav"},
        {"FILE", "out.csv"}, {"FILE.svg", "out.svg"}, {"O:I,...", "0:1"}, {"FILE.json", "limits.json"},
        {"FILE.html", "out.html"}, {"all|one", "one"}};
    std::map<std::string, cli::OptionHelp> everyOption;
    for (const cli::Command& command : cli::commandTable())
        for (const cli::OptionHelp& option : command.help.options) everyOption.emplace(option.name, option);

    for (const cli::Command& command : cli::commandTable()) {
        const std::string name = command.help.name;
        std::set<std::string> listed{"--help"};
        for (const cli::OptionHelp& option : command.help.options) listed.insert(option.name);
        const auto base = bases.count(name) ? bases.at(name) : std::pair<std::vector<std::string>, std::set<std::string>>{};
        auto wordsWith = [&](const cli::OptionHelp& option) {
            std::vector<std::string> words{name};
            for (std::size_t i = 0; i < base.first.size(); ++i) {
                const bool replaced = base.second.count(option.name) && base.second.count(base.first[i]);
                if (replaced) ++i;  // the option and its value
                else words.push_back(base.first[i]);
            }
            if (needs.count(option.name) && listed.count(needs.at(option.name))) words.insert(words.end(), {needs.at(option.name), "x.wav"});
            words.push_back(option.name);
            if (option.value) words.push_back(examples.count(option.value) ? examples.at(option.value) : "?");
            return words;
        };
        std::string said;
        for (const cli::OptionHelp& option : command.help.options) {
            SCOPED_TRACE(name + " " + option.name);
            ASSERT_TRUE(!option.value || examples.count(option.value)) << "no example of " << option.value;
            EXPECT_EQ(runQuietly(wordsWith(option), &said), cli::kExitOk) << said;
            EXPECT_TRUE(lastAsked.count(option.name)) << "the parser never reads it";
            for (const std::string& asked : lastAsked) EXPECT_TRUE(listed.count(asked)) << asked << " is not in the table";
        }
        for (const auto& [other, option] : everyOption) {
            if (listed.count(other)) continue;
            SCOPED_TRACE(name + " " + other);
            EXPECT_EQ(runQuietly(wordsWith(option), &said), cli::kExitUsage);
            EXPECT_NE(said.find("unknown option " + other), std::string::npos) << said;
            EXPECT_TRUE(lastAsked.empty()) << "the command ran";
        }
    }
}

}  // namespace
