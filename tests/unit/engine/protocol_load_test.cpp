// The hand-over protocol under load: application threads queue, release, arm,
// stop and re-prepare at random while the driver's thread runs periods as fast as
// it can. Run under ThreadSanitizer and AddressSanitizer this must stay silent;
// here it also checks that no byte from one channel's buffers turns up elsewhere.
#include <atomic>
#include <cstdio>
#include <random>
#include <shared_mutex>
#include <thread>

#include "asiochan.h"
#include "platform/host/host_control.h"
#include "support/stream_fixture.h"

namespace asiochan {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kOutputs = 6;
constexpr int kInputs = 6;
constexpr AsioLong kFrames = 32;
constexpr std::size_t kPeriod = kFrames * 4;

// Playback bytes of channel c are all 0x10 + c, so silence (0) and that value are
// the only bytes its recorded output may hold.
std::uint8_t fillOf(int channel) { return static_cast<std::uint8_t>(0x10 + channel); }

class ProtocolLoadTest : public testing::StreamTest {};

TEST_F(ProtocolLoadTest, ApplicationThreadsAndTheDriverThreadNeverTrip) {
    platform::host::mapDrive('D', "");  // dumps are skipped: completion stays quick
    sim::SimConfig c = smallDriver(kOutputs, kInputs, kFrames);
    c.keepCallLog = false;
    sim::ClockOptions clock;
    clock.freeRunning = true;
    clock.recordLimitBytes = 1 << 20;
    sim::SimDriver& d = prepareRun(c, clock);

    // Calls for one channel must not overlap, and the calls that touch every
    // channel (stops, Finish, Prepare) must not overlap per-channel calls: the
    // workers take this lock shared for each call, the controller exclusively.
    std::shared_mutex lifecycle;
    std::atomic<bool> controllerWaiting{false};  // workers step aside so the controller gets its turn
    std::atomic<bool> stop{false};
    std::atomic<std::uint64_t> operations{0};
    std::atomic<std::uint64_t> lifecycleOperations{0};

    // Capture buffers stay alive for the whole test; the engine may write into them
    // while armed.
    std::vector<Bytes> targets(kInputs, Bytes(8 * kPeriod));

    auto worker = [&](int first, unsigned seed) {
        std::mt19937 random(seed);
        Bytes data;
        while (!stop.load()) {
            while (controllerWaiting.load()) std::this_thread::yield();
            std::shared_lock<std::shared_mutex> guard(lifecycle);
            const int ch = first + static_cast<int>(random() % 3);
            switch (random() % 8) {
                case 0:
                case 1:
                case 2:
                    if (IsCanSendNextPlaybackBuffer(ch) == 1) {
                        data.assign(kPeriod / 2 + random() % (3 * kPeriod), fillOf(ch));
                        const std::int32_t r = SetPlayBuffer(data.data(), static_cast<std::int32_t>(data.size()), ch);
                        EXPECT_TRUE(r == ASE_OK || r == ASE_InvalidMode) << r;
                        StartPlayback();
                    }
                    break;
                case 3:
                    testing::library().engine.releasePlaybackChannel(static_cast<std::uint32_t>(ch));
                    break;
                case 4:
                    if (IsPortCaptureRunning(ch) == 0) {
                        const std::int32_t length = static_cast<std::int32_t>(kPeriod + random() % (6 * kPeriod));
                        if (SetCaptureBuffer(targets[ch].data(), length, ch) == ASE_OK) StartCapture();
                    }
                    break;
                case 5: {
                    const CaptureRequest request{targets[ch].data(),
                                                 static_cast<std::int32_t>(random() % (8 * kPeriod)),
                                                 static_cast<std::uint32_t>(ch)};
                    EXPECT_EQ(CaptureBuff(&request, 1), ASE_OK);
                    break;
                }
                default:
                    IsPortPlaybackRunning(ch);
                    IsPortCaptureRunning(ch);
                    IsCaptureRunning();
                    break;
            }
            operations.fetch_add(1);
        }
    };

    auto controller = [&] {
        std::mt19937 random(99);
        while (!stop.load()) {
            std::this_thread::sleep_for(std::chrono::microseconds(200 + random() % 2000));
            controllerWaiting = true;
            std::unique_lock<std::shared_mutex> guard(lifecycle);
            controllerWaiting = false;
            switch (random() % 4) {
                case 0:
                    StopPlayback();
                    break;
                case 1:
                    StopCapture();
                    break;
                case 2:
                    EXPECT_EQ(Finish(), ASE_OK);
                    EXPECT_EQ(Prepare(), ASE_OK);
                    break;
                default:
                    StopPlayback();
                    StopCapture();
                    break;
            }
            lifecycleOperations.fetch_add(1);
        }
    };

    std::thread a(worker, 0, 1u), b(worker, 3, 2u), control(controller);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    stop = true;
    a.join();
    b.join();
    control.join();
    EXPECT_EQ(Finish(), ASE_OK);

    EXPECT_GT(operations.load(), 1000u);
    EXPECT_GT(lifecycleOperations.load(), 20u);
    EXPECT_GT(d.callCount(sim::Slot::outputReady), 1000u);  // one per period, over all runs
    std::printf("load: %llu channel calls, %llu stops or re-prepares, %llu periods\n",
                static_cast<unsigned long long>(operations.load()),
                static_cast<unsigned long long>(lifecycleOperations.load()),
                static_cast<unsigned long long>(d.callCount(sim::Slot::outputReady)));
    // The recordings are those of the last run.
    for (int ch = 0; ch < kOutputs; ++ch) {
        for (std::uint8_t byte : played(ch))
            if (byte != 0 && byte != fillOf(ch)) {
                ADD_FAILURE() << "channel " << ch << " played a foreign byte " << int(byte);
                break;
            }
    }
    // Everything is back in the application's hands.
    for (int ch = 0; ch < kOutputs; ++ch) {
        EXPECT_EQ(IsPortPlaybackRunning(ch), 0);
        EXPECT_EQ(engine().playbackChannels[ch].current.load(), nullptr);
        EXPECT_EQ(engine().playbackChannels[ch].next.load(), nullptr);
    }
    for (int ch = 0; ch < kInputs; ++ch) {
        EXPECT_EQ(IsPortCaptureRunning(ch), 0);
        EXPECT_EQ(engine().captureChannels[ch].copyStart.load(), nullptr);
    }
}

}  // namespace
}  // namespace asiochan
