// The library's thread wakes on work: asleep in a prepared run in which no period
// can hand work over, polling while one can, woken by the calls that start work,
// and never by the driver's thread, which makes no call to the system for it.
// Prints the wake-ups per second the README quotes.
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "asiochan.h"
#include "platform/host/host_control.h"
#include "support/allocation_counter.h"
#include "support/stream_fixture.h"
#include "support/wait.h"

namespace asiochan {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr AsioLong kFrames = 32;
constexpr std::int32_t kPeriod = kFrames * 4;

class WakeOnWorkTest : public testing::DumpFolderTest {
protected:
    struct Window {
        std::uint64_t wakeUps;
        double perSecond;
    };
    // Runs `count` periods on this thread, standing in for the driver's, about a
    // millisecond apart; counts the library thread's wake-ups meanwhile and the
    // event sets the periods make.
    Window runPeriods(int count) {
        const std::uint64_t waitsBefore = platform::host::libraryThreadWaits();
        const std::uint64_t start = platform::monotonicMicros();
        for (int i = 0; i < count; ++i) {
            const std::uint64_t sets = platform::host::eventSetsOnThisThread();
            testing::library().engine.runPeriod(half_, SamplePosition{});
            half_ ^= 1;
            setsInPeriods_ += platform::host::eventSetsOnThisThread() - sets;
            platform::sleepMs(1);
        }
        const double seconds = static_cast<double>(platform::monotonicMicros() - start) / 1e6;
        const std::uint64_t wakeUps = platform::host::libraryThreadWaits() - waitsBefore;
        return {wakeUps, static_cast<double>(wakeUps) / seconds};
    }
    // The thread waits without a time limit, within a generous bound.
    static ::testing::AssertionResult asleep() {
        return testing::waitUntil("the library's thread to sleep", [] { return platform::host::libraryThreadsAsleep() == 1; });
    }

    // A capture polled to its end, then the thread asleep again. With a
    // high-resolution timer each poll sleeps on it and the system timer's
    // resolution is never raised; without one it is raised once for the poll and
    // restored when the thread sleeps on its event.
    void pollThroughACapture(bool timer) {
        platform::host::setHighResolutionTimerAvailable(timer);
        prepareRun(smallDriver(2, 2, kFrames));
        ASSERT_TRUE(asleep());
        const std::uint64_t raises = platform::host::timerResolutionRaisesMade();
        const std::uint64_t timerWaits = platform::host::highResolutionTimerWaits();
        Bytes target(40 * kPeriod);
        ASSERT_EQ(SetCaptureBuffer(target.data(), static_cast<std::int32_t>(target.size()), 1), ASE_OK);
        StartCapture();
        runPeriods(20);
        EXPECT_EQ(platform::host::timerResolutionRaisesInForce(), timer ? 0 : 1) << "while polling";
        EXPECT_EQ(platform::host::highResolutionTimerWaits() > timerWaits, timer);
        runPeriods(25);
        EXPECT_TRUE(captureDone(1));
        EXPECT_TRUE(asleep());
        EXPECT_EQ(platform::host::timerResolutionRaisesInForce(), 0) << "restored once asleep";
        EXPECT_EQ(platform::host::timerResolutionRaisesMade() - raises, timer ? 0u : 1u);
        platform::host::setHighResolutionTimerAvailable(true);
    }

