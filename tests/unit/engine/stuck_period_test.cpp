// A period held inside the library past the waits of the calls that take things
// back from it: each call gives up within one wait limit, holds only what that
// period may still write, frees nothing under it, and lets the next driver be.
// The sanitizers watch the memory; the checks watch what reads busy and free.
#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#include "asiochan.h"
#include "driver/installed_drivers_fixture.h"
#include "engine/seam.h"
#include "platform/host/host_control.h"
#include "support/stream_fixture.h"

namespace asiochan {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::waitUntil;

constexpr AsioLong kFrames = 32;
constexpr std::size_t kPeriodBytes = kFrames * 4;
// The tests' wait limit: long enough for a held period to be plainly held.
constexpr std::uint32_t kLimitMs = 300;

// Runs the next period of a driver on a thread of its own and holds it at a
// seam (or, with a gate, in the driver's output-ready) until let go.
class PeriodHold {
public:
    ~PeriodHold() { letGo(); }

    ::testing::AssertionResult atSeam(sim::SimDriver& driver, const char* where) {
        where_ = where;
        holding_ = true;
        inside_ = false;
        seam::setHandler(&reach);
        thread_ = std::thread([&driver] { driver.clock().step(1); });
        return waitUntil(std::string("a period to be held at ") + where, [] { return inside_.load(); });
    }
    ::testing::AssertionResult inOutputReady(sim::SimDriver& driver, std::atomic<bool>& gate) {
        gate_ = &gate;
        gate = false;
        const std::uint64_t readies = driver.callCount(sim::Slot::outputReady);
        thread_ = std::thread([&driver] { driver.clock().step(1); });
        return waitUntil("a period to enter output-ready",
                         [&] { return driver.callCount(sim::Slot::outputReady) > readies; });
    }
    void letGo() {
        holding_ = false;
        if (gate_ != nullptr) *gate_ = true;
        if (thread_.joinable()) thread_.join();
        seam::setHandler(nullptr);
        gate_ = nullptr;
    }

private:
    static void reach(const char* where) {
        if (!holding_.load() || std::strcmp(where, where_.load()) != 0) return;
        inside_ = true;
        for (int ms = 0; ms < 10000 && holding_.load(); ++ms) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    static inline std::atomic<bool> holding_{false}, inside_{false};
    static inline std::atomic<const char*> where_{""};
    std::atomic<bool>* gate_ = nullptr;
    std::thread thread_;
};

AsiochanStreamConfig oneByOne() {
    AsiochanStreamConfig c{};
    c.size = sizeof c;
    c.format = ASIOCHAN_STREAM_NATIVE;
    c.inputCount = 1;
    c.outputCount = 1;
    return c;  // input 0 and output 0
}

class StuckPeriodTest : public testing::DumpFolderTest {
protected:
    void SetUp() override {
        DumpFolderTest::SetUp();
        testing::library().engine.periods().setWaitLimitMs(kLimitMs);
    }
    void TearDown() override {
        hold_.letGo();
        DumpFolderTest::TearDown();
    }

    // Input 0 captures into `armed` (with its shadow copy) and one period runs;
    // the next is held after its copies and StopCapture gives up on it.
    void stopCaptureUnderAHeldPeriod(Bytes& armed) {
        prepareRun(smallDriver(2, 2, kFrames));
        ASSERT_EQ(SetCaptureBuffer(armed.data(), static_cast<std::int32_t>(armed.size()), 0), ASE_OK);
        StartCapture();
        step(1);
        ASSERT_TRUE(hold_.atSeam(*driver_, "period: after the copies"));
        StopCapture();
        EXPECT_EQ(IsPortCaptureRunning(0), 1) << "handed back while the held period may write it";
        EXPECT_EQ(IsPortCaptureRunning(1), 0) << "a free input held by a stop that gave up";
    }

    // `buffer` (4 periods) on `channel` captures to its end and reads done only
    // then; afterwards, handed back, nothing writes it.
    void capturesToItsEndAlone(Bytes& buffer, std::uint32_t channel) {
        StartCapture();
        for (int period = 0; period < 3; ++period) {
            step(1);
            EXPECT_EQ(IsPortCaptureRunning(channel), 1) << "done after " << period + 1 << " of 4 periods";
        }
        step(1);
        ASSERT_TRUE(captureDone(channel));
        EXPECT_NE(Bytes(buffer.end() - kPeriodBytes, buffer.end()), Bytes(kPeriodBytes, 0)) << "its last period";
        std::memset(buffer.data(), 0x5a, buffer.size());
        StartCapture();
        step(3);
        EXPECT_EQ(buffer, Bytes(buffer.size(), 0x5a)) << "written after it was handed back";
    }

