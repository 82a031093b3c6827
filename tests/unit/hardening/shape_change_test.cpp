// Channel calls racing a lifecycle call, made deterministic: a driver that
// pauses inside one of its slots while Prepare, Finish, Initialize or
// SetSampleRate calls it, at the moment the run's shape is half changed (during
// Prepare's channel queries the input width reads 0). Channel calls made
// meanwhile from other threads must wait for the lifecycle call and then work
// against the whole new shape; a block made for an earlier shape is refused; the
// file players follow a new run only while it keeps their channels' sample types.
#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "asiochan.h"
#include "engine/seam.h"
#include "fileplay/fake_playback_service.h"
#include "fileplay/wav_files.h"
#include "support/stream_fixture.h"

namespace asiochan {
namespace {

using Bytes = std::vector<std::uint8_t>;
using sim::Slot;
using testing::waitUntil;

constexpr AsioLong kFrames = 32;
constexpr std::uint32_t kPauseLimitMs = 10000;
// How long the channel calls are given to (wrongly) return while the lifecycle
// call is held. They must not return at all; this only bounds how long the test
// looks.
constexpr std::uint32_t kHeldLookMs = 150;

// A simulated driver that stops in the chosen slot until released.
class PausingDriver final : public sim::SimDriver {
public:
    using SimDriver::SimDriver;

    void pauseIn(Slot slot) { pauseAt_.store(static_cast<int>(slot)); }
    platform::Event reached;  // set once the pause began
    platform::Event release;

    ASIOError getChannels(AsioLong* inputs, AsioLong* outputs) override {
        pauseIf(Slot::getChannels);
        return SimDriver::getChannels(inputs, outputs);
    }
    ASIOError setSampleRate(ASIOSampleRate rate) override {
        pauseIf(Slot::setSampleRate);
        return SimDriver::setSampleRate(rate);
    }
    ASIOError getChannelInfo(ASIOChannelInfo* info) override {
        pauseIf(Slot::getChannelInfo);
        return SimDriver::getChannelInfo(info);
    }
    ASIOError createBuffers(ASIOBufferInfo* infos, AsioLong count, AsioLong frames, ASIOCallbacks* callbacks) override {
        pauseIf(Slot::createBuffers);
        return SimDriver::createBuffers(infos, count, frames, callbacks);
    }
    ASIOError disposeBuffers() override {
        pauseIf(Slot::disposeBuffers);
        return SimDriver::disposeBuffers();
    }

private:
    void pauseIf(Slot slot) {
        int expected = static_cast<int>(slot);
        if (!pauseAt_.compare_exchange_strong(expected, -1)) return;
        reached.set();
        release.wait(kPauseLimitMs);
    }
    std::atomic<int> pauseAt_{-1};
};

class ShapeChangeTest : public testing::StreamTest {
protected:
    PausingDriver& installPausing(sim::SimConfig config) {
        if (driver_) driver_->Release();
        auto* d = new PausingDriver(std::move(config));
        driver_ = d;
        driverCalls().setCurrent(d);
        return *d;
    }
    static sim::SimConfig sixteenBitDriver() {
        sim::SimConfig c = smallDriver(4, 4, kFrames);
        c.keepCallLog = false;
        c.inputType = ASIOSTInt16LSB;
        c.outputType = ASIOSTInt16LSB;
        return c;
    }
};

// One call made on a thread of its own; `answer` is valid once `returned`.
struct RacingCall {
    std::atomic<bool> returned{false};
    std::atomic<long long> answer{0};
    std::thread thread;

