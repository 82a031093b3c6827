// A period run between the publishing steps of an application's call (the host
// build's seams, src/engine/seam.h): whatever step the period falls between, the
// stream's positions stay exact and its outputs never play what was not written,
// and the channel API's arm, queue and joint start take effect whole, in one
// period. A new seam point is one more row.
#include <cstring>

#include "asiochan.h"
#include "engine/seam.h"
#include "simdriver/core/input_pattern.h"
#include "support/stream_fixture.h"

namespace asiochan {
namespace {

constexpr AsioLong kFrames = 16;

class SeamTest : public testing::StreamTest {
protected:
    void SetUp() override {
        StreamTest::SetUp();
        current_ = this;
        seam::setHandler(&SeamTest::reached);
    }
    void TearDown() override {
        seam::setHandler(nullptr);
        current_ = nullptr;
        CloseStream();
        StreamTest::TearDown();
    }
    // The first time a call reaches `where`, one period runs there.
    void periodAt(const char* where) {
        where_ = where;
        hits_ = 0;
    }
    static void reached(const char* where) {
        SeamTest* t = current_;
        if (t != nullptr && t->where_ != nullptr && std::strcmp(where, t->where_) == 0 && t->hits_++ == 0)
            t->driver_->clock().step(1);
    }
    std::uint32_t inputAt(std::uint64_t driverFrame) const {
        std::uint32_t v = 0;
        for (int b = 0; b < 4; ++b) v |= std::uint32_t{sim::inputPatternByte(0, driverFrame * 4 + b)} << (8 * b);
        return v;
    }
    std::uint32_t playedAt(std::uint64_t driverFrame) {
        std::uint32_t v;
        std::memcpy(&v, &played(0)[driverFrame * 4], 4);
        return v;
    }

