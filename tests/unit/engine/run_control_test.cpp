#include "asiochan.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <thread>

#include "engine/callbacks.h"
#include "support/stream_fixture.h"

namespace asiochan {
namespace {

using sim::Slot;

// The ids of this process's threads.
// The process's threads. The first call starts and joins a thread of its own
// first, so that a helper thread a runtime starts with the process's first thread
// (ThreadSanitizer's) is there before any count.
std::vector<std::string> threadIds() {
    static const bool warm = [] {
        std::thread([] {}).join();
        return true;
    }();
    static_cast<void>(warm);
    std::vector<std::string> ids;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
        ids.push_back(entry.path().filename().string());
    std::sort(ids.begin(), ids.end());
    return ids;
}

class RunControlTest : public testing::StreamTest {
protected:
    sim::SimConfig twoOutFourIn() {
        sim::SimConfig c = smallDriver(2, 4, 128);
        c.inputType = ASIOSTInt24LSB;
        c.outputType = ASIOSTInt16LSB;
        return c;
    }
    const sim::CallRecord* lastCall(Slot slot) {
        calls_ = driver_->calls();
        for (auto it = calls_.rbegin(); it != calls_.rend(); ++it)
            if (it->slot == slot) return &*it;
        return nullptr;
    }
    std::vector<sim::CallRecord> calls_;
};

TEST_F(RunControlTest, PrepareLaysOutOutputsThenInputsAndStarts) {
    sim::SimDriver& d = prepareRun(twoOutFourIn());
    const sim::CallRecord* create = lastCall(Slot::createBuffers);
    ASSERT_NE(create, nullptr);
    EXPECT_EQ(create->args[0], reinterpret_cast<std::uintptr_t>(engine().bufferInfoTable));
    EXPECT_EQ(create->args[1], 6u);
    EXPECT_EQ(create->args[2], 128u);
    EXPECT_EQ(create->args[3], reinterpret_cast<std::uintptr_t>(&engine().callbacks));
    const std::pair<ASIOBool, AsioLong> expected[] = {{0, 0}, {0, 1}, {1, 0}, {1, 1}, {1, 2}, {1, 3}};
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(engine().bufferInfoTable[k].isInput, expected[k].first) << k;
        EXPECT_EQ(engine().bufferInfoTable[k].channelNum, expected[k].second) << k;
        const void* half = engine().bufferInfoTable[k].buffers[0];  // a copy: the packed field is misaligned here
        EXPECT_NE(half, nullptr) << k;
        EXPECT_EQ(engine().channelInfoTable[k].channel, expected[k].second) << k;
    }
    EXPECT_EQ(engine().inputBufferCount.load(), 4);
    EXPECT_EQ(engine().outputBufferCount.load(), 2);
    EXPECT_EQ(engine().sampleSize[0].load(), 3);
    EXPECT_EQ(engine().sampleSize[1].load(), 2);
    EXPECT_EQ(GetInputLatency(), 256);
    EXPECT_EQ(GetOutputLatency(), 512);
    const ASIOCallbacks callbacks = engine().callbacks;  // a copy: packed fields are misaligned here
    EXPECT_TRUE(callbacks.bufferSwitch == &bufferSwitch);
    EXPECT_TRUE(callbacks.sampleRateDidChange == &sampleRateDidChange);
    EXPECT_TRUE(callbacks.asioMessage == &asioMessage);
    EXPECT_TRUE(callbacks.bufferSwitchTimeInfo == &bufferSwitchTimeInfo);
    EXPECT_EQ(engine().runPrepared.load(), 1);
    EXPECT_TRUE(d.started());
    for (int i = 0; i < kMaxChannels; ++i) EXPECT_EQ(IsCanSendNextPlaybackBuffer(i), 1);
    for (int i = 0; i < 2; ++i) EXPECT_EQ(IsPortPlaybackRunning(i), 0);
    for (int j = 0; j < 4; ++j) EXPECT_EQ(IsPortCaptureRunning(j), 0);
    // Records beyond the device's channels are left as they were (never reset).
    EXPECT_EQ(IsPortPlaybackRunning(2), 1);
    EXPECT_EQ(IsPortCaptureRunning(4), 1);
}

TEST_F(RunControlTest, RefusedBufferCreationIsNotReportedAndNothingIsLearnt) {
    sim::SimConfig c = twoOutFourIn();
    c.failures = {{Slot::createBuffers, ASE_InvalidMode}};
    install(c);
    ASSERT_EQ(Initialize(), ASE_OK);
    EXPECT_EQ(Prepare(), ASE_OK);
    EXPECT_EQ(driver_->callCount(Slot::getChannelInfo), 0u);
    EXPECT_EQ(driver_->callCount(Slot::getLatencies), 0u);
    EXPECT_EQ(driver_->callCount(Slot::start), 1u);
    EXPECT_EQ(engine().sampleSize[0].load(), 0);
    EXPECT_EQ(engine().runPrepared.load(), 0);
}

TEST_F(RunControlTest, LatenciesAreReadOnlyWhenTheLastChannelQueryWorked) {
    struct Case {
        sim::SimConfig::ChannelRef refused;
        bool latenciesRead;
    };
    for (const Case& k : {Case{{true, 3}, false}, Case{{false, 0}, true}, Case{{true, 1}, true}}) {
        sim::SimConfig c = twoOutFourIn();
        c.channelInfoRefused = {k.refused};
        install(c);
        ASSERT_EQ(Initialize(), ASE_OK);
        EXPECT_EQ(Prepare(), ASE_OK);
        EXPECT_EQ(driver_->callCount(Slot::getChannelInfo), 6u);
        EXPECT_EQ(driver_->callCount(Slot::getLatencies), k.latenciesRead ? 1u : 0u);
        EXPECT_EQ(GetInputLatency(), k.latenciesRead ? 256 : 0);
        EXPECT_EQ(Finish(), ASE_OK);
        testing::freshLibrary();
    }
}

TEST_F(RunControlTest, FinishStopsDisposesAndFreesTheRecords) {
    const std::vector<std::string> threadsBefore = threadIds();
    sim::SimDriver& d = prepareRun(smallDriver(2, 2, 64));
    std::vector<std::uint8_t> data(256, 1), target(512);
    // Blocks held while nothing runs: queued playback and an armed, unstarted capture.
    ASSERT_EQ(SetPlayBuffer(data.data(), 256, 0), ASE_OK);
    ASSERT_EQ(SetPlayBuffer(data.data(), 256, 0), ASE_OK);
    ASSERT_EQ(SetCaptureBuffer(target.data(), 512, 1), ASE_OK);
    EXPECT_EQ(Finish(), ASE_OK);
    EXPECT_EQ(d.callCount(Slot::stop), 1u);
    EXPECT_EQ(d.callCount(Slot::disposeBuffers), 1u);
    EXPECT_FALSE(d.clock().running());
    EXPECT_EQ(engine().runPrepared.load(), 0);
    EXPECT_EQ(IsPortPlaybackRunning(0), 0);
    EXPECT_EQ(engine().playbackChannels[0].current.load(), nullptr);
    EXPECT_EQ(engine().playbackChannels[0].next.load(), nullptr);
    EXPECT_EQ(IsPortCaptureRunning(1), 0);
    EXPECT_EQ(engine().captureChannels[1].copyStart.load(), nullptr);
    EXPECT_EQ(IsCanSendNextPlaybackBuffer(0), 1);
    // The library's thread ends by itself about a second after Finish.
    EXPECT_TRUE(testing::waitUntil("the threads the run started to end", [&] {
        const std::vector<std::string> now = threadIds();
        return std::includes(threadsBefore.begin(), threadsBefore.end(), now.begin(), now.end());
    }));

    // A new run without a new Initialize.
    EXPECT_EQ(Prepare(), ASE_OK);
    EXPECT_EQ(d.callCount(Slot::createBuffers), 2u);
    EXPECT_EQ(d.callCount(Slot::start), 2u);
    EXPECT_TRUE(d.clock().running());
}

TEST_F(RunControlTest, RefusedStopSkipsDisposingButResetsTheRecords) {
    sim::SimDriver& d = prepareRun(smallDriver(2, 2, 64));
    std::vector<std::uint8_t> data(256, 1);
    ASSERT_EQ(SetPlayBuffer(data.data(), 256, 1), ASE_OK);
    d.config().failures = {{Slot::stop, ASE_HWMalfunction}};
    EXPECT_EQ(Finish(), ASE_HWMalfunction);
    EXPECT_EQ(d.callCount(Slot::disposeBuffers), 0u);
    EXPECT_EQ(IsPortPlaybackRunning(1), 0);
    EXPECT_EQ(engine().runPrepared.load(), 0);
    // The driver goes on calling; a finished run does nothing with those periods.
    auto& in = d.buffers()[2].halves[0];
    std::fill(in.begin(), in.end(), std::uint8_t{0x5a});
    StartCapture();
    ASSERT_TRUE(d.clock().step(2));
    EXPECT_EQ(in[0], sim::inputPatternByte(0, 0));  // the driver's input, not cleared by a capture
    EXPECT_EQ(d.buffers()[0].halves[0][0], 0);
}

TEST_F(RunControlTest, WithoutDriverBothAnswerNotPresent) {
    EXPECT_EQ(Prepare(), ASE_NotPresent);
    for (int i = 0; i < kMaxChannels; ++i) EXPECT_EQ(IsCanSendNextPlaybackBuffer(i), 1);
    EXPECT_EQ(engine().playbackRunning(), 0);
    EXPECT_EQ(engine().captureRunning(), 0);
    EXPECT_EQ(engine().runPrepared.load(), 0);
    EXPECT_EQ(Finish(), ASE_NotPresent);
}

}  // namespace
}  // namespace asiochan