    template <typename Call>
    void start(Call call) {
        thread = std::thread([this, call] {
            answer = call();
            returned = true;
        });
    }
};

TEST_F(ShapeChangeTest, ChannelCallsWaitForTheLifecycleCallAndArmAgainstTheWholeNewShape) {
    struct Row {
        const char* what;
        Slot pausedIn;
        int lifecycle;  // 0 Prepare, 1 Finish, 2 Initialize, 3 SetSampleRate
        std::int32_t widthAfter;
        std::uint8_t playerAfter;  // what a player's start answers afterwards
    };
    const Row rows[] = {
        {"Prepare, during the channel queries (input width 0)", Slot::getChannelInfo, 0, 4, 1},
        {"Prepare, during the buffer creation (records reset, old widths)", Slot::createBuffers, 0, 4, 1},
        {"Finish, during the buffer disposal", Slot::disposeBuffers, 1, 2, 0},
        {"Initialize, during the channel count", Slot::getChannels, 2, 2, 0},
        {"SetSampleRate, during the driver's own", Slot::setSampleRate, 3, 2, 1},
    };
    std::int32_t (*const lifecycleCalls[])() = {Prepare, Finish, Initialize, [] { return SetSampleRate(48000.0); }};
    testing::TempFolder folder;
    const std::string wav = folder.write("tone.wav", testing::wavBytes({1, 100, 16}, testing::pcm16({1, 2, 3, 4})));
    const std::size_t periodBytes = kFrames * 4;
    const Bytes pcm = testing::ramp(4 * periodBytes, 9);

    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        // A run of 16-bit samples; the next Prepare finds 32-bit ones.
        PausingDriver& d = installPausing(sixteenBitDriver());
        ASSERT_EQ(Initialize(), ASE_OK);
        ASSERT_EQ(Prepare(), ASE_OK);
        if (row.lifecycle == 2) {
            ASSERT_EQ(Finish(), ASE_OK);  // Initialize is refused while prepared
        }
        d.config().inputType = ASIOSTInt32LSB;
        d.config().outputType = ASIOSTInt32LSB;
        d.pauseIn(row.pausedIn);

        const std::uint32_t shapeBefore = testing::library().engine.shape();
        RacingCall lifecycle;
        lifecycle.start([&] { return lifecycleCalls[row.lifecycle](); });
        ASSERT_TRUE(d.reached.wait(kPauseLimitMs)) << "the lifecycle call never reached the paused slot";

        Bytes single(4 * periodBytes, 0xee), listed(2 * periodBytes, 0xee);
        RacingCall arm, armList, queue, player;
        arm.start([&] { return SetCaptureBuffer(single.data(), static_cast<std::int32_t>(single.size()), 1); });
        armList.start([&] {
            const CaptureRequest r{listed.data(), static_cast<std::int32_t>(listed.size()), 2};
            return CaptureBuff(&r, 1);
        });
        queue.start([&] { return SetPlayBuffer(pcm.data(), static_cast<std::int32_t>(pcm.size()), 0); });
        player.start([&] { return SingleChanelPlayStart(wav.c_str(), 3, 0); });
        platform::sleepMs(kHeldLookMs);
        EXPECT_FALSE(arm.returned || armList.returned || queue.returned || player.returned)
            << "a channel call returned while the lifecycle call was half done";

        d.release.set();
        RacingCall* all[] = {&lifecycle, &arm, &armList, &queue, &player};
        for (RacingCall* call : all) ASSERT_TRUE(waitUntil("the racing call to return", [call] { return call->returned.load(); }));
        for (RacingCall* call : all) call->thread.join();
        EXPECT_EQ(lifecycle.answer, ASE_OK);
        EXPECT_NE(testing::library().engine.shape(), shapeBefore) << "the shape number did not move";
        EXPECT_EQ(arm.answer, ASE_OK);
        EXPECT_EQ(armList.answer, ASE_OK);
        EXPECT_EQ(queue.answer, ASE_OK);
        EXPECT_EQ(player.answer, row.playerAfter);
        // Each capture was armed whole against the width of the shape it saw.
        EXPECT_EQ(engine().sampleSize[0].load(), row.widthAfter);
        EXPECT_EQ(engine().captureChannels[1].framesLeft.load(),
                  static_cast<std::int32_t>(single.size()) / row.widthAfter);
        EXPECT_EQ(engine().captureChannels[2].framesLeft.load(),
                  static_cast<std::int32_t>(listed.size()) / row.widthAfter);

        if (row.lifecycle == 0) {
            // The new run: both captures complete with the input, the block plays whole.
            SingleChanelPlayStop();
            StartCapture();
            StartPlayback();
            step(4);
            EXPECT_TRUE(captureDone(1) && captureDone(2));
            Bytes expected(single.size());
            for (std::size_t i = 0; i < expected.size(); ++i) expected[i] = sim::inputPatternByte(1, i);
            EXPECT_EQ(single, expected);
            EXPECT_EQ(Bytes(played(0).begin(), played(0).begin() + static_cast<std::ptrdiff_t>(pcm.size())), pcm);
        }
        SingleChanelPlayStop();
        ASSERT_TRUE(testing::library().single.retire());
        Finish();
        d.clock().stop();
    }
}

// A block handed over with the shape it was made for (as the players' blocks
// are) is queued only into that shape: one made before a lifecycle call is
// refused after it, and nothing of it plays.
TEST_F(ShapeChangeTest, ABlockMadeForAnotherShapeIsRefused) {
    struct Row {
        const char* what;
        std::vector<std::int32_t (*)()> between;  // the calls made after the block was made
        std::uint32_t ahead;                      // added to the shape it was made for
        std::int32_t answer;
    };
    const Row rows[] = {
        {"made before a second Prepare", {Prepare}, 0, ASE_InvalidMode},
        {"made before a Finish and a Prepare", {Finish, Prepare}, 0, ASE_InvalidMode},
        {"made before a sample rate change", {[] { return SetSampleRate(48000.0); }}, 0, ASE_InvalidMode},
        {"made for a shape not yet given out", {}, 1, ASE_InvalidMode},
        {"made for this run", {}, 0, ASE_OK},
    };
    prepareRun(smallDriver(2, 2, kFrames));
    Engine& e = testing::library().engine;
    const Bytes pcm = testing::ramp(2 * kFrames * 4, 5);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ASSERT_EQ(Prepare(), ASE_OK);  // every row starts from a fresh run with idle channels
        const std::uint32_t madeFor = e.shape() + row.ahead;
        for (auto call : row.between) ASSERT_EQ(call(), ASE_OK);
        EXPECT_EQ(e.setPlayBufferOfShape(pcm.data(), static_cast<std::int32_t>(pcm.size()), 0, madeFor), row.answer);
        StartPlayback();
        step(1);
        const bool queued = row.answer == ASE_OK;
        EXPECT_EQ(lastPeriod(0) == Bytes(pcm.begin(), pcm.begin() + kFrames * 4), queued);
        EXPECT_EQ(IsPortPlaybackRunning(0), queued ? 1 : 0);
    }
}

