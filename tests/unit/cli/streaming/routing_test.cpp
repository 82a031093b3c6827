#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "streaming/routing.h"

namespace {

using cli::Route;

std::string text(const std::vector<Route>& routes) {
    std::string out;
    for (const Route& r : routes) out += std::to_string(r.fileChannel) + ":" + std::to_string(r.output) + " ";
    return out;
}

cli::WavInfo fileOf(std::uint16_t channels) {
    cli::WavInfo wav;
    wav.channels = channels;
    return wav;
}

// --channels and --map against the file: the routes made, or the refusal and its reason.
TEST(CliRouting, RoutesFollowTheListOrMapOrAreRefused) {
    const struct {
        const char* what;
        std::uint16_t fileChannels;
        std::vector<unsigned> list;  // used when map is null
        const char* map;
        const char* routes;  // null: refused
        const char* reason;
    } cases[] = {
        {"one-to-one in the order listed", 2, {5, 3}, nullptr, "0:5 1:3 ", ""},
        {"a mono file on every output", 1, {0, 2, 4}, nullptr, "0:0 0:2 0:4 ", ""},
        {"fewer outputs than file channels", 3, {0, 1}, nullptr, nullptr, "has 3 channels but --channels lists 2"},
        {"more outputs than file channels", 2, {0, 1, 2}, nullptr, nullptr, "or give --map"},
        {"a map in its order", 2, {}, "1:4,0:5", "1:4 0:5 ", ""},
        {"a map of a channel the file lacks", 2, {}, "0:1,2:3", nullptr, "maps file channel 2, but x.wav has 2"},
        {"a map without a colon", 2, {}, "0-1", nullptr, "bad --map \"0-1\""},
        {"a map with an empty pair", 2, {}, "0:1,", nullptr, "bad --map"},
    };
    for (const auto& c : cases) {
        std::vector<Route> routes;
        testing::internal::CaptureStderr();
        const bool made = c.map ? cli::routesFromMap(c.map, fileOf(c.fileChannels), "x.wav", "--map", &routes)
                                : cli::routesFromList(c.list, fileOf(c.fileChannels), "x.wav", "--channels", "--map",
                                                      &routes);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(made, c.routes != nullptr) << c.what;
        if (c.routes) {
            EXPECT_EQ(text(routes), c.routes) << c.what;
        }
        EXPECT_NE(said.find(c.reason), std::string::npos) << c.what << ": " << said;
    }
}

// The routes against a driver of 4 outputs of one type: each exists, is named
// once and has a type the players can write.
TEST(CliRouting, OutputsExistAreNamedOnceAndWritable) {
    constexpr std::int32_t kInt32 = 18, kNoWidth = 99, kUntold = -1;
    const struct {
        const char* what;
        std::vector<Route> routes;
        std::int32_t type;
        const char* reason;  // "" when taken
    } cases[] = {
        {"four outputs", {{0, 0}, {1, 1}, {0, 2}, {1, 3}}, kInt32, ""},
        {"one past the last", {{0, 1}, {1, 4}}, kInt32, "output channel 4 does not exist (the driver has 4 outputs)"},
        {"an output named twice in a row", {{0, 3}, {0, 2}, {1, 2}}, kInt32, "output channel 2 is named twice"},
        {"an output named twice apart", {{0, 2}, {1, 3}, {1, 2}}, kInt32, "output channel 2 is named twice"},
        {"a type the players cannot write", {{0, 1}}, kNoWidth, "output channel 1 has sample type unknown"},
        {"a type the driver does not tell", {{0, 0}}, kUntold, ""},
    };
    for (const auto& c : cases) {
        testing::internal::CaptureStderr();
        const bool taken = cli::checkRouteOutputs(c.routes, 4, [&](unsigned) { return c.type; });
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(taken, *c.reason == '\0') << c.what;
        EXPECT_NE(said.find(c.reason), std::string::npos) << c.what << ": " << said;
    }
}

}  // namespace
