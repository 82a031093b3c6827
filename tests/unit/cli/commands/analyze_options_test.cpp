// The analyze command's checks before its take, without a driver: the pairs
// against the driver's channels, their widths and the limits file, and the
// folders of the files it is to write.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "commands/analyze_options.h"
#include "console/exit_codes.h"

namespace {

TEST(AnalyzeChecks, PairsAgainstTheDriverAndTheLimits) {
    std::vector<int> widths(18, 4);
    widths[17] = 2;
    const struct {
        const char* pairs;   // null: the default pairs
        const char* limits;  // null: no limits file
        int outputs, inputs;
        int code;
        const char* says;  // on stderr
    } rows[] = {
        {nullptr, nullptr, 8, 8, cli::kGoOn, ""},
        {nullptr, nullptr, 0, 8, cli::kExitUsage, "the driver has no output and input to pair"},
        {"0:0,9:9", nullptr, 8, 8, cli::kExitUsage, "pair 9:9 does not exist (the driver has 8 outputs, 8 inputs)"},
        {"0:0,1:1", "{\"pairs\": {\"1:1\": {\"gain_db\": {\"min\": 0}}}}", 8, 8, cli::kGoOn, ""},
        {"0:0,1:1", "{\n  \"pairs\": {\n    \"9:9\": {\"gain_db\": {\"min\": 0}}\n  }\n}", 8, 8, cli::kExitUsage,
         "bad limits file \"l.json\": line 3: pair 9:9 is not measured in this run"},
        {"0:0,1:17", nullptr, 8, 18, cli::kExitUsage,
         "inputs 0 and 17 move at different widths (4 and 2 bytes a sample)"},
        {"0:0,1:16", nullptr, 8, 18, cli::kGoOn, ""},
    };
    for (const auto& row : rows) {
        cli::AnalyzeRequest req;
        cli::Limits limits;
        std::string error;
        if (row.pairs) {
            req.pairs.emplace();
            ASSERT_TRUE(cli::parsePairs(row.pairs, &*req.pairs, &error));
        }
        if (row.limits) {
            req.limitsPath = "l.json";
            ASSERT_TRUE(cli::parseLimits(row.limits, &limits, &error)) << error;
        }
        cli::DriverChannels driver{row.outputs, row.inputs, std::vector<int>(8, 4), widths};
        std::vector<cli::ChannelPair> pairs;
        testing::internal::CaptureStderr();
        EXPECT_EQ(cli::choosePairs(req, limits, driver, &pairs), row.code) << row.pairs;
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find(row.says), std::string::npos) << said;
        EXPECT_EQ(said.empty(), row.code == cli::kGoOn) << said;
    }
}

// A path whose folder is missing, or that is a folder, stops the command before
// the take; a good one leaves nothing behind.
TEST(AnalyzeChecks, OutputFoldersBeforeTheTake) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("asiochan-analyze-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const struct {
        fs::path json, junit, report;
        int code;
    } rows[] = {
        {dir / "r.json", dir / "r.xml", dir / "r.html", cli::kGoOn},
        {dir / "r.json", dir / "missing" / "r.xml", "", cli::kExitUsage},
        {"", "", dir, cli::kExitUsage},
    };
    for (const auto& row : rows) {
        cli::AnalyzeRequest req;
        req.json = row.json.string();
        req.junit = row.junit.string();
        req.report = row.report.string();
        testing::internal::CaptureStderr();
        EXPECT_EQ(cli::checkOutputFolders(req), row.code) << req.junit << " " << req.report;
        EXPECT_EQ(testing::internal::GetCapturedStderr().empty(), row.code == cli::kGoOn);
    }
    EXPECT_TRUE(fs::is_empty(dir));
    fs::remove_all(dir);
}

}  // namespace
