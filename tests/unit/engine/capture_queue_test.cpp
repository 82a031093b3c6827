// Capture queues: buffers joined frame for frame at any offset of a period and any
// sample width, drops counted exactly, inputs queued together in step, the
// refusals, and the ends of a stream.
#include <deque>
#include <functional>
#include <limits>
#include <thread>

#include "asiochan.h"
#include "support/stream_fixture.h"

namespace asiochan {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::uint8_t kUntouched = 0xee;

class CaptureQueueTest : public testing::StreamTest {
protected:
    sim::SimDriver& prepare(AsioLong frames, ASIOSampleType type = ASIOSTInt32LSB, AsioLong inputs = 4) {
        sim::SimConfig config = smallDriver(2, inputs, frames);
        config.inputType = type;
        sim::SimDriver& d = prepareRun(config);
        frames_ = frames;
        width_ = engine().sampleSize[0].load();
        return d;
    }
    std::size_t periodBytes() const { return static_cast<std::size_t>(frames_ * width_); }

    // A fresh buffer of `length` bytes, kept for the whole test at a fixed address.
    Bytes& buffer(std::size_t length) { return buffers_.emplace_back(length, kUntouched); }
    static std::int32_t queue(std::initializer_list<std::pair<std::uint32_t, Bytes*>> entries) {
        std::vector<CaptureRequest> requests;
        for (const auto& [ch, b] : entries)
            requests.push_back({b->data(), static_cast<std::int32_t>(b->size()), ch});
        return QueueCaptureBuffers(requests.data(), static_cast<std::int32_t>(requests.size()));
    }
    static AsiochanCaptureQueueState state(std::uint32_t ch) {
        AsiochanCaptureQueueState s{};
        s.size = sizeof s;
        EXPECT_EQ(GetCaptureQueueState(ch, &s), ASE_OK);
        return s;
    }
    // Whether `b` holds input `ch`'s pattern from byte `offset` on for `bytes`
    // bytes, and is untouched after them.
    static ::testing::AssertionResult holds(const Bytes& b, std::uint32_t ch, std::uint64_t offset, std::size_t bytes) {
        for (std::size_t i = 0; i < b.size(); ++i) {
            const std::uint8_t want = i < bytes ? sim::inputPatternByte(ch, offset + i) : kUntouched;
            if (b[i] != want)
                return ::testing::AssertionFailure() << "byte " << i << " of " << b.size() << " is " << int(b[i])
                                                     << ", not " << int(want) << " (pattern from " << offset << ")";
        }
        return ::testing::AssertionSuccess();
    }
    std::uint64_t periodsRun() const { return driver_->clock().periodsRun(); }

    AsioLong frames_ = 0;
    std::int32_t width_ = 0;
    std::deque<Bytes> buffers_;
};

// The application keeps two buffers queued; whatever the buffers' and the
// period's sizes, the whole samples of the buffers in queue order are the input's
// stream without a gap, and the tails shorter than a sample stay untouched.
TEST_F(CaptureQueueTest, JoinsAtEveryOffsetOfAPeriodAreByteExact) {
    struct Row {
        ASIOSampleType type;
        AsioLong frames;        // per period
        std::size_t length;     // bytes per buffer
    };
    const Row rows[] = {
        {ASIOSTInt16LSB, 8, 18}, {ASIOSTInt16LSB, 8, 14}, {ASIOSTInt16LSB, 8, 19}, {ASIOSTInt16LSB, 2, 2},
        {ASIOSTInt24LSB, 8, 27}, {ASIOSTInt24LSB, 8, 21}, {ASIOSTInt24LSB, 8, 29}, {ASIOSTInt24LSB, 2, 3},
        {ASIOSTInt32LSB, 8, 36}, {ASIOSTInt32LSB, 8, 28}, {ASIOSTInt32LSB, 8, 39}, {ASIOSTInt32LSB, 2, 4},
    };
    constexpr std::uint32_t kInput = 1;
    constexpr int kPeriods = 24;
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << "type " << row.type << ", period " << row.frames << ", buffer "
                                          << row.length);
        prepare(row.frames, row.type);
        buffers_.clear();
        std::vector<Bytes*> order;
        auto refill = [&] {
            while (IsCanQueueCaptureBuffer(kInput) == 1) {
                order.push_back(&buffer(row.length));
                ASSERT_EQ(queue({{kInput, order.back()}}), ASE_OK);
            }
        };
        refill();
        ASSERT_EQ(order.size(), 2u);
        StartCapture();
        const std::uint64_t first = periodsRun();
        for (int p = 0; p < kPeriods; ++p) {
            step();
            refill();
        }
        StopCapture();
        const AsiochanCaptureQueueState s = state(kInput);
        const std::size_t whole = row.length - row.length % static_cast<std::size_t>(width_);
        EXPECT_EQ(s.framesRecorded, static_cast<std::uint64_t>(kPeriods * row.frames));
        EXPECT_EQ(s.framesDropped, 0u);
        EXPECT_EQ(static_cast<std::uint64_t>(s.filledBuffers) * whole + s.filledBytes, kPeriods * periodBytes());
        std::uint64_t offset = first * periodBytes();
        for (std::size_t k = 0; k < order.size(); ++k) {
            const std::size_t bytes = k < s.filledBuffers ? whole : k == s.filledBuffers ? s.filledBytes : 0;
            EXPECT_TRUE(holds(*order[k], kInput, offset, bytes)) << "buffer " << k;
            offset += bytes;
        }
        Finish();
    }
}

