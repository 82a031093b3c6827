// The soak through the DLL: the stepped simulated driver at 32-frame periods,
// run continuously by a thread of this host; both file players looping on
// channels of their own; this thread queueing counted streams on four outputs,
// capturing four inputs, and now and then stopping or finishing and preparing
// again. Each run's recorded outputs are checked period by period with the
// host soak's checker, every completed capture against the driver's input
// pattern; at the end the process heap is back where it started.
//
// Periods: ASIOCHAN_SOAK_PERIODS, by default 200 000.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "hardening/stream_checker.h"
#include "wine/dll_exports.h"
#include "wine/sim_control.h"
#include "wine/wine_check.h"
#include "wine/wine_files.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace asiochan::hardening;

constexpr std::int32_t kFrames = 32;
constexpr std::size_t kPeriodBytes = kFrames * 4;
constexpr std::int64_t kRunLimit = 20000;  // periods before a run is checked and a new one begun

// Runs the stepped driver's periods in batches until told to pause or end.
struct Stepper {
    SimControl* sim = nullptr;
    volatile LONG pause = 0;
    volatile LONG paused = 0;
    volatile LONG end = 0;
    HANDLE thread = nullptr;

    static DWORD WINAPI main(void* self) {
        auto& s = *static_cast<Stepper*>(self);
        while (InterlockedCompareExchange(&s.end, 0, 0) == 0) {
            if (InterlockedCompareExchange(&s.pause, 0, 0) != 0) {
                InterlockedExchange(&s.paused, 1);
                Sleep(0);
                continue;
            }
            InterlockedExchange(&s.paused, 0);
            s.sim->simRunPeriods(128);
        }
        return 0;
    }
    void hold() {
        InterlockedExchange(&pause, 1);
        while (InterlockedCompareExchange(&paused, 0, 0) == 0) Sleep(0);
    }
    void resume() {
        InterlockedExchange(&paused, 0);
        InterlockedExchange(&pause, 0);
    }
};

// Bytes in use in the blocks of the process heap.
long long heapInUse() {
    long long bytes = 0;
    HANDLE heap = GetProcessHeap();
    HeapLock(heap);
    PROCESS_HEAP_ENTRY entry;
    entry.lpData = nullptr;
    while (HeapWalk(heap, &entry))
        if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) bytes += entry.cbData;
    HeapUnlock(heap);
    return bytes;
}

std::uint64_t soakPeriods() {
    if (const char* text = std::getenv("ASIOCHAN_SOAK_PERIODS")) return std::strtoull(text, nullptr, 10);
    return 200000;
}

}  // namespace

