#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/progress_line.h"
#include "console/usage.h"

namespace {

cli::Arguments parsed(std::vector<const char*> words, const std::vector<std::string>& valueOptions) {
    words.insert(words.begin(), "asiochan");
    std::string error;
    cli::Arguments args = cli::parseArguments(static_cast<int>(words.size()), const_cast<char**>(words.data()),
                                              valueOptions, &error);
    EXPECT_EQ(error, "");
    return args;
}

// A command takes --help and its own options; the first other one is named.
TEST(CliUsage, OptionsACommandDoesNotTakeAreNamed) {
    const cli::CommandHelp capture{"capture", "", "", "", "", {{"--seconds", "S", ""}, {"--loud", nullptr, ""}}};
    const cli::CommandHelp play{"play", "", "", "", "", {{"--loop", nullptr, ""}, {"--volume", "V", ""}}};
    const std::vector<std::string> values = cli::valueOptions({&capture, &play});
    EXPECT_EQ(values, (std::vector<std::string>{"--seconds", "--volume"}));
    const struct {
        std::vector<const char*> words;
        const char* unknown;
    } cases[] = {
        {{"capture", "x.wav", "--seconds", "1", "--loud"}, ""},
        {{"capture", "--help"}, ""},
        {{"capture", "x.wav", "--seconds", "1", "--bogus"}, "--bogus"},
        {{"capture", "x.wav", "--loop"}, "--loop"},
        {{"capture", "x.wav", "--hz", "3"}, "--hz"},
        {{"capture", "-h", "--volume", "2"}, "--volume"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(cli::unknownOption(parsed(c.words, values), capture), c.unknown) << c.words.back();
}

// On a console every state is written in place; in a log at most one line a
// second, and the last state is never lost.
TEST(CliProgress, ALogGetsOneLineASecondAndTheLastState) {
    cli::ProgressLine log(false);
    EXPECT_EQ(log.show("  ", 0.0, 10, nullptr, 5000), "   00:00.0 / 00:10.0\n");
    EXPECT_EQ(log.show("  ", 0.5, 10, nullptr, 5500), "");
    EXPECT_EQ(log.show("  ", 0.9, 10, "1.0 MiB written", 5999), "");
    EXPECT_EQ(log.interrupt(6001), "   00:00.9 / 00:10.0, 1.0 MiB written\n");
    EXPECT_EQ(log.interrupt(6002), "");
    EXPECT_EQ(log.show("  ", 1.5, 0, nullptr, 6500), "");
    EXPECT_EQ(log.show("  ", 2.0, 0, nullptr, 7001), "   00:02.0\n");
    EXPECT_EQ(log.end(7002), "");
    EXPECT_EQ(log.show("  ", 65.3, 0, nullptr, 7100), "");
    EXPECT_EQ(log.end(7101), "   01:05.3\n");

    cli::ProgressLine console(true);
    EXPECT_EQ(console.interrupt(0), "");
    EXPECT_EQ(console.show("  ", 0.0, 0, nullptr, 0), "\r   00:00.0");
    EXPECT_EQ(console.show("  ", 0.1, 0, nullptr, 1), "\r   00:00.1");
    EXPECT_EQ(console.interrupt(2), "\n");
    EXPECT_EQ(console.interrupt(3), "");
    EXPECT_EQ(console.end(4), "\n");
}

}  // namespace