// An application that does not queue in time: the frames that find no buffer are
// counted, and a buffer queued later starts at the first frame of the next period.
TEST_F(CaptureQueueTest, DropsAreCountedExactlyAndRecordingResumesAtAPeriodStart) {
    struct Row {
        const char* what;
        std::int32_t bufferFrames;
        int late;  // periods run with only the two first buffers
        std::uint64_t recordedLate, droppedLate;
        std::uint64_t recordedAfter, droppedAfter;  // after one more buffer and one more period
    };
    const Row rows[] = {
        // 20 frames fill periods 0, 1 and half of 2; then 2 more periods dry.
        {"dry inside a period", 10, 5, 20, 20, 28, 20},
        {"dry at a period's end", 8, 3, 16, 8, 24, 8},
        {"one-frame buffers", 1, 1, 2, 6, 3, 13},
    };
    constexpr std::uint32_t kInput = 2;
    prepare(8);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ASSERT_EQ(Prepare(), ASE_OK);
        const std::size_t length = static_cast<std::size_t>(row.bufferFrames * width_);
        Bytes& a = buffer(length);
        Bytes& b = buffer(length);
        ASSERT_EQ(queue({{kInput, &a}}), ASE_OK);
        ASSERT_EQ(queue({{kInput, &b}}), ASE_OK);
        StartCapture();
        const std::uint64_t first = periodsRun();
        step(static_cast<std::uint64_t>(row.late));
        AsiochanCaptureQueueState s = state(kInput);
        EXPECT_EQ(s.framesRecorded, row.recordedLate);
        EXPECT_EQ(s.framesDropped, row.droppedLate);
        EXPECT_EQ(s.filledBuffers, 2u);
        EXPECT_EQ(IsCaptureRunning(), 1);  // a stream waiting for a buffer still records
        EXPECT_EQ(IsPortCaptureRunning(kInput), 1);
        EXPECT_TRUE(holds(a, kInput, first * periodBytes(), length));
        EXPECT_TRUE(holds(b, kInput, first * periodBytes() + length, length));

        Bytes& c = buffer(length);
        ASSERT_EQ(queue({{kInput, &c}}), ASE_OK);
        step();
        s = state(kInput);
        EXPECT_EQ(s.framesRecorded, row.recordedAfter);
        EXPECT_EQ(s.framesDropped, row.droppedAfter);
        const std::size_t inC = std::min(length, periodBytes());
        EXPECT_TRUE(holds(c, kInput, (first + static_cast<std::uint64_t>(row.late)) * periodBytes(), inC));
        StopCapture();
    }
}

