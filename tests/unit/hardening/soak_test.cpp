// The soak: the simulated driver free-running at 32-frame periods as fast as it
// can, both file players looping on channels of their own, and the application
// (this thread) queueing counted sample streams on four outputs, capturing four
// inputs, and now and then stopping playback, stopping capture or finishing and
// preparing the run again. A checker on the driver's thread reads every output
// half-buffer of every period: each channel's samples must come out in the order
// they were handed over, with silence only where its feeder fell behind; every
// completed capture must equal the driver's input pattern byte for byte. At the
// end the heap is back where it started.
//
// Periods: ASIOCHAN_SOAK_PERIODS, by default one million (fewer under the
// sanitizers, which slow every period down many times).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "asiochan.h"
#include "fileplay/file_player.h"
#include "fileplay/wav_files.h"
#include "hardening/stream_checker.h"
#include "support/allocation_counter.h"
#include "support/stream_fixture.h"

namespace asiochan {
namespace {

using Bytes = std::vector<std::uint8_t>;

#if defined(__SANITIZE_THREAD__)
constexpr std::uint64_t kDefaultPeriods = 100000;
#elif defined(__SANITIZE_ADDRESS__)
constexpr std::uint64_t kDefaultPeriods = 250000;
#else
constexpr std::uint64_t kDefaultPeriods = 1000000;
#endif

constexpr AsioLong kFrames = 32;
constexpr std::size_t kPeriodBytes = kFrames * 4;
using namespace hardening;

std::uint64_t soakPeriods() {
    if (const char* text = std::getenv("ASIOCHAN_SOAK_PERIODS")) return std::strtoull(text, nullptr, 10);
    return kDefaultPeriods;
}

// Runs on the driver's thread after every period.
struct Checker {
    // Odd while the application stops or re-prepares (blocks are dropped then);
    // a period that saw it change is not held to the order.
    std::atomic<std::uint32_t> resync{0};
    std::uint32_t seen = 0;
    StreamChecker streams;

