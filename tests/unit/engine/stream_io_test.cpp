// The stream read and written like a file: exact positions across odd sizes and
// ring wraps, gaps of exact length and place, the joint start, the driver's
// notices, timeouts, calls from other threads while a read or write waits, and
// the channel claims.
#include <cstring>
#include <functional>
#include <thread>

#include "asiochan.h"
#include "engine/seam.h"
#include "simdriver/core/input_pattern.h"
#include "support/stream_fixture.h"

namespace asiochan {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr AsioLong kFrames = 32;

AsiochanStreamConfig streamConfig(std::int32_t format, std::vector<std::uint8_t> inputs,
                                  std::vector<std::uint8_t> outputs, std::int32_t ringFrames = 0) {
    AsiochanStreamConfig c{};
    c.size = sizeof c;
    c.format = format;
    c.inputCount = static_cast<std::int32_t>(inputs.size());
    c.outputCount = static_cast<std::int32_t>(outputs.size());
    c.ringFrames = ringFrames;
    std::copy(inputs.begin(), inputs.end(), c.inputs);
    std::copy(outputs.begin(), outputs.end(), c.outputs);
    return c;
}

// Byte b of input `channel`'s Int32LSB sample at stream position k.
std::uint8_t patternAt(std::uint8_t channel, std::uint64_t k, int b) {
    return sim::inputPatternByte(channel, k * 4 + b);
}

class StreamIoTest : public testing::StreamTest {
protected:
    void TearDown() override {
        CloseStream();
        StreamTest::TearDown();
    }
    AsiochanStreamBlock block_ = testing::sized<AsiochanStreamBlock>();