    static inline SeamTest* current_ = nullptr;
    const char* where_ = nullptr;
    int hits_ = 0;
};

TEST_F(SeamTest, StreamCallsWithAPeriodBetweenTheirSteps) {
    const char* const points[] = {"open: before the channels", "open: before the rings",    "start: before the phase",
                                  "write: before the copy",    "write: before the count",   "read: before the copy",
                                  "read: before the count",    "state: between the counts", "stop: after the phase"};
    for (const char* point : points) {
        SCOPED_TRACE(point);
        prepareRun(smallDriver(1, 1, kFrames));
        periodAt(point);
        auto c = testing::sized<AsiochanStreamConfig>();
        c.inputCount = c.outputCount = 1;
        c.ringFrames = 3 * kFrames;  // full before the first read: a count published early shows
        ASSERT_EQ(OpenStream(&c), ASE_OK);
        ASSERT_EQ(StartStream(), ASE_OK);
        const std::uint64_t start = driver_->clock().periodsRun() * kFrames;  // position 0
        step(1);
        std::vector<std::uint32_t> tone(3 * kFrames);
        for (std::uint32_t k = 0; k < tone.size(); ++k) tone[k] = 1000 + k;
        ASSERT_EQ(WriteStream(tone.data(), static_cast<std::int32_t>(tone.size()), 0, nullptr), 3 * kFrames);
        std::uint64_t next = 0;  // the position of the next frame, gaps counted
        auto b = testing::sized<AsiochanStreamBlock>();
        std::vector<std::uint32_t> in(1000);
        auto readAll = [&] {
            for (;;) {
                const std::int32_t n = ReadStream(in.data(), 7, 0, &b);
                next += n >= 0 || n == ASIOCHAN_STREAM_ENDED ? b.lost : 0;
                if (n <= 0) return n;
                EXPECT_EQ(b.position, next);
                for (std::int32_t f = 0; f < n; ++f)
                    if (in[f] != inputAt(start + next + f)) {
                        ADD_FAILURE() << "position " << next + f << " does not hold its frame";
                        return n;
                    }
                next += static_cast<std::uint64_t>(n);
            }
        };
        step(3);
        readAll();
        // One moment's counts: every frame the device passed was recorded or dropped, played or not.
        auto now = testing::sized<AsiochanStreamState>();
        ASSERT_EQ(GetStreamState(&now), ASE_OK);
        EXPECT_EQ(now.position, now.recorded + now.dropped);
        EXPECT_EQ(now.position, now.played + now.underrun);
        step(2);
        ASSERT_EQ(StopStream(), ASE_OK);
        EXPECT_EQ(readAll(), ASIOCHAN_STREAM_ENDED);
        auto st = testing::sized<AsiochanStreamState>();
        ASSERT_EQ(GetStreamState(&st), ASE_OK);
        EXPECT_EQ(next, st.position) << "every frame the stream passed was read or told as lost";
        // The writer's events tell where its frames began to play.
        auto w = testing::sized<AsiochanStreamBlock>();
        ASSERT_EQ(WriteStream(tone.data(), 1, 0, &w), ASIOCHAN_STREAM_ENDED);
        ASSERT_GE(w.eventCount, 1u);
        ASSERT_EQ(w.events[0].code, ASIOCHAN_STREAM_EVENT_UNDERRUN);
        ASSERT_EQ(w.events[0].position, 0u);
        const std::uint64_t late = w.events[0].frames;
        EXPECT_EQ(late % kFrames, 0u);
        EXPECT_EQ(w.events[w.eventCount - 1].code, ASIOCHAN_STREAM_EVENT_END);
        EXPECT_EQ(w.events[w.eventCount - 1].position, st.position);
        // Before the stream, silence; then silence until the frames, the frames, silence.
        for (std::uint64_t d = 0; d < played(0).size() / 4; ++d) {
            const std::uint64_t r = d - start;
            const std::uint32_t want =
                d >= start && r >= late && r < late + tone.size() ? 1000 + std::uint32_t(r - late) : 0;
            ASSERT_EQ(playedAt(d), want) << "driver frame " << d;
        }
        EXPECT_GE(hits_, 1) << "no call reached the seam";
        CloseStream();
        Finish();
    }
}

// Arming, queueing two blocks and the joint start, each with a period in the
// middle: the capture and the playback begin whole, in the same period.
TEST_F(SeamTest, ChannelCallsWithAPeriodBetweenTheirSteps) {
    const char* const points[] = {"arm: before the key field", "play: before the key field", "queue: before the block",
                                  "start: before the run flags", "word: changed"};
    for (const char* point : points) {
        SCOPED_TRACE(point);
        prepareRun(smallDriver(1, 1, kFrames));
        periodAt(point);
        std::vector<std::uint32_t> captured(8 * kFrames), a(4 * kFrames), b(4 * kFrames);
        for (std::uint32_t k = 0; k < a.size(); ++k) a[k] = 1 + k, b[k] = 5000 + k;
        ASSERT_EQ(SetCaptureBuffer(captured.data(), static_cast<std::int32_t>(captured.size() * 4), 0), ASE_OK);
        ASSERT_EQ(SetPlayBuffer(a.data(), static_cast<std::int32_t>(a.size() * 4), 0), ASE_OK);
        ASSERT_EQ(SetPlayBuffer(b.data(), static_cast<std::int32_t>(b.size() * 4), 0), ASE_OK);
        StartCaptureAndPlayback();
        // After the run flags changed, the period run inside the start is the
        // take's first: it saw them all.
        const bool afterFlags = std::strcmp(point, "word: changed") == 0 && hits_ > 0;
        const std::uint64_t start = (driver_->clock().periodsRun() - (afterFlags ? 1 : 0)) * kFrames;
        step(9);
        EXPECT_GE(hits_, 1) << "no call reached the seam";
        for (std::uint64_t d = 0; d < played(0).size() / 4; ++d) {
            const std::uint64_t r = d - start;
            const std::uint32_t want = d < start ? 0 : r < a.size() ? a[r] : r < 2 * a.size() ? b[r - a.size()] : 0;
            ASSERT_EQ(playedAt(d), want) << "driver frame " << d;
        }
        for (std::uint64_t k = 0; k < captured.size(); ++k)
            ASSERT_EQ(captured[k], inputAt(start + k)) << "captured frame " << k << ": not joined with the playback";
        Finish();
    }
}

}  // namespace
}  // namespace asiochan