// Buffers queued by one call reach the periods in one step, whether the inputs
// are new, ran dry, or some of each: a driver running free, and each round's
// buffers must start at the same offset of every input's stream.
TEST_F(CaptureQueueTest, InputsQueuedTogetherStayInStep) {
    sim::SimConfig config = smallDriver(2, 4, 16);
    config.keepCallLog = false;
    sim::SimDriver& d = install(config);
    d.clock().options().freeRunning = true;
    d.clock().options().periodMicros = 100;
    ASSERT_EQ(Initialize(), ASE_OK);
    ASSERT_EQ(Prepare(), ASE_OK);
    frames_ = 16;
    width_ = 4;
    const std::size_t length = 3 * periodBytes() + 4;  // 49 frames: joins inside periods
    for (int round = 0; round < 60; ++round) {
        SCOPED_TRACE(round);
        const int kind = round % 3;  // 0: all new; 1: all ran dry; 2: input 0 ran dry, 1 to 3 new
        if (kind != 1) StopCapture();
        if (kind == 2) {
            const std::uint64_t dropped = state(0).framesDropped;
            ASSERT_EQ(queue({{0, &buffer(periodBytes())}}), ASE_OK);
            StartCapture();
            ASSERT_TRUE(testing::waitUntil("input 0 to run dry", [&] { return state(0).framesDropped > dropped; }));
        }
        Bytes* got[4] = {&buffer(length), &buffer(length), &buffer(length), &buffer(length)};
        std::uint32_t filledBefore[4];
        for (std::uint32_t ch = 0; ch < 4; ++ch) filledBefore[ch] = state(ch).filledBuffers;
        const std::uint64_t periodsBefore = periodsRun();
        ASSERT_EQ(queue({{0, got[0]}, {1, got[1]}, {2, got[2]}, {3, got[3]}}), ASE_OK);
        StartCapture();
        ASSERT_TRUE(testing::waitUntil("the round's buffers to fill", [&] {
            for (std::uint32_t ch = 0; ch < 4; ++ch)
                if (state(ch).filledBuffers == filledBefore[ch]) return false;
            return true;
        }));
        // Where input 0's buffer starts in its stream (at the start of a period run
        // since the call; the pattern repeats over longer stretches), and the others there too.
        const std::uint64_t periods = periodsRun();
        std::uint64_t offset = UINT64_MAX;
        for (std::uint64_t p = periodsBefore; p < periods && offset == UINT64_MAX; ++p)
            if (holds(*got[0], 0, p * periodBytes(), length)) offset = p * periodBytes();
        ASSERT_NE(offset, UINT64_MAX) << "input 0's buffer starts at no period";
        for (std::uint32_t ch = 1; ch < 4; ++ch) EXPECT_TRUE(holds(*got[ch], ch, offset, length)) << "input " << ch;
    }
}

// The refusals that depend on the inputs' state; a refused call queues nothing.
TEST_F(CaptureQueueTest, RefusalsQueueNothing) {
    prepare(8);
    Bytes& good = buffer(64);
    Bytes& other = buffer(64);
    ASSERT_EQ(SetCaptureBuffer(buffer(64).data(), 64, 3), ASE_OK);  // input 3 armed
    Bytes& streaming = buffer(64);
    ASSERT_EQ(queue({{2, &streaming}}), ASE_OK);
    ASSERT_EQ(queue({{2, &buffer(64)}}), ASE_OK);  // input 2's queue is full
    AsiochanCaptureQueueState s{};
    using Call = std::function<std::int32_t()>;
    auto entries = [&](std::vector<CaptureRequest> r) -> Call {
        return [r] { return QueueCaptureBuffers(r.data(), static_cast<std::int32_t>(r.size())); };
    };
    auto sized = [&](std::uint32_t size, std::uint32_t ch) -> Call {
        return [&s, size, ch] {
            s = AsiochanCaptureQueueState{};
            s.size = size;
            return GetCaptureQueueState(ch, &s);
        };
    };
    const CaptureRequest ok{good.data(), 64, 0};
    const struct Row {
        const char* what;
        Call call;
        std::int32_t expected;
    } rows[] = {
        // Bad arguments in every phase of a run: the careless-caller table.
        {"length shorter than a sample", entries({ok, {other.data(), 3, 1}}), ASE_InvalidParameter},
        {"an armed input", entries({ok, {other.data(), 64, 3}}), ASE_NotPresent},
        {"an input not freed since load", entries({ok, {other.data(), 64, 9}}), ASE_NotPresent},
        {"a buffer already waiting", entries({ok, {other.data(), 64, 2}}), ASE_InvalidMode},
        {"SetCaptureBuffer on a stream", [&] { return SetCaptureBuffer(other.data(), 64, 2); }, ASE_NotPresent},
        {"IsCanQueueCaptureBuffer(full)", [] { return std::int32_t{IsCanQueueCaptureBuffer(2)}; }, 0},
        {"IsCanQueueCaptureBuffer(armed)", [] { return std::int32_t{IsCanQueueCaptureBuffer(3)}; }, 0},
        {"GetCaptureQueueState(size 31)", sized(31, 0), ASE_InvalidParameter},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(row.call(), row.expected);
        EXPECT_EQ(IsPortCaptureRunning(0), 0);
        EXPECT_EQ(IsPortCaptureRunning(1), 0);
        EXPECT_EQ(IsCanQueueCaptureBuffer(0), 1);
        EXPECT_EQ(good, Bytes(64, kUntouched));
        EXPECT_EQ(other, Bytes(64, kUntouched));
        EXPECT_EQ(s.filledBuffers + s.filledBytes, 0u) << "a refused state read wrote";
    }
    // A larger size is taken: the first 32 bytes are filled and the size says so.
    EXPECT_EQ(sized(1000, 2)(), ASE_OK);
    EXPECT_EQ(s.size, 32u);
    // A queue that succeeds takes all of its entries.
    EXPECT_EQ(queue({{0, &good}, {1, &other}}), ASE_OK);
    EXPECT_EQ(IsPortCaptureRunning(0) + IsPortCaptureRunning(1), 2);

    // No input width known: every queue is refused.
    Finish();
    sim::SimConfig c = smallDriver(2, 2, 8);
    c.inputType = ASIOSTDSDInt8LSB1;
    prepareRun(c);
    EXPECT_EQ(queue({{0, &buffer(64)}}), ASE_InvalidMode);
    EXPECT_EQ(IsCanQueueCaptureBuffer(0), 0);
}

