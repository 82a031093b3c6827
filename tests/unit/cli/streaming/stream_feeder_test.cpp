#include "streaming/stream_feeder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

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
// stream ended, the next one gets them from the place the last frame played (each
// reset's place counted from the one before); a file that does not loop is
// written out at its end, a looping one goes round.
TEST(CliStreamFeeder, EachStreamGetsThePlayFromWhereTheLastOnePlayed) {
    constexpr unsigned kFrames = 50;
    struct Stream {
        std::size_t room;       // frames the stream takes; all but the last stream then end
        std::uint64_t played;   // of them, played before it ended
    };
    const struct {
        const char* name;
        bool loop;
        std::vector<Stream> streams;
        bool writtenOut;
    } cases[] = {
        {"to the end without a reset", false, {{80, 0}}, true},
        {"a reset part way", false, {{30, 17}, {80, 0}}, true},
        {"a reset before anything played", false, {{30, 0}, {80, 0}}, true},
        {"looping through a reset", true, {{30, 29}, {90, 0}}, false},
        {"two resets in one play", true, {{30, 17}, {20, 11}, {90, 0}}, false},
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
        std::uint64_t base = 0;  // the place in the play of this stream's first frame
        for (std::size_t s = 0; s < c.streams.size(); ++s) {
            SCOPED_TRACE("stream " + std::to_string(s));
            const bool last = s + 1 == c.streams.size();
            TakingWriter writer(4, c.streams[s].room, !last);
            ASSERT_TRUE(feeder.feed(writer, 0)) << feeder.error();
            ASSERT_TRUE(feeder.feed(writer, 0)) << feeder.error();  // nothing more taken, or the end
            EXPECT_EQ(feeder.base(), base);
            EXPECT_EQ(writer.got, expect(base, c.streams[s].room));
            if (last) break;
            EXPECT_TRUE(feeder.ended());
            feeder.restartAt(c.streams[s].played);
            base += c.streams[s].played;
        }
        EXPECT_EQ(feeder.writtenOut(), c.writtenOut);
    }
    std::remove(path.c_str());
}

}  // namespace
