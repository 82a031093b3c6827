// Careless callers in the host build: the shared table of bad inputs in every
// phase of a run, and the calls an application makes in the wrong order.
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <thread>

#include "driver/call_layer.h"
#include "driver/card_probe.h"
#include "driver/driver_list.h"
#include "asiochan.h"
#include "fileplay/fake_playback_service.h"
#include "fileplay/file_player.h"
#include "fileplay/wav_files.h"
#include "hardening/careless_calls.h"
#include "driver/installed_drivers_fixture.h"
#include "support/stream_fixture.h"

namespace asiochan {
namespace {

using Bytes = std::vector<std::uint8_t>;
using hardening::CarelessFiles;
using sim::Slot;
using testing::waitUntil;

// The exports as the table calls them.
struct HostApi {
#define ASIOCHAN_EXPORT(ret, name, params) decltype(&::name) name = &::name;
#include "wine/dll_export_list.h"
#undef ASIOCHAN_EXPORT
};

constexpr char kDriverName[] = "Careless test driver";
constexpr AsioLong kFrames = 32;
constexpr std::size_t kPeriod = kFrames * 4;

class CarelessCallerTest : public testing::InstalledDriversTest {
protected:
    void SetUp() override {
        InstalledDriversTest::SetUp();
        testing::setPlayerTiming(2, 20);
        files_.playable = folder_.write("ok.wav", testing::wavBytes({1, 100, 16}, testing::pcm16({1, 2, 3, 4})));
        files_.name199 = std::string(199, 'n');
        files_.name200 = std::string(200, 'n');
        files_.name4096 = std::string(4096, 'n');
        files_.missing = folder_.path() + "/no such file.wav";
        files_.directory = folder_.path();
    }
    void TearDown() override {
        releaseAsioDriver();
        testing::releaseEngineBlocksForTests();
        InstalledDriversTest::TearDown();
    }

    sim::SimConfig config(bool freeRunning = false) {
        sim::SimConfig c;
        c.outputs = 4;
        c.inputs = 4;
        c.bufferMin = 1;
        c.bufferPreferred = kFrames;
        c.keepCallLog = false;
        (void)freeRunning;
        return c;
    }

    // Loads the installed simulated driver, initializes and prepares a run, and
    // starts the busy streams below.
    void prepareBusyRun() {
        install(1, "careless", kDriverName, config());
        ASSERT_EQ(loadAsioDriver(kDriverName), 1);
        ASSERT_EQ(Initialize(), ASE_OK);
        ASSERT_EQ(Prepare(), ASE_OK);
        startBusyStreams();
    }

    // In a prepared run: a buffer playing on output 0, one playing and one queued
    // on output 1, a capture armed on input 2; started, and one period run.
    void startBusyStreams() {
        ASSERT_EQ(SetPlayBuffer(pcm_.data(), static_cast<std::int32_t>(pcm_.size()), 0), ASE_OK);
        ASSERT_EQ(SetPlayBuffer(pcm_.data(), static_cast<std::int32_t>(pcm_.size()), 1), ASE_OK);
        ASSERT_EQ(SetPlayBuffer(pcm_.data(), static_cast<std::int32_t>(pcm_.size()), 1), ASE_OK);
        ASSERT_EQ(SetCaptureBuffer(target_.data(), static_cast<std::int32_t>(target_.size()), 2), ASE_OK);
        StartPlayback();
        StartCapture();
        ASSERT_TRUE(last_->clock().step(1));
    }

    // Runs every row of the table: its answer, and nothing visible changed.
    void runTable(const char* phase) {
        HostApi api;
        Bytes scratch(256, 0xa5);
        const float singleVolume = testing::library().single.volume();
        const float multiVolume = testing::library().multiple.volume();
        const double rate = GetCurrentSampleRate();
        const std::uint64_t rateCalls = last_ ? last_->callCount(Slot::setSampleRate) : 0;
        const auto before = hardening::visibleState(api);
        const auto rows = hardening::carelessRows(api, files_, scratch.data());
        EXPECT_GT(rows.size(), 80u);
        for (const auto& row : rows) {
            EXPECT_EQ(row.call(), row.expected) << phase << ": " << row.what;
            EXPECT_TRUE(hardening::visibleState(api) == before) << phase << ": " << row.what << " changed the state";
        }
        EXPECT_EQ(scratch, Bytes(256, 0xa5)) << phase;
        EXPECT_EQ(testing::library().single.volume(), singleVolume);
        EXPECT_EQ(testing::library().multiple.volume(), multiVolume);
        EXPECT_EQ(GetCurrentSampleRate(), rate);
        if (last_) {
            EXPECT_EQ(last_->callCount(Slot::setSampleRate), rateCalls) << "a bad rate reached the driver";
        }
    }

