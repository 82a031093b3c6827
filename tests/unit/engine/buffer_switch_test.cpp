#include "engine/callbacks.h"

#include <cstring>

#include "asiochan.h"
#include "support/allocation_counter.h"
#include "support/stream_fixture.h"

namespace asiochan {
namespace {

using Bytes = std::vector<std::uint8_t>;
using sim::Slot;
using testing::ramp;

constexpr std::size_t kPeriod = 64 * 4;

class BufferSwitchTest : public testing::StreamTest {
protected:
    sim::SimDriver& prepare(sim::SimConfig c = smallDriver(2, 2, 64), sim::ClockOptions clock = {}) {
        return prepareRun(std::move(c), clock);
    }
};

TEST_F(BufferSwitchTest, BothEntriesAndAFailingPositionQueryPlayTheSame) {
    struct Case {
        bool timeInfo;
        bool positionFails;
    };
    for (const Case k : {Case{false, false}, Case{true, false}, Case{false, true}}) {
        sim::SimConfig c = smallDriver(2, 2, 64);
        if (k.positionFails) c.failures = {{Slot::getSamplePosition, ASE_NotPresent}};
        sim::ClockOptions clock;
        clock.useTimeInfo = k.timeInfo;
        sim::SimDriver& d = prepare(c, clock);
        const Bytes a = ramp(3 * kPeriod, 17);
        ASSERT_EQ(SetPlayBuffer(a.data(), static_cast<std::int32_t>(a.size()), 1), ASE_OK);
        StartPlayback();
        step(3);
        EXPECT_EQ(played(1), a);
        EXPECT_EQ(d.callCount(Slot::getSamplePosition), k.timeInfo ? 0u : 3u);
        Finish();
        testing::freshLibrary();
    }
}

TEST_F(BufferSwitchTest, OutputReadyOnlyWhenTheDriverTakesIt) {
    for (const bool supported : {true, false}) {
        sim::SimConfig c = smallDriver(2, 2, 64);
        c.outputReadySupported = supported;
        sim::SimDriver& d = prepare(c);
        d.clearCalls();
        step(4);
        EXPECT_EQ(d.callCount(Slot::outputReady), supported ? 4u : 0u);
        Finish();
        testing::freshLibrary();
    }
}

TEST_F(BufferSwitchTest, RecordsWithoutDriverBufferAdvanceSilently) {
    prepare();
    StartPlayback();
    StopPlayback();  // resets all 64 records while running
    const Bytes a = ramp(2 * kPeriod, 1);
    ASSERT_EQ(SetPlayBuffer(a.data(), static_cast<std::int32_t>(a.size()), 7), ASE_OK);
    StartPlayback();
    step();
    EXPECT_EQ(IsPortPlaybackRunning(7), 1);
    step();
    EXPECT_EQ(IsPortPlaybackRunning(7), 0);
    EXPECT_EQ(engine().playbackRunning(), 0);
    EXPECT_EQ(played(0), Bytes(2 * kPeriod, 0));
}

// A driver that misbehaves must not make the callback write anywhere it should not.
TEST_F(BufferSwitchTest, FaultyDriverCallsAreHarmless) {
    sim::SimDriver& d = prepare();
    const Bytes a = ramp(8 * kPeriod, 1);
    ASSERT_EQ(SetPlayBuffer(a.data(), static_cast<std::int32_t>(a.size()), 0), ASE_OK);
    ASSERT_EQ(SetPlayBuffer(a.data(), static_cast<std::int32_t>(a.size()), 1), ASE_OK);
    StartPlayback();
    auto& out0 = d.buffers()[0].halves;
    auto untouched = [&] {
        std::memset(out0[0].data(), 0x7e, kPeriod);
        std::memset(out0[1].data(), 0x7e, kPeriod);
    };
    auto stillUntouched = [&] { return out0[0] == Bytes(kPeriod, 0x7e) && out0[1] == Bytes(kPeriod, 0x7e); };

    // The clock is idle between steps, so the test may play the driver itself.
    untouched();
    for (AsioLong index : {2, -1, 0x7fffffff}) {
        bufferSwitch(index, ASIOTrue);
        bufferSwitchTimeInfo(nullptr, index, ASIOTrue);
    }
    EXPECT_TRUE(stillUntouched());
    EXPECT_EQ(engine().playbackChannels[0].readOffset.load(), 0);

    // A period size that is not positive, or whose byte count does not fit 32 bits.
    for (std::int32_t frames : {0, -64, 0x20000000}) {
        engine().bufferSizePreferred = frames;
        bufferSwitch(0, ASIOTrue);
        EXPECT_TRUE(stillUntouched()) << frames;
    }
    engine().bufferSizePreferred = 64;

    // A missing half-buffer is skipped; the other channels go on.
    void* saved = engine().bufferInfoTable[0].buffers[0];
    engine().bufferInfoTable[0].buffers[0] = nullptr;
    bufferSwitch(0, ASIOTrue);
    engine().bufferInfoTable[0].buffers[0] = saved;
    EXPECT_TRUE(stillUntouched());
    EXPECT_EQ(Bytes(d.buffers()[1].halves[0]), Bytes(a.begin(), a.begin() + kPeriod));
    EXPECT_EQ(engine().playbackChannels[0].readOffset.load(), static_cast<std::int32_t>(kPeriod));

    // A channel number outside the records is ignored.
    engine().bufferInfoTable[0].channelNum = 64;
    bufferSwitch(1, ASIOTrue);
    engine().bufferInfoTable[0].channelNum = 0;
    EXPECT_TRUE(stillUntouched());

    // After Finish (the driver keeps calling) nothing is touched.
    d.config().failures = {{Slot::stop, ASE_HWMalfunction}};
    Finish();
    untouched();
    bufferSwitch(0, ASIOTrue);
    bufferSwitch(1, ASIOTrue);
    EXPECT_TRUE(stillUntouched());
}

TEST_F(BufferSwitchTest, CallbackBeforeAnyPrepareDoesNothing) {
    install(smallDriver(2, 2, 64));
    ASSERT_EQ(Initialize(), ASE_OK);
    StartPlayback();
    StartCapture();
    bufferSwitch(0, ASIOTrue);
    bufferSwitchTimeInfo(nullptr, 1, ASIOFalse);
    EXPECT_EQ(engine().playbackRunning(), 1);
    EXPECT_EQ(engine().captureRunning(), 1);
}

TEST_F(BufferSwitchTest, SteadyStatePeriodAllocatesNothing) {
    sim::SimConfig c = smallDriver(8, 8, 64);
    c.keepCallLog = false;
    prepare(c);
    const Bytes a = ramp(100 * kPeriod, 3);
    std::vector<Bytes> targets(8, Bytes(100 * kPeriod));
    for (std::uint32_t ch = 0; ch < 8; ++ch) {
        ASSERT_EQ(SetPlayBuffer(a.data(), static_cast<std::int32_t>(a.size()), ch), ASE_OK);
        ASSERT_EQ(SetCaptureBuffer(targets[ch].data(), static_cast<std::int32_t>(targets[ch].size()), ch), ASE_OK);
    }
    StartPlayback();
    StartCapture();
    testing::startCountingAllocations();  // the counter does see the engine's blocks
    ASSERT_EQ(SetPlayBuffer(a.data(), 16, 0), ASE_OK);
    EXPECT_EQ(testing::stopCountingAllocations(), 1u);
    testing::startCountingAllocations();
    for (int n = 0; n < 50; ++n) bufferSwitch(n & 1, ASIOTrue);
    EXPECT_EQ(testing::stopCountingAllocations(), 0u);
    EXPECT_EQ(engine().playbackChannels[0].readOffset.load(), static_cast<std::int32_t>(50 * kPeriod));
    EXPECT_EQ(engine().captureChannels[7].framesLeft.load(), 50 * 64);
}

}  // namespace
}  // namespace asiochan
