// Drivers that break their contract, made to order by the simulated driver's
// fault switches. Whatever the driver does, the engine writes nothing out of
// bounds (ASan watches the driver's buffers, which are heap vectors of exactly the
// size handed over), keeps no block once the run is finished, and the application
// can finish the run and start a good one afterwards.
#include <climits>
#include <cstring>
#include <thread>

#include "asiochan.h"
#include "support/stream_fixture.h"

namespace asiochan {
namespace {

using Bytes = std::vector<std::uint8_t>;
using sim::Slot;
using testing::ramp;

constexpr AsioLong kFrames = 32;
constexpr std::size_t kPeriod = kFrames * 4;

bool engineHoldsNoBlock() {
    for (const auto& p : engine().playbackChannels)
        if (p.current.load() != nullptr || p.next.load() != nullptr || p.readPos.load() != nullptr) return false;
    for (const auto& c : engine().captureChannels)
        if (c.copyStart.load() != nullptr || c.writePos.load() != nullptr) return false;
    return true;
}

class FaultyDriverTest : public testing::StreamTest {
protected:
    // Fills every half-buffer of the driver with `byte`, so that a write by the
    // engine shows.
    void paint(std::uint8_t byte) {
        for (auto& b : driver_->buffers())
            for (auto& half : b.halves) std::memset(half.data(), byte, half.size());
    }
    bool outputsStill(std::uint8_t byte) {
        for (std::size_t i = 0; i < driver_->buffers().size(); ++i) {
            if (driver_->buffers()[i].isInput) continue;
            for (std::uint8_t v : driver_->clock().recorded(i))
                if (v != byte) return false;
        }
        return true;
    }