    PeriodHold hold_;
};

// The stop holds input 0 (armed), not input 1 (free): input 1 armed afterwards
// captures on its own, and its shadow copy lives until its capture is done.
TEST_F(StuckPeriodTest, AFreeInputArmedAfterAStopThatGaveUpKeepsItsOwnState) {
    Bytes held(8 * kPeriodBytes), later(4 * kPeriodBytes);
    stopCaptureUnderAHeldPeriod(held);
    ASSERT_EQ(SetCaptureBuffer(later.data(), static_cast<std::int32_t>(later.size()), 1), ASE_OK);
    hold_.letGo();
    EXPECT_EQ(IsPortCaptureRunning(0), 0) << "the held input once its period is done";
    capturesToItsEndAlone(later, 1);
}

// CaptureBuff takes the held input over: the hold ends, the new capture runs to
// its end and is not handed back when the held period is done.
TEST_F(StuckPeriodTest, CaptureBuffTakingOverAHeldInputKeepsItsOwnState) {
    Bytes held(8 * kPeriodBytes), taken(4 * kPeriodBytes);
    stopCaptureUnderAHeldPeriod(held);
    const CaptureRequest r{taken.data(), static_cast<std::int32_t>(taken.size()), 0};
    ASSERT_EQ(CaptureBuff(&r, 1), ASE_OK);
    hold_.letGo();
    capturesToItsEndAlone(taken, 0);
    // The held input's shadow copy went with the hold: arming it again works.
    ASSERT_EQ(SetCaptureBuffer(held.data(), static_cast<std::int32_t>(held.size()), 0), ASE_OK);
}

// Finish takes back the stream, both directions and the buffers; with a period
// held it gives up on all of them within one wait limit (counted in the 10 ms
// slices of its waits, which a loaded machine makes fewer, never more).
TEST_F(StuckPeriodTest, FinishGivesUpWithinOneWaitLimitInAll) {
    sim::SimConfig config = smallDriver(2, 2, kFrames);
    config.keepRunningAfterStop = true;  // its stop does not wait for the held period
    prepareRun(config);
    const AsiochanStreamConfig c = oneByOne();
    ASSERT_EQ(OpenStream(&c), ASE_OK);
    ASSERT_EQ(StartStream(), ASE_OK);
    Bytes armed(8 * kPeriodBytes);
    ASSERT_EQ(SetCaptureBuffer(armed.data(), static_cast<std::int32_t>(armed.size()), 1), ASE_OK);
    StartCapture();
    step(1);
    ASSERT_TRUE(hold_.atSeam(*driver_, "period: after the copies"));
    const std::uint64_t before = platform::host::blockingCallsOnThisThread();
    EXPECT_EQ(Finish(), ASIOCHAN_DRIVER_STUCK);
    const std::uint64_t waits = platform::host::blockingCallsOnThisThread() - before;
    EXPECT_LE(waits, kLimitMs / 10 + 20) << "blocking calls of a Finish that gave up";
    hold_.letGo();
    EXPECT_EQ(Finish(), ASE_OK);
}

// A period held inside the stream's step (the rings in its hands): StopStream
// and CloseStream give up, the rings stay until it is done, and the next open
// frees them (the sanitizers see any write into freed rings).
TEST_F(StuckPeriodTest, StopAndCloseLeaveTheRingsToAPeriodInsideThem) {
    prepareRun(smallDriver(2, 2, kFrames));
    const AsiochanStreamConfig c = oneByOne();
    ASSERT_EQ(OpenStream(&c), ASE_OK);
    const Bytes frames = testing::ramp(4 * kPeriodBytes, 7);
    ASSERT_EQ(WriteStream(frames.data(), 4 * kFrames, 0, nullptr), 4 * kFrames);
    ASSERT_EQ(StartStream(), ASE_OK);
    step(1);
    ASSERT_TRUE(hold_.atSeam(*driver_, "period: in the stream step"));
    EXPECT_EQ(StopStream(), ASE_OK);
    EXPECT_EQ(CloseStream(), ASE_OK);
    hold_.letGo();
    step(2);
    ASSERT_EQ(OpenStream(&c), ASE_OK);
    ASSERT_EQ(StartStream(), ASE_OK);
    step(2);
    EXPECT_EQ(CloseStream(), ASE_OK);
}

// A driver left stuck (its period held in output-ready past Finish) is let go
// with its object leaked; the next driver loaded initializes at once, and
// prepares once the old driver's thread has left the library.
class StuckDriverSwitchTest : public testing::InstalledDriversTest {};

TEST_F(StuckDriverSwitchTest, TheNextDriverLoadedIsNotStuck) {
    testing::library().engine.periods().setWaitLimitMs(kLimitMs);
    std::atomic<bool> gate{true};
    sim::SimConfig stuck;
    stuck.bufferMin = 1;
    stuck.bufferPreferred = kFrames;
    stuck.outputReadyGate = &gate;
    stuck.keepRunningAfterStop = true;
    install(1, "stuck", "Stuck driver", stuck);
    install(2, "next", "Next driver");
    ASSERT_EQ(loadAsioDriver("Stuck driver"), 1);
    sim::SimDriver* first = last_;
    ASSERT_EQ(Initialize(), ASE_OK);
    ASSERT_EQ(Prepare(), ASE_OK);
    PeriodHold hold;
    ASSERT_TRUE(hold.inOutputReady(*first, gate));
    ASSERT_EQ(loadAsioDriver("Next driver"), 1);
    EXPECT_EQ(destroyed_.load(), 0) << "a driver released while its thread is inside the library";
    EXPECT_EQ(Initialize(), ASE_OK);
    hold.letGo();
    EXPECT_EQ(Prepare(), ASE_OK);
    EXPECT_EQ(Finish(), ASE_OK);
    releaseAsioDriver();
    first->clock().stop();
    first->Release();  // the library leaked it; the test makes it go
}

}  // namespace
}  // namespace asiochan
