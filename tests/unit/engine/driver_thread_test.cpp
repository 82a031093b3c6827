// The driver's thread does no slow work: while a free-running stream goes
// through joins, block ends, capture completions with dump files, a stream whose
// rings run full and empty (dropping frames and playing silence),
// stops arriving at any moment and a re-Prepare, every period is counted for heap calls, mutex
// locks, file opens, sleeps, yields and waits made on the driver's thread.
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "asiochan.h"
#include "platform/host/host_control.h"
#include "support/allocation_counter.h"
#include "support/stream_fixture.h"

namespace asiochan {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct SlowCalls {
    std::uint64_t heap, locks, blocking;
    static SlowCalls onThisThread() {
        return {testing::heapCallsOnThisThread(), testing::lockCallsOnThisThread(),
                platform::host::blockingCallsOnThisThread()};
    }
};

std::atomic<std::uint64_t> heapOnDriverThread{0}, locksOnDriverThread{0}, blockingOnDriverThread{0};
std::atomic<std::uint64_t> periodsCounted{0};
const ASIOCallbacks* realCallbacks = nullptr;

// Runs one of the engine's callbacks and adds what it did on this thread.
template <typename Call>
void counted(Call call) {
    const SlowCalls before = SlowCalls::onThisThread();
    call();
    const SlowCalls after = SlowCalls::onThisThread();
    heapOnDriverThread += after.heap - before.heap;
    locksOnDriverThread += after.locks - before.locks;
    blockingOnDriverThread += after.blocking - before.blocking;
    ++periodsCounted;
}

void ASIOCHAN_CDECL countedBufferSwitch(AsioLong index, ASIOBool direct) {
    counted([&] { realCallbacks->bufferSwitch(index, direct); });
}
ASIOTime* ASIOCHAN_CDECL countedBufferSwitchTimeInfo(ASIOTime* time, AsioLong index, ASIOBool direct) {
    ASIOTime* result = nullptr;
    counted([&] { result = realCallbacks->bufferSwitchTimeInfo(time, index, direct); });
    return result;
}

// A simulated driver that calls the engine through the counting callbacks.
class CountingDriver : public sim::SimDriver {
public:
    using SimDriver::SimDriver;
    ASIOError createBuffers(ASIOBufferInfo* infos, AsioLong count, AsioLong size, ASIOCallbacks* callbacks) override {
        realCallbacks = callbacks;
        counting_ = *callbacks;
        counting_.bufferSwitch = &countedBufferSwitch;
        counting_.bufferSwitchTimeInfo = &countedBufferSwitchTimeInfo;
        return SimDriver::createBuffers(infos, count, size, &counting_);
    }

private:
    ASIOCallbacks counting_{};
};

using DriverThreadTest = testing::DumpFolderTest;

TEST_F(DriverThreadTest, CountersSeeSlowCallsOnTheirThread) {
    const SlowCalls before = SlowCalls::onThisThread();
    static int* volatile sink;
    sink = new int(1);
    delete sink;
    platform::sleepMs(0);
    std::FILE* none = platform::openFile("Q:\\nothing", "rb");
    EXPECT_EQ(none, nullptr);
    const SlowCalls after = SlowCalls::onThisThread();
    EXPECT_EQ(after.heap - before.heap, 2u);
    EXPECT_EQ(after.blocking - before.blocking, 2u);
}

TEST_F(DriverThreadTest, PeriodsMakeNoSlowCallsWhateverTheApplicationDoes) {
    constexpr AsioLong kChannels = 8, kFrames = 32;
    constexpr std::int32_t kPeriod = kFrames * 4;
    // Two more inputs and outputs for the stream.
    sim::SimConfig config = smallDriver(kChannels + 2, kChannels + 2, kFrames);
    config.keepCallLog = false;  // the simulated driver's own log would allocate on its thread
    driver_ = new CountingDriver(config);
    driverCalls().setCurrent(driver_);
    driver_->clock().options().freeRunning = true;
    driver_->clock().options().recordOutputs = false;
    heapOnDriverThread = locksOnDriverThread = blockingOnDriverThread = periodsCounted = 0;
    ASSERT_EQ(Initialize(), ASE_OK);
    ASSERT_EQ(Prepare(), ASE_OK);

    // Block lengths that are not whole periods make every block end a join.
    const Bytes sound = testing::ramp(5 * kPeriod + 12, 7);
    std::vector<Bytes> targets(kChannels, Bytes(3 * kPeriod));
    std::uint32_t completions = 0;
    // The stream: a ring of three periods, read and written in odd sizes, not every round.
    auto stream = testing::sized<AsiochanStreamConfig>();
    stream.inputCount = stream.outputCount = 2;
    stream.inputs[0] = kChannels, stream.inputs[1] = kChannels + 1;
    stream.outputs[0] = kChannels, stream.outputs[1] = kChannels + 1;
    stream.ringFrames = 3 * kFrames;
    std::vector<std::int32_t> frames(2 * 200);
    std::uint64_t streamDrops = 0, streamUnderruns = 0;
    auto tallyStream = [&] {
        auto st = testing::sized<AsiochanStreamState>();
        if (GetStreamState(&st) == ASE_OK) streamDrops += st.dropped, streamUnderruns += st.underrun;
    };
    auto openStream = [&] {
        ASSERT_EQ(OpenStream(&stream), ASE_OK);
        ASSERT_EQ(StartStream(), ASE_OK);
    };
    openStream();
    for (int round = 0; round < 600; ++round) {
        for (std::uint32_t ch = 0; ch < kChannels; ++ch) {
            const auto length = static_cast<std::int32_t>(sound.size()) - static_cast<std::int32_t>(ch * 4);
            if (IsCanSendNextPlaybackBuffer(ch)) SetPlayBuffer(sound.data(), length, ch);
            if (IsPortCaptureRunning(ch) == 0) {
                ++completions;
                const auto bytes = static_cast<std::int32_t>(kPeriod * (1 + (ch + round) % 3));
                if (ch % 2 == 0) {
                    SetCaptureBuffer(targets[ch].data(), bytes, ch);
                } else {
                    const CaptureRequest request{targets[ch].data(), bytes, ch};
                    CaptureBuff(&request, 1);
                }
            }
        }
        if (round % 2 == 0) {
            StartPlayback();
            StartCapture();
        } else {
            StartCaptureAndPlayback();
        }
        if (round % 7 < 4) {
            ReadStream(frames.data(), 37 + round % 150, 0, nullptr);
            WriteStream(frames.data(), 41 + round % 130, 0, nullptr);
        }
        if (round % 97 == 50) StopCapture();
        if (round % 89 == 60) StopPlayback();
        if (round % 150 == 149) {
            tallyStream();
            ASSERT_EQ(Prepare(), ASE_OK);  // finishes the run and prepares again
            openStream();
        }
        std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
    tallyStream();
    Finish();
    EXPECT_GT(streamDrops, 0u);
    EXPECT_GT(streamUnderruns, 0u);
    EXPECT_GT(periodsCounted.load(), 1000u);
    EXPECT_GT(completions, 100u);
    EXPECT_TRUE(std::filesystem::exists(dumpDir_ + "/buffer_debug_7_internal.dat"));
    EXPECT_EQ(heapOnDriverThread.load(), 0u);
    EXPECT_EQ(locksOnDriverThread.load(), 0u);
    EXPECT_EQ(blockingOnDriverThread.load(), 0u);
}

}  // namespace
}  // namespace asiochan