// The player's worker, at its look at a run that has changed: the seam there
// prepares the run again (once), as a Prepare on another thread completing just
// after the look would.
std::atomic<bool> prepareAtTheLook{false};
std::atomic<std::int32_t> preparedAtTheLook{1};
void prepareAfterThePlayersLook(const char* where) {
    if (std::strcmp(where, "player: after the look at the run") == 0 && prepareAtTheLook.exchange(false))
        preparedAtTheLook.store(Prepare());
}

// A player started in one run and a new run prepared under it: it goes on when
// its channel keeps its sample type, also when the Prepare completes right after
// the player looked and found no run, and ends, without a block in the old
// layout reaching the new run, when the type changed.
TEST_F(ShapeChangeTest, APlayerFollowsANewRunOnlyWhileItKeepsTheChannelsType) {
    testing::setPlayerTiming(1, 5);
    testing::TempFolder folder;
    std::vector<std::int16_t> loud(400, 0x4000);
    const std::string wav = folder.write("loud.wav", testing::wavBytes({1, 100, 16}, testing::pcm16(loud)));
    const struct {
        const char* name;
        ASIOSampleType next;
        bool afterTheLook;  // prepared by the player's worker right after its look
    } rows[] = {{"same type", ASIOSTInt32LSB, false},
                {"same type, prepared right after the player's look", ASIOSTInt32LSB, true},
                {"new type", ASIOSTFloat32LSB, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        PausingDriver& d = installPausing(smallDriver(4, 4, kFrames));
        ASSERT_EQ(Initialize(), ASE_OK);
        ASSERT_EQ(Prepare(), ASE_OK);
        ASSERT_EQ(SingleChanelPlayStart(wav.c_str(), 1, 1), 1);
        ASSERT_TRUE(waitUntil("output 1 to play", [] { return IsPortPlaybackRunning(1) == 1; }));
        prepareAtTheLook.store(row.afterTheLook);
        preparedAtTheLook.store(1);
        seam::setHandler(&prepareAfterThePlayersLook);
        ASSERT_EQ(Finish(), ASE_OK);
        // The player's worker may be preparing already in the row where it does.
        if (!row.afterTheLook) d.config().outputType = row.next;
        if (row.afterTheLook) {
            EXPECT_TRUE(waitUntil("the player's worker to prepare the run", [] { return preparedAtTheLook.load() != 1; }));
            EXPECT_EQ(preparedAtTheLook.load(), ASE_OK);
        } else {
            ASSERT_EQ(Prepare(), ASE_OK);
        }
        if (row.next == ASIOSTInt32LSB) {
            EXPECT_TRUE(waitUntil("the player to go on in the new run", [] { return IsPortPlaybackRunning(1) == 1; }));
            EXPECT_EQ(IsSingleInPlay(), 1);
        } else {
            EXPECT_TRUE(waitUntil("the player to end", [] { return IsSingleInPlay() == 0; }));
            EXPECT_EQ(IsPortPlaybackRunning(1), 0) << "a block laid out for the run before was queued";
        }
        seam::setHandler(nullptr);
        SingleChanelPlayStop();
        ASSERT_TRUE(testing::library().single.retire());
        Finish();
        d.clock().stop();
    }
}

}  // namespace
}  // namespace asiochan