    // After a faulty run: Finish drops everything, and a good run on a fresh
    // driver streams exactly.
    void finishAndRecover() {
        if (driver_) driver_->config().failures.clear();
        Finish();
        EXPECT_TRUE(engineHoldsNoBlock());
        prepareRun(smallDriver(2, 2, kFrames));
        const Bytes a = ramp(3 * kPeriod, 9);
        ASSERT_EQ(SetPlayBuffer(a.data(), static_cast<std::int32_t>(a.size()), 1), ASE_OK);
        StartPlayback();
        step(3);
        EXPECT_EQ(played(1), a);
        EXPECT_EQ(Finish(), ASE_OK);
        EXPECT_TRUE(engineHoldsNoBlock());
    }
};

TEST_F(FaultyDriverTest, NullHalfBuffersAreSkippedEveryPeriod) {
    sim::SimConfig c = smallDriver(2, 2, kFrames);
    c.nullHalves = {{false, 0, 1}, {true, 1, 0}};
    prepareRun(c);
    const void* missing = engine().bufferInfoTable[0].buffers[1];  // a packed table: read by value
    EXPECT_TRUE(missing == nullptr);
    const Bytes a = ramp(4 * kPeriod, 1);
    ASSERT_EQ(SetPlayBuffer(a.data(), static_cast<std::int32_t>(a.size()), 0), ASE_OK);
    ASSERT_EQ(SetPlayBuffer(a.data(), static_cast<std::int32_t>(a.size()), 1), ASE_OK);
    Bytes in0(4 * kPeriod), in1(4 * kPeriod);
    ASSERT_EQ(SetCaptureBuffer(in0.data(), static_cast<std::int32_t>(in0.size()), 0), ASE_OK);
    ASSERT_EQ(SetCaptureBuffer(in1.data(), static_cast<std::int32_t>(in1.size()), 1), ASE_OK);
    paint(0x7e);
    StartPlayback();
    StartCapture();
    step(4);
    // Output 0 is fed in the even periods only; its odd halves were never touched.
    const Bytes& out0 = played(0);
    ASSERT_EQ(out0.size(), 4 * kPeriod);
    for (int n = 0; n < 4; ++n) {
        const Bytes period(out0.begin() + n * kPeriod, out0.begin() + (n + 1) * kPeriod);
        if (n % 2 == 0)
            EXPECT_EQ(period, Bytes(a.begin() + n * kPeriod, a.begin() + (n + 1) * kPeriod)) << n;
        else
            EXPECT_EQ(period, Bytes(kPeriod, 0x7e)) << n;
    }
    EXPECT_EQ(played(1), a);
    // The channel still advanced through the skipped periods and ended on time.
    EXPECT_EQ(IsPortPlaybackRunning(0), 0);
    // Input 1 missed its even periods (left zero); input 0 got all four.
    for (std::size_t i = 0; i < in0.size(); ++i) {
        EXPECT_EQ(in0[i], sim::inputPatternByte(0, i)) << i;
        const bool evenPeriod = (i / kPeriod) % 2 == 0;
        EXPECT_EQ(in1[i], evenPeriod ? 0 : sim::inputPatternByte(1, i)) << i;
        if (::testing::Test::HasFailure()) break;
    }
    EXPECT_TRUE(captureFinished());
    finishAndRecover();
}

TEST_F(FaultyDriverTest, ChannelCountsOutsideTheTablesAreBounded) {
    struct Case {
        AsioLong inputs, outputs;
        std::int32_t expectIn, expectOut;
    };
    for (const Case k : {Case{-3, 4, 0, 4}, Case{4, -1, 4, 0}, Case{100, 70, 64, 64}, Case{65, INT32_MAX, 64, 64},
                         Case{INT32_MIN, 2, 0, 2}}) {
        sim::SimConfig c = smallDriver(k.outputs, k.inputs, kFrames);
        c.keepCallLog = false;
        sim::SimDriver& d = prepareRun(c);
        EXPECT_EQ(GetInputChannelCount(), k.expectIn);
        EXPECT_EQ(GetOutputChannelCount(), k.expectOut);
        // Every table entry handed to the driver lies within the engine's tables.
        const auto& records = d.calls();
        for (const auto& r : records)
            if (r.slot == Slot::createBuffers) {
                EXPECT_EQ(r.args[1], static_cast<std::uintptr_t>(k.expectIn + k.expectOut));
            }
        const Bytes a = ramp(2 * kPeriod, 5);
        const std::uint32_t last = static_cast<std::uint32_t>(k.expectOut - 1);
        if (k.expectOut > 0) {
            ASSERT_EQ(SetPlayBuffer(a.data(), static_cast<std::int32_t>(a.size()), last), ASE_OK);
        }
        // Captures on both sides of each 32-channel boundary the device has.
        std::vector<std::uint32_t> inputs;
        for (std::uint32_t ch : {0u, 31u, 32u, 63u})
            if (static_cast<std::int32_t>(ch) < k.expectIn) inputs.push_back(ch);
        std::vector<Bytes> targets(inputs.size(), Bytes(2 * kPeriod));
        for (std::size_t i = 0; i < inputs.size(); ++i) {
            ASSERT_EQ(SetCaptureBuffer(targets[i].data(), static_cast<std::int32_t>(targets[i].size()), inputs[i]),
                      ASE_OK);
        }
        if (!inputs.empty()) StartCapture();
        StartPlayback();
        step(3);
        if (k.expectOut > 0) {
            EXPECT_EQ(Bytes(played(last).begin(), played(last).begin() + a.size()), a);
            EXPECT_EQ(IsPortPlaybackRunning(last), 0);
        }
        for (std::size_t i = 0; i < inputs.size(); ++i) {
            Bytes own(targets[i].size());
            for (std::size_t b = 0; b < own.size(); ++b) own[b] = sim::inputPatternByte(inputs[i], b);
            EXPECT_EQ(targets[i], own) << "input " << inputs[i];
        }
        EXPECT_EQ(Finish(), ASE_OK);
        EXPECT_TRUE(engineHoldsNoBlock());
        testing::freshLibrary();
    }
    finishAndRecover();
}

TEST_F(FaultyDriverTest, PeriodSizesNoByteCountCanServeRunNothing) {
    for (const AsioLong frames : {AsioLong{0}, AsioLong{-32}, AsioLong{0x20000000}, AsioLong{INT32_MAX}}) {
        sim::SimConfig c = smallDriver(2, 2, frames);
        c.acceptAnyBufferSize = true;  // the halves are made small whatever was asked
        c.uncheckedHalfBytes = 512;
        prepareRun(c);
        EXPECT_EQ(GetBufferSizePreferred(), frames);
        const Bytes a = ramp(1024, 3);
        Bytes target(1024);
        ASSERT_EQ(SetPlayBuffer(a.data(), static_cast<std::int32_t>(a.size()), 0), ASE_OK);
        ASSERT_EQ(SetCaptureBuffer(target.data(), static_cast<std::int32_t>(target.size()), 0), ASE_OK);
        const std::int32_t framesArmed = engine().captureChannels[0].framesLeft.load();
        StartPlayback();
        StartCapture();
        paint(0x7e);
        step(4);
        EXPECT_TRUE(outputsStill(0x7e)) << frames;
        EXPECT_EQ(target, Bytes(1024, 0)) << frames;
        EXPECT_EQ(engine().playbackChannels[0].readOffset.load(), 0) << frames;
        EXPECT_EQ(engine().captureChannels[0].framesLeft.load(), framesArmed) << frames;
        EXPECT_EQ(Finish(), ASE_OK);
        EXPECT_TRUE(engineHoldsNoBlock());
        testing::freshLibrary();
    }
    finishAndRecover();
}

TEST_F(FaultyDriverTest, UnlistedSampleTypesLeaveTheWidthsAtZero) {
    sim::SimConfig c = smallDriver(2, 2, kFrames);
    c.inputType = 5;       // unassigned
    c.outputType = -7;     // negative
    c.outputTypes = {33};  // a DSD type for output 0
    prepareRun(c);
    EXPECT_EQ(engine().sampleSize[0].load(), 0);
    EXPECT_EQ(engine().sampleSize[1].load(), 0);
    Bytes target(kPeriod);
    EXPECT_EQ(SetCaptureBuffer(target.data(), static_cast<std::int32_t>(target.size()), 0), ASE_InvalidMode);
    const CaptureRequest request{target.data(), static_cast<std::int32_t>(target.size()), 0};
    EXPECT_EQ(CaptureBuff(&request, 1), ASE_InvalidMode);
    EXPECT_TRUE(captureDone(0));
    const Bytes a = ramp(kPeriod, 1);
    ASSERT_EQ(SetPlayBuffer(a.data(), static_cast<std::int32_t>(a.size()), 0), ASE_OK);
    ASSERT_EQ(SetPlayBuffer(a.data(), static_cast<std::int32_t>(a.size()), 0), ASE_OK);
    StartPlayback();
    paint(0x7e);
    step(3);
    // Zero bytes a period: nothing is written and nothing moves.
    EXPECT_TRUE(outputsStill(0x7e));
    EXPECT_EQ(IsPortPlaybackRunning(0), 1);
    EXPECT_EQ(IsCanSendNextPlaybackBuffer(0), 0);
    finishAndRecover();
}

TEST_F(FaultyDriverTest, UnlistedTypesDoNotInheritAnEarlierRunsWidths) {
    // A first run on a driver of 32-bit samples teaches the engine 4 bytes per
    // sample; the next driver's types have no width and its halves are one byte
    // a sample. Nothing may be written with the old width.
    prepareRun(smallDriver(2, 2, kFrames));
    EXPECT_EQ(engine().sampleSize[1].load(), 4);
    EXPECT_EQ(Finish(), ASE_OK);
    sim::SimConfig c = smallDriver(2, 2, kFrames);
    c.inputType = 5;
    c.outputType = 5;
    prepareRun(c);
    EXPECT_EQ(engine().sampleSize[0].load(), 0);
    EXPECT_EQ(engine().sampleSize[1].load(), 0);
    EXPECT_EQ(driver_->buffers()[0].halves[0].size(), static_cast<std::size_t>(kFrames));
    const Bytes a = ramp(4 * kPeriod, 1);
    ASSERT_EQ(SetPlayBuffer(a.data(), static_cast<std::int32_t>(a.size()), 0), ASE_OK);
    StartPlayback();
    StartCapture();
    paint(0x7e);
    step(3);
    EXPECT_TRUE(outputsStill(0x7e));
    finishAndRecover();
}

TEST_F(FaultyDriverTest, AChannelOfAnotherWidthIsSkipped) {
    // Output 0 reports 16-bit samples, output 1 (the last) 32-bit ones: the
    // direction counts 4 bytes a sample, which output 0's halves do not hold.
    sim::SimConfig c = smallDriver(2, 2, kFrames);
    c.outputTypes = {ASIOSTInt16LSB};
    c.inputTypes = {ASIOSTInt32LSB, ASIOSTInt24LSB};
    prepareRun(c);
    EXPECT_EQ(engine().sampleSize[1].load(), 4);
    EXPECT_EQ(engine().sampleSize[0].load(), 3);
    const Bytes a = ramp(2 * kPeriod, 1);
    ASSERT_EQ(SetPlayBuffer(a.data(), static_cast<std::int32_t>(a.size()), 0), ASE_OK);
    ASSERT_EQ(SetPlayBuffer(a.data(), static_cast<std::int32_t>(a.size()), 1), ASE_OK);
    Bytes in0(2 * kFrames * 3);
    ASSERT_EQ(SetCaptureBuffer(in0.data(), static_cast<std::int32_t>(in0.size()), 0), ASE_OK);
    StartPlayback();
    StartCapture();
    paint(0x7e);
    step(2);
    EXPECT_EQ(played(0), Bytes(2 * kFrames * 2, 0x7e));  // never written
    EXPECT_EQ(played(1), a);
    EXPECT_EQ(in0, Bytes(in0.size(), 0));  // input 0 (32-bit among 24-bit) is skipped too
    finishAndRecover();
}

TEST_F(FaultyDriverTest, WrongBufferIndexIsIgnored) {
    for (const AsioLong index : {AsioLong{2}, AsioLong{-1}, AsioLong{INT32_MAX}, AsioLong{INT32_MIN}}) {
        for (const bool timeInfo : {false, true}) {
            sim::ClockOptions clock;
            clock.overrideIndex = true;
            clock.indexOverride = index;
            clock.useTimeInfo = timeInfo;
            prepareRun(smallDriver(2, 2, kFrames), clock);
            const Bytes a = ramp(2 * kPeriod, 1);
            Bytes target(2 * kPeriod);
            ASSERT_EQ(SetPlayBuffer(a.data(), static_cast<std::int32_t>(a.size()), 0), ASE_OK);
            ASSERT_EQ(SetCaptureBuffer(target.data(), static_cast<std::int32_t>(target.size()), 0), ASE_OK);
            StartPlayback();
            StartCapture();
            paint(0x7e);
            step(3);
            EXPECT_TRUE(outputsStill(0x7e)) << index;
            EXPECT_EQ(target, Bytes(2 * kPeriod, 0)) << index;
            EXPECT_EQ(engine().playbackChannels[0].readOffset.load(), 0);
            EXPECT_EQ(Finish(), ASE_OK);
            testing::freshLibrary();
        }
    }
    finishAndRecover();
}

TEST_F(FaultyDriverTest, CallbacksInsideBufferCreationTouchNothing) {
    sim::SimConfig c = smallDriver(2, 2, kFrames);
    c.callbackInsideCreateBuffers = true;
    // A first run, finished: the engine's table still names that run's buffers,
    // which the driver has freed by the time it calls back early in the next one.
    sim::SimDriver& d = prepareRun(c);
    const Bytes a = ramp(4 * kPeriod, 1);
    ASSERT_EQ(SetPlayBuffer(a.data(), static_cast<std::int32_t>(a.size()), 0), ASE_OK);
    StartPlayback();
    StartCapture();
    step(1);
    EXPECT_EQ(Finish(), ASE_OK);
    ASSERT_EQ(SetPlayBuffer(a.data(), static_cast<std::int32_t>(a.size()), 1), ASE_OK);
    StartPlayback();
    const std::uint64_t before = d.callCount(Slot::getSamplePosition);
    EXPECT_EQ(Prepare(), ASE_OK);  // calls back twice before handing buffers over
    EXPECT_EQ(d.callCount(Slot::getSamplePosition), before + 2);
    step(2);
    EXPECT_EQ(IsPortPlaybackRunning(0), 0);
    EXPECT_EQ(IsPortPlaybackRunning(1), 0);  // dropped by the new run's Prepare
    finishAndRecover();
}

TEST_F(FaultyDriverTest, CallbacksAfterFinishTouchNothing) {
    // stop fails: the buffers are not disposed of and the driver keeps calling.
    sim::SimConfig c = smallDriver(2, 2, kFrames);
    c.failures = {{Slot::stop, ASE_HWMalfunction}};
    sim::SimDriver& d = prepareRun(c);
    const Bytes a = ramp(8 * kPeriod, 1);
    ASSERT_EQ(SetPlayBuffer(a.data(), static_cast<std::int32_t>(a.size()), 0), ASE_OK);
    Bytes target(8 * kPeriod);
    ASSERT_EQ(SetCaptureBuffer(target.data(), static_cast<std::int32_t>(target.size()), 1), ASE_OK);
    StartPlayback();
    StartCapture();
    step(2);
    EXPECT_EQ(Finish(), ASE_HWMalfunction);
    EXPECT_EQ(d.callCount(Slot::disposeBuffers), 0u);
    EXPECT_TRUE(engineHoldsNoBlock());
    const Bytes captured = target;
    // Blocks handed over after the Finish are not played by the stray periods.
    ASSERT_EQ(SetPlayBuffer(a.data(), static_cast<std::int32_t>(a.size()), 1), ASE_OK);
    StartPlayback();
    paint(0x7e);
    driver_->clock().clearRecordings();
    step(4);
    EXPECT_TRUE(outputsStill(0x7e));
    EXPECT_EQ(target, captured);
    EXPECT_EQ(IsPortPlaybackRunning(1), 1);
    // A new Prepare on the same driver takes over and plays what is queued then.
    d.config().failures.clear();
    EXPECT_EQ(Prepare(), ASE_OK);
    ASSERT_EQ(SetPlayBuffer(a.data(), static_cast<std::int32_t>(a.size()), 1), ASE_OK);
    StartPlayback();
    step(8);
    EXPECT_EQ(played(1), a);
    finishAndRecover();
}

TEST_F(FaultyDriverTest, DriverRunningOnAfterAGoodStop) {
    sim::SimConfig c = smallDriver(2, 2, kFrames);
    c.keepRunningAfterStop = true;
    c.keepCallLog = false;
    sim::ClockOptions clock;
    clock.freeRunning = true;
    clock.recordOutputs = false;
    sim::SimDriver& d = prepareRun(c, clock);
    const Bytes a = ramp(64 * kPeriod, 1);
    for (int n = 0; n < 20; ++n) {
        ASSERT_EQ(SetPlayBuffer(a.data(), static_cast<std::int32_t>(a.size()), 0), ASE_OK);
        StartPlayback();
        ASSERT_TRUE(d.clock().waitForPeriods(d.clock().periodsRun() + 3));
        EXPECT_EQ(Finish(), ASE_OK);  // periods keep coming until the buffers go
        EXPECT_TRUE(engineHoldsNoBlock());
        EXPECT_EQ(Prepare(), ASE_OK);
    }
    finishAndRecover();
}

TEST_F(FaultyDriverTest, RefusedInitLeavesEveryCallDefined) {
    sim::SimConfig c = smallDriver(2, 2, kFrames);
    c.refuseInit = true;
    install(c);
    EXPECT_EQ(Initialize(), ASE_NotPresent);
    EXPECT_EQ(driverCalls().current(), nullptr);
    EXPECT_EQ(Prepare(), ASE_NotPresent);
    EXPECT_EQ(engine().runPrepared.load(), 0);
    EXPECT_EQ(Finish(), ASE_NotPresent);
    EXPECT_EQ(GetOutputChannelCount(), 0);
    finishAndRecover();
}

TEST_F(FaultyDriverTest, FailedStartAfterGoodBuffersStillNeedsAndTakesFinish) {
    sim::SimConfig c = smallDriver(2, 2, kFrames);
    c.failures = {{Slot::start, ASE_HWMalfunction}};
    sim::SimDriver& d = install(c);
    ASSERT_EQ(Initialize(), ASE_OK);
    EXPECT_EQ(Prepare(), ASE_HWMalfunction);
    EXPECT_EQ(engine().runPrepared.load(), 1);  // the buffers exist: the run is there to finish
    EXPECT_EQ(Initialize(), ASE_InvalidMode);
    const Bytes a = ramp(kPeriod, 1);
    ASSERT_EQ(SetPlayBuffer(a.data(), static_cast<std::int32_t>(a.size()), 0), ASE_OK);
    EXPECT_EQ(Finish(), ASE_OK);
    EXPECT_EQ(d.callCount(Slot::disposeBuffers), 1u);
    EXPECT_EQ(Initialize(), ASE_OK);
    finishAndRecover();
}

// A driver that holds a period inside output-ready past every wait. The period
// has written everything it writes before that call: a stop hands the
// application's memory back at once and nothing writes it afterwards; Finish
// neither disposes of the buffers nor lets the driver be initialized or
// prepared again (DRIVER_STUCK) until a Finish finds the period gone.
TEST_F(FaultyDriverTest, PeriodHeldInOutputReadyNeverWritesMemoryHandedBack) {
    std::atomic<bool> gate{true};
    sim::SimConfig c = smallDriver(2, 2, kFrames);
    c.outputReadyGate = &gate;
    c.keepRunningAfterStop = true;  // its stop does not wait for its own thread
    prepareRun(c);
    // Holds the next period in output-ready on a thread of its own.
    auto holdAPeriod = [this, &gate] {
        gate = false;
        const std::uint64_t readies = driver_->callCount(Slot::outputReady);
        std::thread held([this] { driver_->clock().step(1); });
        EXPECT_TRUE(testing::waitUntil("a period to enter output-ready",
                                       [&] { return driver_->callCount(Slot::outputReady) > readies; }));
        return held;
    };
    Bytes armed(64 * kPeriod), taken(64 * kPeriod);
    ASSERT_EQ(SetCaptureBuffer(armed.data(), static_cast<std::int32_t>(armed.size()), 0), ASE_OK);
    const CaptureRequest q{taken.data(), static_cast<std::int32_t>(taken.size()), 1};
    ASSERT_EQ(CaptureBuff(&q, 1), ASE_OK);
    step(1);
    std::thread held = holdAPeriod();
    StopCapture();
    EXPECT_EQ(IsPortCaptureRunning(0), 0) << "a period past its mark holds nothing";
    std::memset(armed.data(), 0x5a, armed.size());
    std::memset(taken.data(), 0x5a, taken.size());
    gate = true;
    held.join();
    // Capture runs again: a record the held period changed after the stop would write now.
    StartCapture();
    step(2);
    EXPECT_EQ(armed, Bytes(armed.size(), 0x5a)) << "a one-shot capture written after it was handed back";
    EXPECT_EQ(taken, Bytes(taken.size(), 0x5a)) << "a CaptureBuff buffer written after it was handed back";

    held = holdAPeriod();
    EXPECT_EQ(Finish(), ASIOCHAN_DRIVER_STUCK);
    EXPECT_EQ(driver_->callCount(Slot::disposeBuffers), 0u) << "buffers disposed of under a held period";
    EXPECT_EQ(Initialize(), ASIOCHAN_DRIVER_STUCK);
    EXPECT_EQ(Prepare(), ASIOCHAN_DRIVER_STUCK);
    EXPECT_EQ(driver_->callCount(Slot::createBuffers), 1u);
    gate = true;
    held.join();
    // The period has left: Finish disposes of the buffers and the run can start again.
    EXPECT_EQ(Finish(), ASE_OK);
    EXPECT_EQ(driver_->callCount(Slot::disposeBuffers), 1u);
    finishAndRecover();
}

}  // namespace
}  // namespace asiochan