    AsioLong half_ = 0;
    std::uint64_t setsInPeriods_ = 0;
};

TEST_F(WakeOnWorkTest, PollsOnAHighResolutionTimerWhereTheSystemHasOne) { pollThroughACapture(true); }
TEST_F(WakeOnWorkTest, RaisesTheTimerResolutionOnlyWhilePollingWithoutOne) { pollThroughACapture(false); }

TEST_F(WakeOnWorkTest, SleepsUnlessAPeriodCanHandWorkOver) {
    sim::SimConfig config = smallDriver(2, 2, kFrames);
    config.keepCallLog = false;  // the driver's log of its calls would take memory as the periods run
    prepareRun(config);

    // An idle prepared run: nothing wakes the thread.
    ASSERT_TRUE(asleep());
    const Window idle = runPeriods(300);
    EXPECT_EQ(idle.wakeUps, 0u);
    EXPECT_EQ(platform::host::libraryThreadsAsleep(), 1);

    // A capture armed: the thread polls until the completed capture's dump is
    // written, with no application call to prompt it, then sleeps again.
    std::vector<std::uint8_t> target(400 * kPeriod);
    ASSERT_EQ(SetCaptureBuffer(target.data(), static_cast<std::int32_t>(target.size()), 1), ASE_OK);
    StartCapture();
    const Window capturing = runPeriods(300);
    EXPECT_GT(capturing.wakeUps, 0u);
    runPeriods(110);
    const auto& record = testing::engine().captureChannels[1];
    EXPECT_TRUE(testing::waitUntil("input 1 to read done", [&] { return record.done.load() == 1; }));
    EXPECT_TRUE(std::filesystem::exists(dumpDir_ + "/buffer_debug_1_internal.dat"));
    EXPECT_TRUE(asleep());

    // Blocks played out: the thread releases them and sleeps again.
    const std::vector<std::uint8_t> sound(3 * kPeriod, 0x11);
    const std::string released = "the played blocks to be released";  // made before the heap is counted
    const long long heap = testing::liveHeapBytes();
    ASSERT_EQ(SetPlayBuffer(sound.data(), static_cast<std::int32_t>(sound.size()), 0), ASE_OK);
    ASSERT_EQ(SetPlayBuffer(sound.data(), static_cast<std::int32_t>(sound.size()), 0), ASE_OK);
    StartPlayback();
    runPeriods(10);
    EXPECT_EQ(IsPortPlaybackRunning(0), 0);
    EXPECT_TRUE(testing::waitUntil(released, [&] { return testing::liveHeapBytes() == heap; }));
    EXPECT_TRUE(asleep());

    EXPECT_EQ(setsInPeriods_, 0u);  // no system call on the driver's thread for any of it
    std::printf(
        "library thread wake-ups per second: idle prepared run %.0f (%llu in 300 periods), "
        "capture armed %.0f\n",
        idle.perSecond, static_cast<unsigned long long>(idle.wakeUps), capturing.perSecond);
}

// A start alone wakes the sleeping thread: the capture is armed first, the
// thread goes to sleep, and after the start nothing is called that would wake it
// (the exports that poll for a dump do), yet the dump of the completed capture
// is written.
TEST_F(WakeOnWorkTest, EveryStartWakesTheSleepingThread) {
    struct Row {
        const char* what;
        void (*arm)(Bytes& target);  // input 1 into `target`, before the thread sleeps; may be null
        void (*start)(Bytes& target);
        bool dumps;  // input 1 completes a one-shot capture, whose dump the woken thread writes
    };
    static constexpr auto armOneShot = [](Bytes& t) {
        ASSERT_EQ(SetCaptureBuffer(t.data(), static_cast<std::int32_t>(t.size()), 1), ASE_OK);
    };
    const Row rows[] = {
        {"StartCapture", armOneShot, [](Bytes&) { StartCapture(); }, true},
        {"StartCaptureAndPlayback", armOneShot, [](Bytes&) { StartCaptureAndPlayback(); }, true},
        {"CaptureBuff", nullptr,
         [](Bytes& t) {
             const CaptureRequest r{t.data(), static_cast<std::int32_t>(t.size()), 1};
             ASSERT_EQ(CaptureBuff(&r, 1), ASE_OK);
         },
         true},
        {"StartPlayback", nullptr, [](Bytes&) { StartPlayback(); }, false},
    };
    prepareRun(smallDriver(2, 2, kFrames));
    const auto& record = testing::engine().captureChannels[1];
    const std::string dump = dumpDir_ + "/buffer_debug_1_output.dat";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::filesystem::remove(dump);
        Bytes target(2 * kPeriod);
        if (row.arm) row.arm(target);
        ASSERT_TRUE(asleep());
        const std::uint64_t waits = platform::host::libraryThreadWaits();
        row.start(target);
        EXPECT_TRUE(testing::waitUntil("the start to wake the library's thread",
                                       [&] { return platform::host::libraryThreadWaits() != waits; }));
        runPeriods(3);
        if (row.dumps) {
            EXPECT_TRUE(testing::waitUntil("input 1's dump to be written", [&] { return record.done.load() == 1; }));
            EXPECT_TRUE(std::filesystem::exists(dump));
        }
        StopCapture();
        StopPlayback();
    }
}

}  // namespace
}  // namespace asiochan