    testing::TempFolder folder_;
    CarelessFiles files_;
    Bytes pcm_ = testing::ramp(4 * kPeriod, 1);
    Bytes target_ = Bytes(8 * kPeriod);
};

TEST_F(CarelessCallerTest, BadInputsInEveryPhaseGetTheirAnswerAndChangeNothing) {
    install(1, "careless", kDriverName, config());
    runTable("no driver loaded");
    ASSERT_EQ(getAsioDriverCount(), 1);
    ASSERT_EQ(loadAsioDriver(kDriverName), 1);
    runTable("loaded");
    ASSERT_EQ(Initialize(), ASE_OK);
    runTable("initialized");
    ASSERT_EQ(Prepare(), ASE_OK);
    startBusyStreams();
    if (HasFatalFailure()) return;
    runTable("streaming");
    // The run goes on as if nothing happened: output 1 plays its two buffers.
    ASSERT_TRUE(last_->clock().step(7));
    Bytes both = pcm_;
    both.insert(both.end(), pcm_.begin(), pcm_.end());
    EXPECT_EQ(last_->clock().recorded(1), both);
    EXPECT_EQ(Finish(), ASE_OK);
    runTable("finished");
    releaseAsioDriver();
    last_ = nullptr;  // released with the driver
    runTable("released");
}

TEST_F(CarelessCallerTest, FileNamesUpTo199BytesPlayLongerOnesAreRefused) {
    prepareBusyRun();
    // A folder whose name makes the file's path exactly 199 bytes, and one more.
    const std::string base = folder_.path() + "/";
    const std::string file = "/a.wav";
    const std::string dir199 = base + std::string(199 - base.size() - file.size(), 'd');
    const std::string dir200 = base + std::string(200 - base.size() - file.size(), 'e');
    std::filesystem::create_directory(dir199);
    std::filesystem::create_directory(dir200);
    const Bytes wav = testing::wavBytes({1, 100, 16}, testing::pcm16({5, 6, 7}));
    for (const auto& d : {dir199, dir200}) {
        if (std::FILE* f = std::fopen((d + file).c_str(), "wb")) {
            std::fwrite(wav.data(), 1, wav.size(), f);
            std::fclose(f);
        }
    }
    ASSERT_EQ((dir199 + file).size(), 199u);
    EXPECT_EQ(SingleChanelPlayStart((dir200 + file).c_str(), 3, 0), 0);
    EXPECT_EQ(MultipleChanelPlayStart((dir200 + file).c_str(), 0x8, 0), 0);
    EXPECT_EQ(SingleChanelPlayStart((dir199 + file).c_str(), 3, 0), 1);
    EXPECT_EQ(std::string(testing::library().single.path()), dir199 + file);
    SingleChanelPlayStop();
}

TEST_F(CarelessCallerTest, AFileRemovedWhileItLoopsEndsThePlayer) {
    install(1, "careless", kDriverName, config());
    ASSERT_EQ(loadAsioDriver(kDriverName), 1);
    ASSERT_EQ(Initialize(), ASE_OK);
    ASSERT_EQ(Prepare(), ASE_OK);
    const std::string path = folder_.write("gone.wav", testing::wavBytes({1, 100, 16}, testing::pcm16({1, 2, 3})));
    ASSERT_EQ(SingleChanelPlayStart(path.c_str(), 1, 1), 1);
    ASSERT_EQ(MultipleChanelPlayStart(path.c_str(), 0x4, 1), 1);
    // Keep periods coming so that the passes end and the file is opened again.
    std::atomic<bool> stop{false};
    std::thread clock([&] {
        while (!stop) last_->clock().step(1);
    });
    const auto bothPlaying =
        waitUntil("both players in play", [] { return IsSingleInPlay() == 1 && IsMultipleInPlay() == 1; });
    EXPECT_TRUE(bothPlaying);
    if (bothPlaying) {
        std::filesystem::remove(path);
        EXPECT_TRUE(waitUntil("both players to end once the file is gone",
                              [] { return IsSingleInPlay() == 0 && IsMultipleInPlay() == 0; }));
        EXPECT_TRUE(waitUntil("the multi-channel worker to give its channels back",
                              [] { return testing::library().multiple.heldChannels() == 0; }));
    }
    stop = true;
    clock.join();
    EXPECT_EQ(Finish(), ASE_OK);
}

// ---- Calls out of order ------------------------------------------------------------

TEST_F(CarelessCallerTest, EveryCallBeforeAnyDriverIsLoaded) {
    Bytes data(64, 1);
    EXPECT_EQ(Initialize(), ASE_NotPresent);
    EXPECT_EQ(SetSampleRate(48000.0), ASE_NotPresent);
    EXPECT_EQ(ASIOControlPanel(), ASE_NotPresent);
    AsiochanChannelInfo info{};
    EXPECT_EQ(ASIOGetChannelInfo(&info), ASE_NotPresent);
    EXPECT_EQ(GetOutputChannelCount() + GetInputChannelCount() + GetBufferSizePreferred(), 0);
    EXPECT_EQ(Prepare(), ASE_NotPresent);
    EXPECT_EQ(engine().runPrepared.load(), 0);
    // No input width is known: capture cannot be armed.
    const CaptureRequest request{target_.data(), 64, 0};
    EXPECT_EQ(CaptureBuff(&request, 1), ASE_InvalidMode);
    EXPECT_EQ(SetCaptureBuffer(target_.data(), 64, 0), ASE_NotPresent);  // never reset
    // A buffer is taken but never played; a stop while running drops it.
    EXPECT_EQ(SetPlayBuffer(data.data(), 64, 0), ASE_OK);
    StartPlayback();
    StopPlayback();
    EXPECT_EQ(engine().playbackChannels[0].next.load(), nullptr);
    EXPECT_EQ(SingleChanelPlayStart(files_.playable.c_str(), 0, 0), 0);
    EXPECT_EQ(MultipleChanelPlayStart(files_.playable.c_str(), 1, 0), 0);
    EXPECT_EQ(Finish(), ASE_NotPresent);
    releaseAsioDriver();  // no list yet: nothing happens
    EXPECT_EQ(testing::library().session.existingList(), nullptr);
    EXPECT_EQ(IsLxcardInsert(), 0);
}

TEST_F(CarelessCallerTest, ChannelCallsBeforePrepareAndAfterFinish) {
    install(1, "careless", kDriverName, config());
    ASSERT_EQ(loadAsioDriver(kDriverName), 1);
    ASSERT_EQ(Initialize(), ASE_OK);
    Bytes target(kPeriod, 0x5a);
    const CaptureRequest request{target.data(), static_cast<std::int32_t>(kPeriod), 0};
    // Before the first Prepare: no input width, channels never freed.
    EXPECT_EQ(SetCaptureBuffer(target.data(), static_cast<std::int32_t>(kPeriod), 0), ASE_NotPresent);
    EXPECT_EQ(CaptureBuff(&request, 1), ASE_InvalidMode);
    EXPECT_EQ(SetPlayBuffer(pcm_.data(), static_cast<std::int32_t>(pcm_.size()), 0), ASE_OK);  // kept, not played
    EXPECT_EQ(IsPortPlaybackRunning(0), 1);
    EXPECT_EQ(target, Bytes(kPeriod, 0x5a));
    ASSERT_EQ(Prepare(), ASE_OK);  // drops it
    EXPECT_EQ(IsPortPlaybackRunning(0), 0);
    EXPECT_EQ(engine().playbackChannels[0].next.load(), nullptr);
    ASSERT_EQ(Finish(), ASE_OK);

    // After Finish: taken, but nothing moves until the next run, which drops them.
    EXPECT_EQ(SetPlayBuffer(pcm_.data(), static_cast<std::int32_t>(pcm_.size()), 1), ASE_OK);
    StartPlayback();
    EXPECT_EQ(SetCaptureBuffer(target.data(), static_cast<std::int32_t>(kPeriod), 2), ASE_OK);
    StartCapture();
    EXPECT_EQ(IsPortPlaybackRunning(1), 1);
    EXPECT_EQ(IsPortCaptureRunning(2), 1);
    EXPECT_EQ(SingleChanelPlayStart(files_.playable.c_str(), 0, 0), 0);
    EXPECT_EQ(Initialize(), ASE_OK);  // allowed again once finished
    ASSERT_EQ(Prepare(), ASE_OK);
    EXPECT_EQ(IsPortPlaybackRunning(1), 0);
    EXPECT_EQ(IsPortCaptureRunning(2), 0);
    EXPECT_EQ(IsCaptureRunning(), 0);
    ASSERT_TRUE(last_->clock().step(2));
    EXPECT_EQ(target, Bytes(kPeriod, 0));  // zeroed when armed, never written after
    EXPECT_EQ(last_->clock().recorded(1), Bytes(2 * kPeriod, 0));
    EXPECT_EQ(Finish(), ASE_OK);
}

TEST_F(CarelessCallerTest, PrepareBeforeInitializeRunsNoPeriod) {
    install(1, "careless", kDriverName, config());
    ASSERT_EQ(loadAsioDriver(kDriverName), 1);
    // Counts and period size are still 0: the driver refuses the buffers.
    Prepare();
    EXPECT_EQ(engine().runPrepared.load(), 0);
    EXPECT_EQ(SingleChanelPlayStart(files_.playable.c_str(), 0, 0), 0);
    EXPECT_EQ(Initialize(), ASE_OK);  // nothing is prepared: allowed
    EXPECT_EQ(Prepare(), ASE_OK);
    EXPECT_EQ(engine().runPrepared.load(), 1);
    EXPECT_EQ(Finish(), ASE_OK);
}

TEST_F(CarelessCallerTest, PrepareTwiceFinishesTheFirstRun) {
    prepareBusyRun();
    sim::SimDriver& d = *last_;
    EXPECT_EQ(Prepare(), ASE_OK);
    EXPECT_EQ(d.callCount(Slot::stop), 1u);
    EXPECT_EQ(d.callCount(Slot::disposeBuffers), 1u);
    EXPECT_EQ(d.callCount(Slot::createBuffers), 2u);
    // The old run's buffers and capture are gone; the new run streams.
    EXPECT_EQ(IsPortPlaybackRunning(0), 0);
    EXPECT_EQ(IsPortPlaybackRunning(1), 0);
    EXPECT_EQ(IsPortCaptureRunning(2), 0);
    EXPECT_EQ(IsCaptureRunning(), 0);
    d.clock().clearRecordings();
    ASSERT_EQ(SetPlayBuffer(pcm_.data(), static_cast<std::int32_t>(pcm_.size()), 3), ASE_OK);
    StartPlayback();
    ASSERT_TRUE(d.clock().step(4));
    EXPECT_EQ(d.clock().recorded(3), pcm_);
    EXPECT_EQ(Finish(), ASE_OK);
}

TEST_F(CarelessCallerTest, InitializeWhilePreparedIsRefusedAndChangesNothing) {
    prepareBusyRun();
    sim::SimDriver& d = *last_;
    d.config().outputs = 2;  // what a second Initialize would read
    d.config().bufferPreferred = 64;
    EXPECT_EQ(Initialize(), ASE_InvalidMode);
    EXPECT_EQ(d.callCount(Slot::init), 1u);
    EXPECT_EQ(GetOutputChannelCount(), 4);
    EXPECT_EQ(GetBufferSizePreferred(), kFrames);
    ASSERT_TRUE(d.clock().step(3));
    EXPECT_EQ(d.clock().recorded(0), pcm_);  // the run went on undisturbed
    EXPECT_EQ(Finish(), ASE_OK);
    EXPECT_EQ(Initialize(), ASE_OK);
    EXPECT_EQ(GetOutputChannelCount(), 2);
}

TEST_F(CarelessCallerTest, LoadAndReleaseWhileStreamingFinishTheRunFirst) {
    prepareBusyRun();
    releaseAsioDriver();
    EXPECT_EQ(destroyed_.load(), 1);
    EXPECT_TRUE(fates_.stoppedBeforeRelease.load());
    EXPECT_FALSE(fates_.clockRunningAtRelease.load());
    EXPECT_EQ(engine().runPrepared.load(), 0);
    EXPECT_EQ(IsPortPlaybackRunning(0), 0);
    EXPECT_EQ(Prepare(), ASE_NotPresent);
    // Loaded again, prepared again, and loading again while streaming.
    ASSERT_EQ(loadAsioDriver(kDriverName), 1);
    ASSERT_EQ(Initialize(), ASE_OK);
    ASSERT_EQ(Prepare(), ASE_OK);
    ASSERT_EQ(SetPlayBuffer(pcm_.data(), static_cast<std::int32_t>(pcm_.size()), 0), ASE_OK);
    StartPlayback();
    ASSERT_TRUE(last_->clock().step(1));
    ASSERT_EQ(loadAsioDriver(kDriverName), 1);  // the same driver, a fresh object
    EXPECT_EQ(destroyed_.load(), 2);
    EXPECT_TRUE(fates_.stoppedBeforeRelease.load());
    EXPECT_EQ(IsPortPlaybackRunning(0), 0);
    ASSERT_EQ(Initialize(), ASE_OK);
    ASSERT_EQ(Prepare(), ASE_OK);
    ASSERT_EQ(SetPlayBuffer(pcm_.data(), static_cast<std::int32_t>(pcm_.size()), 0), ASE_OK);
    StartPlayback();
    ASSERT_TRUE(last_->clock().step(4));
    EXPECT_EQ(last_->clock().recorded(0), pcm_);
    EXPECT_EQ(Finish(), ASE_OK);
}

TEST_F(CarelessCallerTest, RefusedInitThenReleaseAndLoadAgain) {
    sim::SimConfig c = config();
    c.refuseInit = true;
    install(1, "careless", kDriverName, c);
    ASSERT_EQ(loadAsioDriver(kDriverName), 1);
    EXPECT_EQ(Initialize(), ASE_NotPresent);
    EXPECT_EQ(Prepare(), ASE_NotPresent);
    EXPECT_EQ(Finish(), ASE_NotPresent);
    releaseAsioDriver();
    EXPECT_EQ(destroyed_.load(), 1);  // the refused object was held and is released
    ASSERT_EQ(loadAsioDriver(kDriverName), 1);
    EXPECT_EQ(created_.load(), 2);
}

TEST_F(CarelessCallerTest, StopFailingDriverCanStillBeReleasedAndLoadedAgain) {
    sim::SimConfig c = config();
    c.failures = {{Slot::stop, ASE_HWMalfunction}};
    install(1, "careless", kDriverName, c);
    ASSERT_EQ(loadAsioDriver(kDriverName), 1);
    ASSERT_EQ(Initialize(), ASE_OK);
    ASSERT_EQ(Prepare(), ASE_OK);
    ASSERT_EQ(SetPlayBuffer(pcm_.data(), static_cast<std::int32_t>(pcm_.size()), 0), ASE_OK);
    StartPlayback();
    ASSERT_TRUE(last_->clock().step(1));
    EXPECT_EQ(Finish(), ASE_HWMalfunction);
    ASSERT_TRUE(last_->clock().step(2));  // the driver still calls; nothing happens
    releaseAsioDriver();
    EXPECT_EQ(destroyed_.load(), 1);
    ASSERT_EQ(loadAsioDriver(kDriverName), 1);
    ASSERT_EQ(Initialize(), ASE_OK);
    last_->config().failures.clear();
    ASSERT_EQ(Prepare(), ASE_OK);
    EXPECT_EQ(Finish(), ASE_OK);
}

TEST_F(CarelessCallerTest, PlayersStartOnlyIntoAPreparedRun) {
    install(1, "careless", kDriverName, config());
    ASSERT_EQ(loadAsioDriver(kDriverName), 1);
    ASSERT_EQ(Initialize(), ASE_OK);  // output channels known, no run yet
    EXPECT_EQ(SingleChanelPlayStart(files_.playable.c_str(), 0, 0), 0);
    EXPECT_EQ(MultipleChanelPlayStart(files_.playable.c_str(), 0x3, 0), 0);
    ASSERT_EQ(Prepare(), ASE_OK);
    EXPECT_EQ(SingleChanelPlayStart(files_.playable.c_str(), 0, 0), 1);
    EXPECT_EQ(MultipleChanelPlayStart(files_.playable.c_str(), 0x6, 0), 1);
    SingleChanelPlayStop();
    MultipleChanelPlayStop();
    EXPECT_EQ(Finish(), ASE_OK);
    ASSERT_TRUE(waitUntil("the multi-channel worker to give its channels back",
                          [] { return testing::library().multiple.heldChannels() == 0; }));
    EXPECT_EQ(SingleChanelPlayStart(files_.playable.c_str(), 0, 0), 0);
    EXPECT_EQ(MultipleChanelPlayStart(files_.playable.c_str(), 0x3, 0), 0);
}

}  // namespace
}  // namespace asiochan
