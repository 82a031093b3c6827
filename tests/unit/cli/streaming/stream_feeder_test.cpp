#include "streaming/stream_feeder.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "wav/wav_file.h"

namespace {

// Takes at most `room` frames a call, then nothing, or answers that the stream ended.
struct TakingWriter : cli::FrameWriter {
    TakingWriter(std::size_t bytes, std::size_t frames, bool ends) : frameBytes(bytes), room(frames), endWhenFull(ends) {}
    std::size_t frameBytes, room;
    bool endWhenFull;
    std::vector<std::uint8_t> got;
    std::int32_t write(const void* frames, std::int32_t count, std::int32_t) override {
        const std::size_t free = room - got.size() / frameBytes;
        if (free == 0 && endWhenFull) return cli::kSourceEnded;
        const auto n = std::min<std::size_t>(free, static_cast<std::size_t>(count));
        got.insert(got.end(), static_cast<const std::uint8_t*>(frames),
                   static_cast<const std::uint8_t*>(frames) + n * frameBytes);
        return static_cast<std::int32_t>(n);
    }
};

// The frames of a play go to the stream in order, in blocks of any size; after a
// stream ended, the next one gets them from the place the last frame played; a
// file that does not loop is written out at its end, a looping one goes round.
TEST(CliStreamFeeder, EachStreamGetsThePlayFromWhereTheLastOnePlayed) {
    constexpr unsigned kFrames = 50;
    const struct {
        const char* name;
        bool loop;
        std::size_t firstRoom;  // frames the first stream takes before it ends
        std::uint64_t played;   // of them, played
        std::size_t secondRoom;
        bool writtenOut;
    } cases[] = {
        {"to the end without a reset", false, 80, 0, 0, true},
        {"a reset part way", false, 30, 17, 80, true},
        {"a reset before anything played", false, 30, 0, 80, true},
        {"looping through a reset", true, 30, 29, 90, false},
    };
    std::vector<std::uint8_t> bytes;
    for (unsigned k = 0; k < kFrames * 2; ++k) bytes.push_back(static_cast<std::uint8_t>(k * 7 + 1));
    const std::string path = ::testing::TempDir() + "stream_feeder.wav";
    std::string error;
    ASSERT_TRUE(cli::writeWav(path, 1, 48000, 16, bytes, &error, 1)) << error;
    cli::PlaybackPlan plan;
    plan.file = path;
    ASSERT_TRUE(cli::readWavInfo(path, &plan.wav, &error)) << error;
    plan.routes = {{0, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        plan.loop = c.loop;
        cli::StreamFeeder feeder(plan, false, 7);
        cli::PlaybackFrames frames(plan, false);
        const auto expect = [&](std::uint64_t at, std::size_t count) {
            std::vector<std::uint8_t> want(count * 4);
            want.resize(static_cast<std::size_t>(frames.fill(at, count, want.data(), &error)) * 4);
            return want;
        };
        TakingWriter first(4, c.firstRoom, c.secondRoom > 0);
        ASSERT_TRUE(feeder.feed(first, 0)) << feeder.error();
        ASSERT_TRUE(feeder.feed(first, 0)) << feeder.error();  // nothing more taken, or the end
        EXPECT_EQ(first.got, expect(0, c.firstRoom));
        if (c.secondRoom > 0) {
            EXPECT_TRUE(feeder.ended());
            feeder.restartAt(c.played);
            TakingWriter second(4, c.secondRoom, false);
            ASSERT_TRUE(feeder.feed(second, 0)) << feeder.error();
            EXPECT_EQ(feeder.base(), c.played);
            EXPECT_EQ(second.got, expect(c.played, c.secondRoom));
        }
        EXPECT_EQ(feeder.writtenOut(), c.writtenOut);
    }
    std::remove(path.c_str());
}

}  // namespace