    std::vector<AsiochanStreamEvent> events() const { return {block_.events, block_.events + block_.eventCount}; }
};

// Reads and writes of odd sizes through rings that wrap many times: frame k of
// the input pattern is read at position k, and written frame k plays at k.
TEST_F(StreamIoTest, PositionsExactAcrossOddSizesAndWraps) {
    prepareRun(smallDriver(2, 2, kFrames));
    const std::vector<std::uint8_t> inputs{1, 0}, outputs{1, 0};
    const AsiochanStreamConfig c = streamConfig(ASIOCHAN_STREAM_NATIVE, inputs, outputs, 3 * kFrames + 5);
    ASSERT_EQ(OpenStream(&c), ASE_OK);
    // Written frame k holds k in output 1 and ~k in output 0.
    std::uint32_t nextOut = 0;
    auto writeSome = [&](std::int32_t n) {
        std::vector<std::uint32_t> f(2 * n);
        for (std::int32_t i = 0; i < n; ++i) f[2 * i] = nextOut + i, f[2 * i + 1] = ~(nextOut + i);
        const std::int32_t w = WriteStream(f.data(), n, 0, &block_);
        ASSERT_GE(w, 0);
        EXPECT_EQ(block_.position, nextOut);
        nextOut += static_cast<std::uint32_t>(w);
    };
    writeSome(2 * kFrames);  // the prefill
    ASSERT_EQ(StartStream(), ASE_OK);
    std::uint64_t nextIn = 0;
    const std::int32_t sizes[] = {7, 13, 1, 29, 31, 64, 3};
    for (int period = 0; period < 40; ++period) {
        step(1);
        for (std::int32_t size : sizes) {
            Bytes got(std::size_t(size) * 8);
            const std::int32_t n = ReadStream(got.data(), size, 0, &block_);
            ASSERT_GE(n, 0);
            if (n == 0) break;
            EXPECT_EQ(block_.position, nextIn);
            EXPECT_EQ(block_.lost, 0u);
            for (std::int32_t f = 0; f < n; ++f)
                for (int i = 0; i < 2; ++i)
                    for (int b = 0; b < 4; ++b)
                        ASSERT_EQ(got[std::size_t(f) * 8 + i * 4 + b], patternAt(inputs[i], nextIn + f, b))
                            << "frame " << nextIn + f;
            nextIn += static_cast<std::uint64_t>(n);
        }
        writeSome(sizes[period % 7] + 20);
    }
    EXPECT_EQ(nextIn, 40u * kFrames);
    auto st = testing::sized<AsiochanStreamState>();
    ASSERT_EQ(GetStreamState(&st), ASE_OK);
    EXPECT_EQ(st.position, 40u * kFrames);
    EXPECT_EQ(st.underrun, 0u);
    EXPECT_EQ(st.dropped, 0u);
    const Bytes& out1 = played(1);
    const Bytes& out0 = played(0);
    ASSERT_EQ(out1.size(), 40u * kFrames * 4);
    for (std::uint32_t k = 0; k < 40 * kFrames; ++k) {
        std::uint32_t a, b;
        std::memcpy(&a, &out1[k * 4], 4);
        std::memcpy(&b, &out0[k * 4], 4);
        ASSERT_EQ(a, k) << "output 1 at position " << k;
        ASSERT_EQ(b, ~k) << "output 0 at position " << k;
    }
}

// A full input ring drops the newest frames, an empty output ring plays silence:
// each hole has its exact length and place, in the next block's `lost` and in
// its event, and the frames after it are where they belong.
TEST_F(StreamIoTest, GapsHaveExactLengthAndPlace) {
    prepareRun(smallDriver(1, 1, kFrames));
    const AsiochanStreamConfig c = streamConfig(ASIOCHAN_STREAM_NATIVE, {0}, {0}, 2 * kFrames + 8);
    ASSERT_EQ(OpenStream(&c), ASE_OK);
    ASSERT_EQ(StartStream(), ASE_OK);
    step(5);  // 72 frames recorded, 88 dropped from 72; 160 frames of silence from 0
    Bytes in(4 * 1000);
    ASSERT_EQ(ReadStream(in.data(), 1000, 0, &block_), 2 * kFrames + 8);
    EXPECT_EQ(block_.position, 0u);
    const std::vector<std::uint32_t> tone(50, 0x01020304u);
    auto w = testing::sized<AsiochanStreamBlock>();
    ASSERT_EQ(WriteStream(tone.data(), 50, 0, &w), 50);
    EXPECT_EQ(w.position, 160u) << "where the device stands: the next period plays it";
    EXPECT_EQ(w.lost, 160u) << "the silence played before it";
    step(1);
    auto st = testing::sized<AsiochanStreamState>();
    ASSERT_EQ(GetStreamState(&st), ASE_OK);
    EXPECT_EQ(st.readable, kFrames) << "what the next read moves, past the gap it takes first";
    ASSERT_EQ(ReadStream(in.data(), 1000, 0, &block_), kFrames);
    EXPECT_EQ(block_.position, 160u);
    EXPECT_EQ(block_.lost, 88u);
    EXPECT_EQ(in[0], patternAt(0, 160, 0));
    struct Expected {
        std::uint32_t code, frames;
        std::uint64_t position;
    };
    const auto has = [&](const Expected& e) {
        for (const AsiochanStreamEvent& ev : events())
            if (ev.code == e.code && ev.frames == e.frames && ev.position == e.position) return true;
        return false;
    };
    EXPECT_TRUE(has({ASIOCHAN_STREAM_EVENT_OVERFLOW, 88, 72}));
    EXPECT_TRUE(has({ASIOCHAN_STREAM_EVENT_UNDERRUN, 160, 0}));
    step(1);
    ASSERT_EQ(WriteStream(tone.data(), 1, 0, &w), 1);
    EXPECT_EQ(w.position, 224u);
    EXPECT_EQ(w.lost, 14u) << "the silence after the tone";
    // The tone plays from position 160 exactly: 50 frames, then silence again.
    const Bytes& out = played(0);
    for (std::size_t k = 0; k < out.size() / 4; ++k) {
        std::uint32_t v;
        std::memcpy(&v, &out[k * 4], 4);
        ASSERT_EQ(v, k >= 160 && k < 210 ? 0x01020304u : 0u) << "position " << k;
    }
    st = testing::sized<AsiochanStreamState>();
    ASSERT_EQ(GetStreamState(&st), ASE_OK);
    EXPECT_EQ(st.dropped, 88u);
    EXPECT_EQ(st.underrun, 160u + 14u) << "and 14 frames after the tone";
}

// The driver's notices are events for the reader and for the writer, once each;
// a reset request ends the stream: the reader gets every frame recorded before
// it and then the end, the writer the end at once.
TEST_F(StreamIoTest, NoticesAreEventsAndAResetEndsTheStream) {
    prepareRun(smallDriver(1, 1, kFrames));
    const AsiochanStreamConfig c = streamConfig(ASIOCHAN_STREAM_INT32, {0}, {0});
    ASSERT_EQ(OpenStream(&c), ASE_OK);
    ASSERT_EQ(StartStream(), ASE_OK);
    step(2);
    driver_->clock().sendNotices(sim::kNoticeSampleRate, 44100.0);
    step(1);
    driver_->clock().sendNotices(sim::kNoticeReset);
    step(2);
    std::vector<std::int32_t> in(1000);
    auto w = testing::sized<AsiochanStreamBlock>();
    EXPECT_EQ(WriteStream(in.data(), 10, -1, &w), ASIOCHAN_STREAM_ENDED);
    EXPECT_EQ(ReadStream(in.data(), 1000, -1, &block_), 3 * kFrames);
    EXPECT_EQ(ReadStream(in.data(), 1000, -1, &block_), ASIOCHAN_STREAM_ENDED);
    for (const AsiochanStreamBlock* b : {&w, &block_}) {
        std::vector<std::uint32_t> codes;
        for (std::uint32_t i = 0; i < b->eventCount; ++i) codes.push_back(b->events[i].code);
        if (b == &block_) {
            // The reader got its notices with the first block; here is the end.
            ASSERT_EQ(codes, (std::vector<std::uint32_t>{ASIOCHAN_STREAM_EVENT_END}));
            EXPECT_EQ(b->events[0].position, 3u * kFrames);
        } else {
            EXPECT_EQ(codes, (std::vector<std::uint32_t>{ASIOCHAN_REQUEST_SAMPLE_RATE, ASIOCHAN_REQUEST_RESET,
                                                         ASIOCHAN_STREAM_EVENT_UNDERRUN, ASIOCHAN_STREAM_EVENT_END}));
            EXPECT_EQ(b->events[1].position, 3u * kFrames);
        }
    }
    EXPECT_EQ(GetDriverRequests(), ASIOCHAN_REQUEST_SAMPLE_RATE | ASIOCHAN_REQUEST_RESET) << "unaffected by the stream";
}

// Calls from another thread end a read or a write that waits without a limit.
TEST_F(StreamIoTest, OtherThreadsEndAWaitingReadOrWrite) {
    struct Case {
        const char* name;
        std::function<void()> call;
    };
    const Case cases[] = {{"StopStream", [] { StopStream(); }},
                          {"CloseStream", [] { CloseStream(); }},
                          {"Finish", [] { Finish(); }},
                          {"Prepare", [] { Prepare(); }}};
    for (const Case& k : cases) {
        for (bool reading : {true, false}) {
            SCOPED_TRACE(std::string(k.name) + (reading ? " while reading" : " while writing"));
            prepareRun(smallDriver(1, 1, kFrames));
            const AsiochanStreamConfig c = streamConfig(ASIOCHAN_STREAM_FLOAT32, {0}, {0}, 2 * kFrames);
            ASSERT_EQ(OpenStream(&c), ASE_OK);
            std::vector<float> f(4 * kFrames);
            ASSERT_EQ(WriteStream(f.data(), 2 * kFrames, 0, nullptr), 2 * kFrames);  // the ring is full
            ASSERT_EQ(StartStream(), ASE_OK);
            std::atomic<std::int32_t> result{1};
            std::thread waiter([&] {
                result = reading ? ReadStream(f.data(), 1, -1, nullptr) : WriteStream(f.data(), 1, -1, nullptr);
            });
            // Most often the call is waiting by now; the result is the same if not.
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            k.call();
            ASSERT_TRUE(testing::waitUntil("the waiting call to return", [&] { return result.load() != 1; }));
            waiter.join();
            EXPECT_TRUE(result == ASIOCHAN_STREAM_ENDED || result == ASE_InvalidMode) << result.load();
            CloseStream();
            Finish();
        }
    }
}

// Bad configurations and calls out of order answer their codes and change nothing.
TEST_F(StreamIoTest, RefusalsAnswerTheirCodes) {
    AsiochanStreamConfig good = streamConfig(ASIOCHAN_STREAM_INT32, {0, 1}, {1});
    EXPECT_EQ(OpenStream(&good), ASE_InvalidMode) << "no run prepared";
    sim::SimConfig d = smallDriver(2, 2, kFrames);
    d.inputTypes = {ASIOSTInt32LSB, ASIOSTInt32LSB24};
    d.outputTypes = {ASIOSTInt16LSB, ASIOSTInt32LSB};  // output 0 is not of the run's width
    prepareRun(d);
    struct Case {
        const char* what;
        std::function<void(AsiochanStreamConfig&)> change;
        std::int32_t code;
    };
    const Case cases[] = {
        {"short size", [](AsiochanStreamConfig& c) { c.size = 151; }, ASE_InvalidParameter},
        {"unknown format", [](AsiochanStreamConfig& c) { c.format = 3; }, ASE_InvalidParameter},
        {"count above 64", [](AsiochanStreamConfig& c) { c.inputCount = 65; }, ASE_InvalidParameter},
        {"channel past the driver's", [](AsiochanStreamConfig& c) { c.inputs[1] = 2; }, ASE_InvalidParameter},
        {"channel named twice", [](AsiochanStreamConfig& c) { c.inputs[1] = 0; }, ASE_InvalidParameter},
        {"native, mixed types", [](AsiochanStreamConfig& c) { c.format = ASIOCHAN_STREAM_NATIVE; },
         ASE_InvalidParameter},
        {"negative ring", [](AsiochanStreamConfig& c) { c.ringFrames = -1; }, ASE_InvalidParameter},
        {"ring above 60 s", [](AsiochanStreamConfig& c) { c.ringFrames = 60 * 48000 + 1; }, ASE_InvalidParameter},
        {"ring below two periods", [](AsiochanStreamConfig& c) { c.ringFrames = 2 * kFrames - 1; },
         ASE_InvalidParameter},
        {"reserved set", [](AsiochanStreamConfig& c) { c.reserved = 1; }, ASE_InvalidParameter},
        {"no channels", [](AsiochanStreamConfig& c) { c.inputCount = c.outputCount = 0; }, ASE_InvalidParameter},
        {"a channel of another width, INT32", [](AsiochanStreamConfig& c) { c.outputs[0] = 0; },
         ASE_InvalidParameter},
        {"a channel of another width, FLOAT32",
         [](AsiochanStreamConfig& c) { c.outputs[0] = 0, c.format = ASIOCHAN_STREAM_FLOAT32; }, ASE_InvalidParameter},
    };
    for (const Case& k : cases) {
        AsiochanStreamConfig c = good;
        k.change(c);
        EXPECT_EQ(OpenStream(&c), k.code) << k.what;
    }
    EXPECT_EQ(OpenStream(nullptr), ASE_InvalidParameter);
    EXPECT_EQ(StartStream(), ASE_InvalidMode);
    EXPECT_EQ(ReadStream(nullptr, 0, 0, nullptr), ASE_InvalidMode);
    ASSERT_EQ(OpenStream(&good), ASE_OK);
    EXPECT_EQ(OpenStream(&good), ASE_InvalidMode) << "a stream is open";
    std::int32_t f[4];
    AsiochanStreamBlock shortBlock = testing::sized<AsiochanStreamBlock>();
    shortBlock.size = 159;
    EXPECT_EQ(ReadStream(f, 1, -2, nullptr), ASE_InvalidParameter);
    EXPECT_EQ(ReadStream(f, -1, 0, nullptr), ASE_InvalidParameter);
    EXPECT_EQ(ReadStream(f, 1, 0, &shortBlock), ASE_InvalidParameter);
    EXPECT_EQ(ReadStream(f, 1, 0, nullptr), 0) << "nothing recorded yet";
    // A timeout runs out with nothing to read: 0 frames.
    ASSERT_EQ(StartStream(), ASE_OK);
    EXPECT_EQ(StartStream(), ASE_InvalidMode) << "started once";
    EXPECT_EQ(ReadStream(f, 1, 20, nullptr), 0);
    ASSERT_EQ(StopStream(), ASE_OK);
    EXPECT_EQ(StartStream(), ASE_InvalidMode) << "a stopped stream does not start again";
    EXPECT_EQ(ReadStream(f, 1, -1, nullptr), ASIOCHAN_STREAM_ENDED);
}

// The stream's channels are the stream's, and the channel API's are not the stream's.
TEST_F(StreamIoTest, ChannelClaimsBothWays) {
    prepareRun(smallDriver(2, 2, kFrames));
    Bytes buffer(4 * kFrames);
    ASSERT_EQ(SetCaptureBuffer(buffer.data(), 4 * kFrames, 1), ASE_OK);
    ASSERT_EQ(SetPlayBuffer(buffer.data(), 4 * kFrames, 1), ASE_OK);
    AsiochanStreamConfig c = streamConfig(ASIOCHAN_STREAM_NATIVE, {1}, {0});
    EXPECT_EQ(OpenStream(&c), ASE_NotPresent) << "an armed input";
    c = streamConfig(ASIOCHAN_STREAM_NATIVE, {0}, {1});
    EXPECT_EQ(OpenStream(&c), ASE_NotPresent) << "an output holding a buffer";
    c = streamConfig(ASIOCHAN_STREAM_NATIVE, {0}, {0});
    ASSERT_EQ(OpenStream(&c), ASE_OK);
    EXPECT_EQ(SetCaptureBuffer(buffer.data(), 4, 0), ASE_NotPresent);
    const CaptureRequest r{buffer.data(), 4, 0};
    EXPECT_EQ(CaptureBuff(&r, 1), ASE_NotPresent);
    EXPECT_EQ(SetPlayBuffer(buffer.data(), 4, 0), ASE_NotPresent);
    EXPECT_EQ(IsPortCaptureRunning(0), 1);
    EXPECT_EQ(IsPortPlaybackRunning(0), 1);
    StopCapture();
    StopPlayback();
    auto st = testing::sized<AsiochanStreamState>();
    ASSERT_EQ(GetStreamState(&st), ASE_OK);
    EXPECT_EQ(st.flags, ASIOCHAN_STREAM_OPEN) << "the channel stops leave the stream alone";
    ASSERT_EQ(CloseStream(), ASE_OK);
    EXPECT_EQ(IsPortCaptureRunning(0), 0);
    EXPECT_EQ(IsPortPlaybackRunning(0), 0);
    EXPECT_EQ(SetPlayBuffer(buffer.data(), 4, 0), ASE_OK);
}

// A period held in its middle past the stops' waits: StopCapture hands back no
// input that period may still write, and CloseStream frees no ring under it; once
// it is done the input reads free and the next open frees the rings (the
// sanitizers watch both).
TEST_F(StreamIoTest, AStuckPeriodAtAStopKeepsWhatItMayStillTouch) {
    static std::atomic<bool> holding{false}, inside{false};
    seam::setHandler([](const char* where) {
        if (!holding.load() || std::strcmp(where, "period: after the copies") != 0) return;
        inside = true;
        for (int ms = 0; ms < 10000 && holding.load(); ++ms) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    prepareRun(smallDriver(2, 2, kFrames));
    const AsiochanStreamConfig c = streamConfig(ASIOCHAN_STREAM_NATIVE, {0}, {0});
    ASSERT_EQ(OpenStream(&c), ASE_OK);
    ASSERT_EQ(StartStream(), ASE_OK);
    Bytes armed(64 * kFrames * 4);
    ASSERT_EQ(SetCaptureBuffer(armed.data(), static_cast<std::int32_t>(armed.size()), 1), ASE_OK);
    StartCapture();
    step(1);
    holding = true;
    std::thread held([this] { driver_->clock().step(1); });
    EXPECT_TRUE(testing::waitUntil("a period to be held", [] { return inside.load(); }));
    StopCapture();
    EXPECT_EQ(IsPortCaptureRunning(1), 1) << "handed back while a period may still write it";
    EXPECT_EQ(CloseStream(), ASE_OK);
    holding = false;
    held.join();
    seam::setHandler(nullptr);
    EXPECT_EQ(IsPortCaptureRunning(1), 0);
    ASSERT_EQ(OpenStream(&c), ASE_OK);
}

}  // namespace
}  // namespace asiochan