    static void observe(void* self, const sim::ClockBuffer* buffers, std::size_t count, int half) {
        auto& k = *static_cast<Checker*>(self);
        const std::uint32_t r = k.resync.load(std::memory_order_seq_cst);
        const bool strict = r == k.seen && (r & 1) == 0;
        k.seen = r;
        for (std::size_t b = 0; b < count; ++b) {
            const sim::ClockBuffer& buffer = buffers[b];
            if (!buffer.isInput && buffer.channel >= 0)
                k.streams.check(static_cast<std::uint32_t>(buffer.channel), buffer.halves[half], buffer.bytesPerHalf,
                                strict);
        }
        k.streams.countPeriod();
    }
};

class SoakTest : public testing::StreamTest {
protected:
    void TearDown() override { StreamTest::TearDown(); }
};

TEST_F(SoakTest, MillionPeriodsPlayersApplicationAndStops) {
    const std::uint64_t target = soakPeriods();
    testing::setPlayerTiming(1, 5);
    testing::TempFolder folder;
    const std::string file = folder.write("soak.wav", testing::wavBytes({1, kFileRate, 24}, soakFileSamples<Bytes>()));

    Checker checker;
    sim::SimConfig c = smallDriver(8, 8, kFrames);
    c.keepCallLog = false;
    sim::ClockOptions clock;
    clock.freeRunning = true;
    clock.recordOutputs = false;
    clock.periodObserver = &Checker::observe;
    clock.observerContext = &checker;
    sim::SimDriver& d = prepareRun(c, clock);

    // Everything this thread needs is allocated before the heap is measured.
    std::mt19937 random(20261207);
    std::uint32_t counts[kAppChannels] = {1, 1, 1, 1};
    std::vector<std::uint32_t> words;
    words.reserve(64 * kFrames + 64);
    struct Window {
        Bytes bytes;
        std::int32_t length = 0;
        std::uint64_t armedAt = 0;  // periods the clock had run when the window was armed
        bool armed = false;
    };
    std::vector<Window> windows(kAppChannels);
    for (auto& w : windows) w.bytes.resize(96 * kPeriodBytes);
    std::uint64_t capturesChecked = 0, stops = 0, restarts = 0;
    char why[200] = {};

    // A warm-up run leaves the driver's and clock's own tables at their size.
    ASSERT_EQ(Finish(), ASE_OK);
    ASSERT_EQ(Prepare(), ASE_OK);
    ASSERT_EQ(Finish(), ASE_OK);
    testing::releaseEngineBlocksForTests();
    platform::sleepMs(100);  // the warm-up's clock thread frees its last bytes as it leaves
    const long long heapAtStart = testing::liveHeapBytes();
    testing::resetPeakHeapBytes();
    ASSERT_EQ(Prepare(), ASE_OK);
    ASSERT_EQ(SingleChanelPlayStart(file.c_str(), kSingleChannel, 1), 1);
    ASSERT_EQ(MultipleChanelPlayStart(file.c_str(), 1u << kMultiChannel, 1), 1);

    // A completed window must be a stretch of the input pattern that began at a
    // period at or after its arming.
    auto checkWindow = [&](int ch, const Window& w) {
        const std::uint64_t now = d.clock().periodsRun();
        const std::size_t bytes = static_cast<std::size_t>(w.length) / 4 * 4;
        for (std::uint64_t p = w.armedAt; p <= now; ++p) {
            const std::uint64_t at = p * kPeriodBytes;
            bool same = true;
            for (std::size_t i = 0; i < bytes && same; ++i) same = w.bytes[i] == sim::inputPatternByte(ch, at + i);
            if (same) return true;
        }
        std::snprintf(why, sizeof why, "capture on input %d (%d bytes armed at period %llu) is no stretch of its input",
                      ch, w.length, static_cast<unsigned long long>(w.armedAt));
        return false;
    };

    const auto began = std::chrono::steady_clock::now();
    std::uint64_t nextEvent = 2000;
    while (checker.streams.periods.load(std::memory_order_acquire) < target) {
        for (int ch = 0; ch < kAppChannels; ++ch) {
            if (IsCanSendNextPlaybackBuffer(static_cast<std::uint32_t>(ch)) == 1) {
                words.resize(1 + random() % (64 * kFrames));
                for (auto& word : words) {
                    word = appWord(ch, counts[ch]);
                    counts[ch] = nextCount(counts[ch]);
                }
                const std::int32_t r = SetPlayBuffer(words.data(), static_cast<std::int32_t>(words.size() * 4),
                                                     static_cast<std::uint32_t>(ch));
                ASSERT_EQ(r, ASE_OK);
                StartPlayback();
            }
            Window& w = windows[static_cast<std::size_t>(ch)];
            if (IsPortCaptureRunning(static_cast<std::uint32_t>(ch)) == 0) {
                if (w.armed) {
                    ASSERT_TRUE(checkWindow(ch, w)) << why;
                    ++capturesChecked;
                }
                w.length = static_cast<std::int32_t>(1 + random() % (96 * kPeriodBytes));
                w.armedAt = d.clock().periodsRun();
                if (random() % 4 == 0) {
                    std::memset(w.bytes.data(), 0, w.bytes.size());
                    const CaptureRequest request{w.bytes.data(), w.length, static_cast<std::uint32_t>(ch)};
                    ASSERT_EQ(CaptureBuff(&request, 1), ASE_OK);
                } else {
                    ASSERT_EQ(SetCaptureBuffer(w.bytes.data(), w.length, static_cast<std::uint32_t>(ch)), ASE_OK);
                    StartCapture();
                }
                w.armed = true;
            }
        }
        // Now and then (every few thousand periods) a stop or a new run, dropping
        // what is queued or armed.
        if (checker.streams.periods.load(std::memory_order_relaxed) >= nextEvent) {
            nextEvent += 2000 + random() % 16000;
            const std::uint32_t dice = random() % 3;
            checker.resync.fetch_add(1, std::memory_order_seq_cst);
            if (dice == 0) {
                StopPlayback();
            } else if (dice == 1) {
                StopCapture();
            } else {
                ASSERT_EQ(Finish(), ASE_OK);
                ASSERT_EQ(Prepare(), ASE_OK);
                ++restarts;
            }
            if (dice != 0)
                for (auto& w : windows) w.armed = false;
            checker.resync.fetch_add(1, std::memory_order_seq_cst);
            ++stops;
        }
        if (random() % 8 == 0) platform::yieldThread();
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    EXPECT_EQ(IsSingleInPlay(), 1);
    EXPECT_EQ(IsMultipleInPlay(), 1);

    // The end: players stopped and their workers gone, the run finished.
    SingleChanelPlayStop();
    MultipleChanelPlayStop();
    EXPECT_TRUE(testing::library().single.retire());
    EXPECT_TRUE(testing::library().multiple.retire());
    EXPECT_EQ(Finish(), ASE_OK);
    const long long peak = testing::peakHeapBytes() - heapAtStart;
    // Threads that just ended (the clock's, the players' workers) free their own
    // last bytes as they leave: give them a moment.
    for (int i = 0; i < 2000 && testing::liveHeapBytes() != heapAtStart; ++i) platform::sleepMs(1);
    const long long heapAtEnd = testing::liveHeapBytes();

    const std::uint64_t periods = checker.streams.periods.load();
    std::printf("soak: %llu periods in %.2f s, %.0f periods/s; %llu stops (%llu new runs), %llu captures checked\n",
                static_cast<unsigned long long>(periods), seconds, periods / seconds,
                static_cast<unsigned long long>(stops), static_cast<unsigned long long>(restarts),
                static_cast<unsigned long long>(capturesChecked));
    std::printf("soak: %llu samples played, %llu silent; peak heap %.1f KiB above the start\n",
                static_cast<unsigned long long>(checker.streams.wordsPlayed.load()),
                static_cast<unsigned long long>(checker.streams.wordsSilent.load()), peak / 1024.0);
    EXPECT_EQ(checker.streams.faults.load(), 0u) << checker.streams.firstFault;
    EXPECT_GE(periods, target);
    EXPECT_GT(capturesChecked, 10u);
    EXPECT_GT(checker.streams.wordsPlayed.load(), checker.streams.wordsSilent.load() / 8);
    EXPECT_EQ(heapAtEnd, heapAtStart) << "bytes still held after the soak";
}

}  // namespace
}  // namespace asiochan