WINE_TEST(soak, players_application_and_stops_through_the_dll) {
    AsiochanDll& d = dll();
    const std::uint64_t target = soakPeriods();
    const TempFolder folder("soak");
    const std::string file = folder.path() + "\\soak.wav";
    WCHECK(writeFile(file, wavFile(1, kFileRate, 24, soakFileSamples<Bytes>())));

    WCHECK_EQ(d.loadAsioDriver(kSteppedDriverName), 1);
    SimControl sim;
    WCHECK(sim.resolve() && sim.resolveBufferFrames());
    if (sim.simSetBufferFrames == nullptr) return;
    WCHECK_EQ(sim.simSetBufferFrames(kFrames), 1);
    WCHECK_EQ(d.Initialize(), 0);
    WCHECK_EQ(d.GetBufferSizePreferred(), kFrames);

    // Everything this thread needs is allocated before the heap is measured; a
    // warm-up run without recordings leaves the driver's tables at their size.
    StreamChecker checker;
    std::mt19937 random(20261207);
    std::uint32_t counts[kAppChannels] = {1, 1, 1, 1};
    std::vector<std::uint32_t> words;
    words.reserve(64 * kFrames + 64);
    struct Window {
        Bytes bytes;
        std::int32_t length = 0;
        std::int64_t armedAt = 0;
        bool armed = false;
    };
    std::vector<Window> windows(kAppChannels);
    for (auto& w : windows) w.bytes.resize(96 * kPeriodBytes);
    Bytes recording(static_cast<std::size_t>(2 * kRunLimit) * kPeriodBytes);
    std::vector<std::pair<std::int64_t, std::int64_t>> stopRanges;
    stopRanges.reserve(1024);
    std::uint64_t periodsDone = 0, capturesChecked = 0, stops = 0, runs = 0;

    // The thread that runs the periods lives from before the warm-up to after the
    // last measurement, held whenever this thread works on the run itself.
    Stepper stepper;
    stepper.sim = &sim;
    stepper.pause = 1;
    stepper.thread = CreateThread(nullptr, 0, &Stepper::main, &stepper, 0, nullptr);
    WCHECK(stepper.thread != nullptr);
    if (stepper.thread == nullptr) return;
    stepper.hold();

    // The warm-up also runs both players once: the end then holds what the start
    // held (the handles of the players' ended workers among it).
    WCHECK_EQ(sim.simConfigureClock(0, 0, 0, 0), 1);
    WCHECK_EQ(d.Prepare(), 0);
    WCHECK_EQ(d.SingleChanelPlayStart(file.c_str(), kSingleChannel, 1), 1);
    WCHECK_EQ(d.MultipleChanelPlayStart(file.c_str(), 1u << kMultiChannel, 1), 1);
    WCHECK(waitFor([&] { return d.IsSingleInPlay() == 1 && d.IsMultipleInPlay() == 1; }));
    // ... and each kind of application call once (the C runtime sets up some of
    // its tables at their first use, for good).
    words.assign(100, appWord(0, 1));
    WCHECK_EQ(d.SetPlayBuffer(words.data(), 400, 0), 0);
    d.StartPlayback();
    WCHECK_EQ(d.SetCaptureBuffer(windows[0].bytes.data(), 256, 0), 0);
    d.StartCapture();
    WCHECK_EQ(sim.simRunPeriods(4), 1);
    WCHECK(waitFor([&] { return d.IsPortCaptureRunning(0) == 0; }));  // done once its dump is written
    d.StopPlayback();
    d.StopCapture();
    d.SingleChanelPlayStop();
    d.MultipleChanelPlayStop();
    Sleep(300);  // the workers end within a pause slice of their stop
    WCHECK_EQ(d.Finish(), 0);
    // The C runtime keeps what it sets up for a file slot it uses for the first
    // time: open more files at once than the run will (players and dump writers).
    std::FILE* open[8];
    for (std::FILE*& f : open) f = std::fopen(file.c_str(), "rb");
    for (std::FILE* f : open)
        if (f != nullptr) std::fclose(f);
    // After Finish the library's own thread ends within about a second; the heap
    // is compared between two such quiet moments.
    Sleep(1500);
    const long long heapAtStart = heapInUse();
    WCHECK_EQ(sim.simConfigureClock(0, 0, 0, 1), 1);
    WCHECK_EQ(d.Prepare(), 0);
    WCHECK_EQ(d.SingleChanelPlayStart(file.c_str(), kSingleChannel, 1), 1);
    WCHECK_EQ(d.MultipleChanelPlayStart(file.c_str(), 1u << kMultiChannel, 1), 1);

    stepper.resume();

    // Checks the recorded outputs of the run that is ending (the stepper is held).
    // The first period of a run may follow anything: the run before dropped its
    // blocks.
    auto checkRun = [&] {
        const std::int64_t periods = sim.simPeriodsRun();
        for (std::uint32_t ch : {0u, 1u, 2u, 3u, kSingleChannel, kMultiChannel}) {
            const std::int32_t n = sim.simOutputRecording(static_cast<std::int32_t>(ch), recording.data(),
                                                          static_cast<std::int32_t>(recording.size()));
            WCHECK(n >= 0);
            if (n < 0) continue;
            const std::size_t kept = std::min(static_cast<std::size_t>(n), recording.size());
            const auto recorded = static_cast<std::int64_t>(kept / kPeriodBytes);
            for (std::int64_t p = 0; p < recorded; ++p) {
                bool strict = p != 0;
                for (const auto& r : stopRanges)
                    if (p + 1 >= r.first && p <= r.second + 1) strict = false;
                checker.check(ch, recording.data() + p * kPeriodBytes, kPeriodBytes, strict);
            }
        }
        periodsDone += static_cast<std::uint64_t>(periods);
        stopRanges.clear();
        ++runs;
    };

    auto windowMatches = [&](int ch, const Window& w) {
        const std::int64_t now = sim.simPeriodsRun();
        const std::size_t bytes = static_cast<std::size_t>(w.length) / 4 * 4;
        for (std::int64_t p = w.armedAt; p <= now; ++p) {
            const auto at = static_cast<std::uint32_t>(p * kPeriodBytes);
            bool same = true;
            for (std::size_t i = 0; i < bytes && same; ++i)
                same = w.bytes[i] == sim.simInputPatternByte(ch, at + static_cast<std::uint32_t>(i));
            if (same) return true;
        }
        std::printf("capture on input %d (%d bytes armed at period %lld) is no stretch of its input\n", ch, w.length,
                    static_cast<long long>(w.armedAt));
        return false;
    };

    const DWORD began = GetTickCount();
    std::uint64_t nextEvent = 2000;
    int refused = 0;
    // Periods come thousands a second: ten seconds without one is a hang.
    std::uint64_t lastTotal = 0;
    DWORD lastMoved = began;
    while (periodsDone + static_cast<std::uint64_t>(sim.simPeriodsRun()) < target) {
        const std::uint64_t total = periodsDone + static_cast<std::uint64_t>(sim.simPeriodsRun());
        if (total != lastTotal) {
            lastTotal = total;
            lastMoved = GetTickCount();
        } else if (GetTickCount() - lastMoved > 10000) {
            winecheck::fail(__FILE__, __LINE__, "waited 10 s for the next period of the soak");
            break;
        }
        if (refused != 0) break;  // a wrong answer already: the checks below report it
        for (int ch = 0; ch < kAppChannels; ++ch) {
            const auto channel = static_cast<std::uint32_t>(ch);
            if (d.IsCanSendNextPlaybackBuffer(channel) == 1) {
                words.resize(1 + random() % (64 * kFrames));
                for (auto& word : words) {
                    word = appWord(ch, counts[ch]);
                    counts[ch] = nextCount(counts[ch]);
                }
                if (d.SetPlayBuffer(words.data(), static_cast<std::int32_t>(words.size() * 4), channel) != 0) ++refused;
                d.StartPlayback();
            }
            Window& w = windows[static_cast<std::size_t>(ch)];
            if (d.IsPortCaptureRunning(channel) == 0) {
                if (w.armed) {
                    if (!windowMatches(ch, w)) ++refused;
                    ++capturesChecked;
                }
                w.length = static_cast<std::int32_t>(1 + random() % (96 * kPeriodBytes));
                w.armedAt = sim.simPeriodsRun();
                if (d.SetCaptureBuffer(w.bytes.data(), w.length, channel) != 0) ++refused;
                d.StartCapture();
                w.armed = true;
            }
        }
        // Now and then (every few thousand periods) a stop or a new run.
        std::uint32_t dice = 3;
        if (periodsDone + static_cast<std::uint64_t>(sim.simPeriodsRun()) >= nextEvent) {
            dice = random() % 3;
            nextEvent = periodsDone + static_cast<std::uint64_t>(sim.simPeriodsRun()) + 1000 + random() % 8000;
        }
        if (dice == 0) {
            const std::int64_t from = sim.simPeriodsRun();
            d.StopPlayback();
            stopRanges.emplace_back(from, sim.simPeriodsRun());
            ++stops;
        } else if (dice == 1) {
            d.StopCapture();
            for (auto& w : windows) w.armed = false;
            ++stops;
        }
        if (dice == 2 || sim.simPeriodsRun() >= kRunLimit) {
            stepper.hold();
            checkRun();
            WCHECK_EQ(d.Finish(), 0);
            WCHECK_EQ(d.Prepare(), 0);
            for (auto& w : windows) w.armed = false;
            stepper.resume();
        }
        Sleep(0);
    }
    stepper.hold();
    checkRun();
    const double seconds = (GetTickCount() - began) / 1000.0;
    WCHECK_EQ(d.IsSingleInPlay(), 1);
    WCHECK_EQ(d.IsMultipleInPlay(), 1);

    // The end: players stopped and wound down, one more run without recordings.
    d.SingleChanelPlayStop();
    d.MultipleChanelPlayStop();
    WCHECK_EQ(d.Finish(), 0);
    WCHECK(waitFor([&] { return d.IsSingleInPlay() == 0 && d.IsMultipleInPlay() == 0; }));
    Sleep(300);  // the workers end within a pause slice of their stop
    WCHECK_EQ(sim.simConfigureClock(0, 0, 0, 0), 1);
    WCHECK_EQ(d.Prepare(), 0);
    WCHECK_EQ(sim.simRunPeriods(4), 1);
    WCHECK_EQ(d.Finish(), 0);
    // Threads that just ended (the driver's clock, the library's own) give their
    // bytes back a moment later.
    waitFor([&] { return heapInUse() == heapAtStart; }, 3000);
    const long long heapAtEnd = heapInUse();
    InterlockedExchange(&stepper.end, 1);
    stepper.resume();
    WaitForSingleObject(stepper.thread, INFINITE);
    CloseHandle(stepper.thread);
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    K32GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);

    std::printf("soak (dll): %llu periods in %.2f s, %.0f periods/s; %llu runs, %llu stops, %llu captures checked\n",
                static_cast<unsigned long long>(periodsDone), seconds, periodsDone / (seconds > 0 ? seconds : 1),
                static_cast<unsigned long long>(runs), static_cast<unsigned long long>(stops),
                static_cast<unsigned long long>(capturesChecked));
    std::printf("soak (dll): %llu samples played, %llu silent; heap %lld -> %lld bytes; peak private %.1f MiB\n",
                static_cast<unsigned long long>(checker.wordsPlayed.load()),
                static_cast<unsigned long long>(checker.wordsSilent.load()), heapAtStart, heapAtEnd,
                memory.PeakPagefileUsage / 1048576.0);
    if (checker.faults.load() != 0) std::printf("soak (dll): %s\n", checker.firstFault);
    WCHECK_EQ(checker.faults.load(), 0ull);
    WCHECK_EQ(refused, 0);
    WCHECK(periodsDone >= target);
    WCHECK(capturesChecked > 10);
    WCHECK_EQ(heapAtEnd, heapAtStart);
    d.releaseAsioDriver();
}