// What ends a stream: its buffers keep what was recorded, nothing writes them
// afterwards, and its counts stay readable until Prepare. A reset request holds it.
TEST_F(CaptureQueueTest, WhatEndsAStreamAndWhatHoldsIt) {
    struct Row {
        const char* what;
        bool started;
        std::function<void(sim::SimDriver&)> act;
        bool ends;
        bool countsCleared;
    };
    Bytes taker(64, kUntouched);
    const Row rows[] = {
        {"StopCapture before the start", false, [](sim::SimDriver&) { StopCapture(); }, true, false},
        {"StopCapture", true, [](sim::SimDriver&) { StopCapture(); }, true, false},
        {"Finish", true, [](sim::SimDriver&) { Finish(); }, true, false},
        {"Prepare", true, [](sim::SimDriver&) { Prepare(); }, true, true},
        {"CaptureBuff on the input", true,
         [&taker](sim::SimDriver&) {
             const CaptureRequest r{taker.data(), 64, 1};
             CaptureBuff(&r, 1);
         },
         true, false},
        {"a reset request", true, [](sim::SimDriver& d) { d.clock().sendNotices(sim::kNoticeReset); }, false,
         false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        prepare(8);
        Bytes armed(64, kUntouched);
        ASSERT_EQ(SetCaptureBuffer(armed.data(), 64, 2), ASE_OK);
        Bytes& a = buffer(5 * periodBytes());
        Bytes& b = buffer(5 * periodBytes());
        ASSERT_EQ(queue({{1, &a}}), ASE_OK);
        ASSERT_EQ(queue({{1, &b}}), ASE_OK);
        if (row.started) StartCapture();
        const std::uint64_t first = periodsRun();
        step(3);
        const AsiochanCaptureQueueState before = state(1);
        const Bytes aBefore = a;
        row.act(*driver_);
        if (engine().runPrepared.load() != 0) step(2);
        EXPECT_EQ(hasChannel(engine().streamingInputs.load(), 1), !row.ends);
        EXPECT_EQ(a, aBefore) << "written after its stream ended";
        EXPECT_EQ(b, Bytes(5 * periodBytes(), kUntouched));
        const std::uint64_t recorded = row.started ? 3u * static_cast<std::uint64_t>(frames_) : 0u;
        EXPECT_TRUE(holds(a, 1, first * periodBytes(), recorded * static_cast<std::uint64_t>(width_)));
        const AsiochanCaptureQueueState after = state(1);
        EXPECT_EQ(before.framesRecorded, recorded);
        EXPECT_EQ(after.framesRecorded, row.countsCleared ? 0u : recorded);
        EXPECT_EQ(after.filledBytes, row.countsCleared ? 0u : recorded * static_cast<std::uint64_t>(width_));
        EXPECT_EQ(after.framesDropped, 0u);
        // An armed capture outlives a StopCapture made before the start.
        if (!row.started) {
            EXPECT_EQ(IsPortCaptureRunning(2), 1);
        }
        Finish();
    }
}

}  // namespace
}  // namespace asiochan
