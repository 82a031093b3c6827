// The stream at its edges: where written frames play after an underrun and read
// frames lie after skipped periods, a reset request or a stall that wakes every
// waiter, PlayAndRecord's own stream, full queues, and the end that comes last.
#include <chrono>
#include <cstring>
#include <functional>
#include <random>
#include <thread>

#include "asiochan.h"
#include "engine/driver_requests.h"
#include "engine/seam.h"
#include "fileplay/wav_files.h"
#include "simdriver/core/input_pattern.h"
#include "support/stream_fixture.h"

namespace asiochan {
namespace {

constexpr AsioLong P = 32;  // frames per period
using Clock = std::chrono::steady_clock;

AsiochanStreamConfig nativeConfig(std::int32_t inputs, std::int32_t outputs, std::int32_t ringFrames) {
    auto c = testing::sized<AsiochanStreamConfig>();
    c.format = ASIOCHAN_STREAM_NATIVE;
    c.inputCount = inputs;
    c.outputCount = outputs;
    c.ringFrames = ringFrames;
    for (std::int32_t i = 0; i < 64; ++i) c.inputs[i] = c.outputs[i] = static_cast<std::uint8_t>(i);
    return c;
}

std::int64_t msSince(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

// Blocks that add up: each block's position is the previous one's plus its frames
// plus the block's `lost`.
struct Chain {
    std::uint64_t next = 0;
    std::uint64_t lost = 0;
    std::vector<AsiochanStreamEvent> events;
    void add(const AsiochanStreamBlock& b, std::int32_t moved) {
        EXPECT_EQ(b.position, next + b.lost) << "a block that does not follow the one before";
        next = b.position + static_cast<std::uint64_t>(std::max(moved, 0));
        lost += b.lost;
        events.insert(events.end(), b.events, b.events + b.eventCount);
    }
    std::uint64_t framesOf(std::uint32_t code) const {
        std::uint64_t n = 0;
        for (const auto& e : events) n += e.code == code ? e.frames : 0;
        return n;
    }
};

class StreamEdgesTest : public testing::StreamTest {
public:
    void TearDown() override {
        seam::setHandler(nullptr);
        CloseStream();
        StreamTest::TearDown();
    }
    void stepOnce() { driver_->clock().step(1); }
    // Input 0's Int32LSB sample at the driver's frame k.
    static std::int32_t inputAt(std::uint64_t k) {
        std::uint32_t v = 0;
        for (int b = 0; b < 4; ++b) v |= std::uint32_t{sim::inputPatternByte(0, k * 4 + b)} << (8 * b);
        return static_cast<std::int32_t>(v);
    }
    std::uint32_t playedAt(std::uint64_t k) {
        std::uint32_t v;
        std::memcpy(&v, &played(0)[k * 4], 4);
        return v;
    }
    std::uint64_t devicePosition() const { return driver_->clock().periodsRun() * P; }
    // Reads everything there is in reads of up to `most` frames, chained, each
    // frame checked against the input pattern from driver frame `start` on.
    std::int32_t readAll(Chain& chain, std::uint64_t start, std::int32_t most = 1000) {
        std::vector<std::int32_t> in(static_cast<std::size_t>(most));
        for (;;) {
            auto b = testing::sized<AsiochanStreamBlock>();
            const std::int32_t n = ReadStream(in.data(), most, 0, &b);
            chain.add(b, n);
            for (std::int32_t f = 0; f < n; ++f)
                if (in[f] != inputAt(start + b.position + f)) {
                    ADD_FAILURE() << "position " << b.position + f << " does not hold its frame";
                    return n;
                }
            if (n <= 0) return n;
        }
    }
};

// After an underrun still going on, a block is told where its first frame will
// really play and `lost` counts the silence up to there; over writes of every
// size and underruns of every length, every frame plays at the position told.
TEST_F(StreamEdgesTest, WrittenFramesPlayWhereTheirBlockSays) {
    prepareRun(smallDriver(1, 1, P));
    const AsiochanStreamConfig c = nativeConfig(0, 1, 4 * P);
    ASSERT_EQ(OpenStream(&c), ASE_OK);
    std::vector<std::uint64_t> told;  // written frame -> its position
    Chain chain;
    auto write = [&](std::int32_t count) {
        std::vector<std::uint32_t> f(std::size_t(count) + 1);
        for (std::int32_t i = 0; i < count; ++i) f[i] = static_cast<std::uint32_t>(told.size() + i + 1);
        auto b = testing::sized<AsiochanStreamBlock>();
        const std::int32_t n = WriteStream(f.data(), count, 0, &b);
        chain.add(b, n);
        for (std::int32_t i = 0; i < n; ++i) told.push_back(b.position + i);
        return b;
    };
    write(2 * P + 22);
    ASSERT_EQ(StartStream(), ASE_OK);
    const std::uint64_t start = devicePosition();
    step(4);
    const AsiochanStreamBlock b = write(100);
    EXPECT_EQ(b.position, 4u * P) << "the next period plays it, not the old write cursor";
    EXPECT_EQ(b.lost, 2u * P - 22);
    std::mt19937 random(42);
    for (int round = 0; round < 300; ++round) {
        write(static_cast<std::int32_t>(random() % (3 * P)));
        step(random() % 4);
    }
    for (std::size_t w = 0; w < told.size(); ++w) {
        if (start + told[w] >= played(0).size() / 4) continue;
        ASSERT_EQ(playedAt(start + told[w]), w + 1) << "written frame " << w << " told at " << told[w];
    }
    auto st = testing::sized<AsiochanStreamState>();
    ASSERT_EQ(GetStreamState(&st), ASE_OK);
    EXPECT_EQ(st.underrun, chain.lost + (st.position - std::min(st.position, chain.next)));
}

// Periods the driver skips are a gap of their whole length in the reader's blocks
// and in their event: every frame read lies at the position told.
TEST_F(StreamEdgesTest, ReadFramesLieWhereTheirBlockSaysAcrossSkips) {
    prepareRun(smallDriver(1, 1, P));
    const AsiochanStreamConfig c = nativeConfig(1, 0, 8 * P);
    ASSERT_EQ(OpenStream(&c), ASE_OK);
    ASSERT_EQ(StartStream(), ASE_OK);
    const std::uint64_t start = devicePosition();
    std::mt19937 random(7);
    std::uint64_t skipped = 0;
    Chain chain;
    for (int round = 0; round < 200; ++round) {
        if (round > 0 && random() % 5 == 0) {  // a skip is seen between two periods
            const std::uint32_t k = 1 + random() % 3;
            driver_->clock().skipPeriods(k);
            skipped += k;
        }
        step(1 + random() % 2);
        readAll(chain, start, static_cast<std::int32_t>(1 + random() % (2 * P)));
    }
    ASSERT_GT(skipped, 0u);
    EXPECT_EQ(chain.framesOf(ASIOCHAN_REQUEST_SKIPPED_PERIODS), skipped * P);
    EXPECT_EQ(chain.lost, skipped * P);
    auto st = testing::sized<AsiochanStreamState>();
    ASSERT_EQ(GetStreamState(&st), ASE_OK);
    EXPECT_EQ(chain.next, st.position);
}

// A reset request ends the stream at once, with no period after it: waiting calls
// return, the end tells the first frame not moved, and a stream started after the
// request ends at its start.
TEST_F(StreamEdgesTest, AResetRequestEndsTheStreamAtOnce) {
    prepareRun(smallDriver(1, 1, P));
    const AsiochanStreamConfig c = nativeConfig(1, 1, 4 * P);
    ASSERT_EQ(OpenStream(&c), ASE_OK);
    std::vector<std::int32_t> f(16 * P);
    ASSERT_EQ(WriteStream(f.data(), 4 * P, 0, nullptr), 4 * P);
    ASSERT_EQ(StartStream(), ASE_OK);
    step(2);
    const auto t0 = Clock::now();
    std::int32_t read = 0, written = 0;
    std::thread reader([&] { read = ReadStream(f.data(), 8 * P, 5000, nullptr); });
    std::thread writer([&] { written = WriteStream(f.data() + 8 * P, 4 * P, 5000, nullptr); });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    testing::engine().requests.note(kRequestReset);  // the driver asks, then calls back no more
    reader.join();
    writer.join();
    EXPECT_LT(msSince(t0), 2000) << "the waiting calls returned at the request";
    EXPECT_EQ(read, 2 * P);
    EXPECT_EQ(written, 2 * P);
    for (const bool reading : {true, false}) {
        auto b = testing::sized<AsiochanStreamBlock>();
        EXPECT_EQ(reading ? ReadStream(f.data(), 1, 0, &b) : WriteStream(f.data(), 1, 0, &b), ASIOCHAN_STREAM_ENDED);
        ASSERT_GE(b.eventCount, 1u);
        EXPECT_EQ(b.events[b.eventCount - 1].code, ASIOCHAN_STREAM_EVENT_END);
        EXPECT_EQ(b.events[b.eventCount - 1].position, 2u * P);
    }
    auto st = testing::sized<AsiochanStreamState>();
    ASSERT_EQ(GetStreamState(&st), ASE_OK);
    EXPECT_EQ(st.flags, ASIOCHAN_STREAM_OPEN | ASIOCHAN_STREAM_ENDED_FLAG);
    ASSERT_EQ(CloseStream(), ASE_OK);
    ASSERT_EQ(OpenStream(&c), ASE_OK);
    ASSERT_EQ(StartStream(), ASE_OK);
    auto b = testing::sized<AsiochanStreamBlock>();
    EXPECT_EQ(ReadStream(f.data(), 1, 5000, &b), ASIOCHAN_STREAM_ENDED) << "started after the request";
    ASSERT_EQ(b.eventCount, 1u);
    EXPECT_EQ(b.events[0].position, 0u);
}

// No period for a second: a waiting read returns what it moved with STALL, the
// writer is told once, a later call waits again, and the next stall (after
// periods came back) is told again; the stream stays open and running.
TEST_F(StreamEdgesTest, AStallWakesEveryWaiterOncePerStall) {
    prepareRun(smallDriver(1, 1, P));
    const AsiochanStreamConfig c = nativeConfig(1, 1, 4 * P);
    ASSERT_EQ(OpenStream(&c), ASE_OK);
    ASSERT_EQ(StartStream(), ASE_OK);
    step(1);
    std::vector<std::int32_t> f(16 * P);
    auto stalls = [](const AsiochanStreamBlock& b) {
        std::vector<std::uint64_t> at;
        for (std::uint32_t i = 0; i < b.eventCount; ++i)
            if (b.events[i].code == ASIOCHAN_STREAM_EVENT_STALL) at.push_back(b.events[i].position);
        return at;
    };
    for (int stall = 1; stall <= 2; ++stall) {
        SCOPED_TRACE(stall);
        auto b = testing::sized<AsiochanStreamBlock>();
        const auto t0 = Clock::now();
        EXPECT_EQ(ReadStream(f.data(), 8 * P, -1, &b), P) << "what it moved";
        EXPECT_GE(msSince(t0), 900);
        EXPECT_EQ(stalls(b), std::vector<std::uint64_t>{std::uint64_t(stall) * P});
        EXPECT_EQ(WriteStream(f.data(), 1, 0, &b), 1);
        EXPECT_EQ(stalls(b), std::vector<std::uint64_t>{std::uint64_t(stall) * P}) << "the writer is told too";
        EXPECT_EQ(WriteStream(f.data(), 1, 0, &b), 1);
        EXPECT_TRUE(stalls(b).empty()) << "once";
        const auto t1 = Clock::now();
        EXPECT_EQ(ReadStream(f.data(), 1, 200, &b), 0);
        EXPECT_GE(msSince(t1), 150) << "a later call waits again";
        EXPECT_TRUE(stalls(b).empty());
        auto st = testing::sized<AsiochanStreamState>();
        ASSERT_EQ(GetStreamState(&st), ASE_OK);
        EXPECT_EQ(st.flags, ASIOCHAN_STREAM_OPEN | ASIOCHAN_STREAM_RUNNING);
        step(1);  // periods come back, then stop again
    }
}

// PlayAndRecord's stream is its own: other threads cannot close, open over, read
// or write it; a stop, a Finish or a Prepare ends the call early with what it
// recorded, and the call closes its own stream, never another one opened since.
TEST_F(StreamEdgesTest, PlayAndRecordOwnsItsStream) {
    struct Case {
        const char* name;
        std::function<void()> end;
        std::uint32_t flagsAfter;  // of the stream the seam opened, if it could
    };
    const Case cases[] = {{"StopStream", [] { StopStream(); }, 0},
                          {"Finish", [] { Finish(); }, 0},
                          {"Prepare", [] { Prepare(); }, ASIOCHAN_STREAM_OPEN}};
    static AsiochanStreamConfig c = nativeConfig(1, 1, 0);
    seam::setHandler([](const char* where) {
        if (std::strcmp(where, "play and record: before the close") == 0) OpenStream(&c);
    });
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        prepareRun(smallDriver(1, 1, P), {true, 1000});
        std::vector<std::int32_t> recorded(48000);
        std::atomic<std::int32_t> result{1};
        std::thread call([&] {
            result = PlayAndRecord(&c, nullptr, 0, recorded.data(), 48000, -1, nullptr);
        });
        auto st = testing::sized<AsiochanStreamState>();
        ASSERT_TRUE(testing::waitUntil("the call's stream to record", [&] {
            return GetStreamState(&st) == ASE_OK && st.recorded > 0;
        }));
        std::int32_t f[4];
        EXPECT_EQ(CloseStream(), ASE_InvalidMode);
        EXPECT_EQ(OpenStream(&c), ASE_InvalidMode);
        EXPECT_EQ(StartStream(), ASE_InvalidMode);
        EXPECT_EQ(ReadStream(f, 1, 0, nullptr), ASE_InvalidMode);
        EXPECT_EQ(WriteStream(f, 1, 0, nullptr), ASE_InvalidMode);
        k.end();
        ASSERT_TRUE(testing::waitUntil("the call to return", [&] { return result.load() != 1; }));
        call.join();
        EXPECT_GT(result.load(), 0) << "what it recorded";
        ASSERT_EQ(GetStreamState(&st), ASE_OK);
        EXPECT_EQ(st.flags, k.flagsAfter);
        CloseStream();
        Finish();
    }
}

// PlayAndRecord keeps every recorded frame at its stream position, the frames of
// a gap (skipped periods) silent and told by the state's counts; a stall ends a
// take without a time bound: the call stops, closes and returns what it recorded.
TEST_F(StreamEdgesTest, PlayAndRecordKeepsPositionsAndEndsAtAStall) {
    struct Case {
        const char* name;
        std::uint32_t skip;  // periods skipped after the first two
        bool stall;          // the clock stops after three periods
    };
    const Case cases[] = {{"periods skipped", 3, false}, {"a stall", 0, true}};
    const AsiochanStreamConfig c = nativeConfig(1, 0, 4 * P);
    const std::int32_t frames = 8 * P;
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        prepareRun(smallDriver(1, 1, P));
        std::vector<std::int32_t> rec(frames, -1);
        auto last = testing::sized<AsiochanStreamState>();
        std::atomic<std::int32_t> result{1};
        std::thread call([&] { result = PlayAndRecord(&c, nullptr, 0, rec.data(), frames, -1, &last); });
        auto st = testing::sized<AsiochanStreamState>();
        ASSERT_TRUE(testing::waitUntil("the call's stream to run", [&] {
            return GetStreamState(&st) == ASE_OK && (st.flags & ASIOCHAN_STREAM_RUNNING) != 0;
        }));
        const std::uint64_t start = devicePosition();
        // One period at a time, each read before the next: no frame is dropped.
        for (int period = 0; result.load() == 1 && period < (k.stall ? 3 : 100); ++period) {
            if (period == 2 && k.skip != 0) driver_->clock().skipPeriods(k.skip);
            step(1);
            ASSERT_TRUE(testing::waitUntil("the period to be read", [&] {
                return result.load() != 1 || (GetStreamState(&st) == ASE_OK && st.readable == 0);
            }));
        }
        const bool ended = testing::waitUntil("the call to return", [&] { return result.load() != 1; });
        if (!ended) StopStream();  // so that the call returns and the next case can run
        call.join();
        ASSERT_TRUE(ended);
        ASSERT_EQ(result.load(), k.stall ? 3 * P : frames);
        for (std::int32_t f = 0; f < result.load(); ++f) {
            const bool gap = f >= 2 * P && f < std::int32_t(2 + k.skip) * P;
            ASSERT_EQ(rec[f], gap ? 0 : inputAt(start + f)) << "frame " << f;
        }
        EXPECT_EQ(last.position - last.recorded - last.dropped, std::uint64_t{k.skip} * P) << "the gap told";
        EXPECT_EQ(last.flags, k.stall ? ASIOCHAN_STREAM_OPEN | ASIOCHAN_STREAM_ENDED_FLAG
                                      : ASIOCHAN_STREAM_OPEN | ASIOCHAN_STREAM_RUNNING);
        ASSERT_EQ(GetStreamState(&st), ASE_OK);
        EXPECT_EQ(st.flags, 0u) << "closed";
        Finish();
    }
}

// The end comes last and tells the first frame not moved, also for a write that
// races the stop; a full gap queue loses no gap; a full event queue keeps the 64
// oldest and counts the rest, and the end still comes.
TEST_F(StreamEdgesTest, TheEndComesLastAndEveryGapAndEventAddsUp) {
    StreamEvents queue;
    for (std::uint32_t i = 0; i < 70; ++i) queue.push(i, i, i);
    AsiochanStreamEvent e{};
    for (std::uint32_t i = 0; i < 64; ++i) ASSERT_TRUE(queue.pop(e) && e.code == i) << "the oldest stay, in order";
    EXPECT_FALSE(queue.pop(e));
    EXPECT_EQ(queue.takeLost(), 6u);

    // 70 skipped periods, none read: the gap queue and the event queue fill.
    prepareRun(smallDriver(1, 1, P));
    AsiochanStreamConfig c = nativeConfig(1, 1, 80 * P);
    ASSERT_EQ(OpenStream(&c), ASE_OK);
    std::vector<std::int32_t> f(100 * P);
    ASSERT_EQ(WriteStream(f.data(), 80 * P, 0, nullptr), 80 * P);  // no underrun
    ASSERT_EQ(StartStream(), ASE_OK);
    const std::uint64_t start = devicePosition();
    step(1);
    for (int i = 0; i < 70; ++i) {
        driver_->clock().skipPeriods(1);
        step(1);
    }
    ASSERT_EQ(StopStream(), ASE_OK);
    Chain reads;
    std::uint32_t eventsLost = 0;
    for (int i = 0; i < 200 && (reads.events.empty() || reads.events.back().code != ASIOCHAN_STREAM_EVENT_END); ++i) {
        auto b = testing::sized<AsiochanStreamBlock>();
        const std::int32_t n = ReadStream(f.data(), 100 * P, 0, &b);
        reads.add(b, n);
        eventsLost += b.eventsLost;
        for (std::int32_t k = 0; k < n; ++k) ASSERT_EQ(f[k], inputAt(start + b.position + k));
    }
    auto st = testing::sized<AsiochanStreamState>();
    ASSERT_EQ(GetStreamState(&st), ASE_OK);
    EXPECT_EQ(reads.next, st.position) << "frames read and lost add up to the position";
    EXPECT_EQ(reads.lost, 70u * P + st.dropped);
    EXPECT_EQ(eventsLost, 6u);
    ASSERT_FALSE(reads.events.empty());
    EXPECT_EQ(reads.events.back().code, ASIOCHAN_STREAM_EVENT_END);
    EXPECT_EQ(reads.events.back().position, st.position);
    ASSERT_EQ(CloseStream(), ASE_OK);

    // A write racing the stop: the underrun comes before the end, the end at the position.
    c = nativeConfig(0, 1, 4 * P);
    ASSERT_EQ(OpenStream(&c), ASE_OK);
    ASSERT_EQ(StartStream(), ASE_OK);
    step(2);
    static std::vector<AsiochanStreamEvent> writes;
    writes.clear();
    auto write = [] {
        auto b = testing::sized<AsiochanStreamBlock>();
        EXPECT_EQ(WriteStream(&b, 1, 0, &b), ASIOCHAN_STREAM_ENDED);
        writes.insert(writes.end(), b.events, b.events + b.eventCount);
    };
    static void (*writeNow)() = write;
    seam::setHandler([](const char* where) {
        if (std::strcmp(where, "stop: after the phase") == 0) writeNow();
    });
    ASSERT_EQ(StopStream(), ASE_OK);
    seam::setHandler(nullptr);
    write();
    std::vector<std::uint32_t> codes;
    for (const auto& ev : writes) codes.push_back(ev.code);
    EXPECT_EQ(codes, (std::vector<std::uint32_t>{ASIOCHAN_STREAM_EVENT_UNDERRUN, ASIOCHAN_STREAM_EVENT_END}));
    EXPECT_EQ(writes.back().position, 2u * P);
}

// GetStreamState with a period between its counts: every field is of one moment.
// A reader running inside a period, between its copy and its count, reads only
// frames already written.
TEST_F(StreamEdgesTest, StateAndReadsInTheMiddleOfAPeriod) {
    static StreamEdgesTest* self = nullptr;
    static const char* at = nullptr;
    static Chain chain;
    static std::uint64_t start = 0;
    self = this;
    chain = {};
    seam::setHandler([](const char* where) {
        if (at == nullptr || std::strcmp(where, at) != 0) return;
        at = nullptr;  // once
        if (std::strcmp(where, "state: between the counts") == 0)
            self->stepOnce();
        else
            self->readAll(chain, start);
    });
    prepareRun(smallDriver(1, 1, P));
    const AsiochanStreamConfig c = nativeConfig(1, 1, 4 * P);
    ASSERT_EQ(OpenStream(&c), ASE_OK);
    ASSERT_EQ(StartStream(), ASE_OK);
    start = devicePosition();
    for (int i = 0; i < 5; ++i) {
        at = "stream period: before an input's copy";
        step(1);
    }
    EXPECT_EQ(chain.next, 4u * P) << "the frames of the periods before";
    at = "state: between the counts";
    auto st = testing::sized<AsiochanStreamState>();
    ASSERT_EQ(GetStreamState(&st), ASE_OK);
    EXPECT_EQ(at, nullptr);
    EXPECT_EQ(st.position, 6u * P);
    EXPECT_EQ(st.readable, st.recorded - chain.next);
    EXPECT_EQ(st.writable, 4u * P);
    EXPECT_EQ(st.eventsPending, 0u);
}

// A started player holds its output at once: a stream cannot take it before the
// worker queues the first block.
TEST_F(StreamEdgesTest, AStartedPlayerHoldsItsOutputAtOnce) {
    static std::atomic<bool> holding{true};
    holding = true;
    seam::setHandler([](const char* where) {
        if (std::strcmp(where, "player: before a block") != 0) return;
        for (int ms = 0; ms < 5000 && holding.load(); ++ms) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    prepareRun(smallDriver(2, 1, P));
    testing::TempFolder folder;
    const std::string path = folder.write("a.wav", testing::wavBytes({1, 48000, 16}, testing::pcm16({1, 2, 3})));
    ASSERT_EQ(SingleChanelPlayStart(path.c_str(), 1, 0), 1);
    const AsiochanStreamConfig c = nativeConfig(0, 2, 0);
    EXPECT_EQ(OpenStream(&c), ASE_NotPresent);
    holding = false;
    SingleChanelPlayStop();
}

}  // namespace
}  // namespace asiochan
