// The storm through the DLL (see tests/hardening/call_storm.h): four threads of
// random channel calls, one of Finish/Prepare cycles with changing sample types,
// the simulated driver running free. No call may crash the process or block;
// afterwards a block plays byte for byte and a capture completes.
// ASIOCHAN_STORM_SECONDS sizes it (10 s by default), ASIOCHAN_STORM_SEED repeats one.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "hardening/call_storm.h"
#include "wine/dll_exports.h"
#include "wine/sim_control.h"
#include "wine/wine_check.h"
#include "wine/wine_files.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace asiochan::hardening;

constexpr std::int32_t kFrames = 32;
constexpr std::int32_t kInt32LSB = 18;

void sleepMs(std::uint32_t ms) { Sleep(ms); }
void yieldThread() { SwitchToThread(); }

struct Lifecycle {
    AsiochanDll* dll;
    SimControl* sim;
    StormShared* shared;
    std::uint32_t seed;
    CallWatch watch;
    std::uint64_t rounds = 0;

    static DWORD WINAPI main(void* self) {
        auto& l = *static_cast<Lifecycle*>(self);
        std::mt19937 random(l.seed);
        SimControl* sim = l.sim;
        auto setTypes = [sim](std::int32_t type) { sim->simSetFault(8, type); };
        while (!l.shared->stop.load()) {
            stormLifecycleRound(*l.dll, random, l.watch, setTypes, &sleepMs);
            ++l.rounds;
        }
        return 0;
    }
};

DWORD WINAPI stormMain(void* self) {
    static_cast<StormThread<AsiochanDll>*>(self)->run();
    return 0;
}

// Standard output goes nowhere while the storm runs: the players' thousands of
// "file open failure!" lines are not kept.
struct QuietStdout {
    int saved = -1;
    QuietStdout() {
        std::fflush(stdout);
        saved = _dup(1);
        const int nul = _open("NUL", _O_WRONLY);
        if (nul >= 0) {
            _dup2(nul, 1);
            _close(nul);
        }
    }
    ~QuietStdout() {
        std::fflush(stdout);
        if (saved >= 0) {
            _dup2(saved, 1);
            _close(saved);
        }
    }
};

}  // namespace

WINE_TEST(hardening, a_storm_of_channel_calls_while_the_run_restarts) {
    AsiochanDll& d = dll();
    const std::uint32_t seed = stormSeed("dll storm");
    const TempFolder folder("storm");
    CarelessFiles files;
    files.playable = folder.path() + "\\ok.wav";
    WCHECK(writeFile(files.playable, wavFile(1, 8000, 16, pcm16Ramp(8, 1))));
    files.name199 = std::string(199, 'n');
    files.name200 = std::string(200, 'n');
    files.name4096 = std::string(4096, 'n');
    files.missing = folder.path() + "\\no such file.wav";
    files.directory = folder.path();

    WCHECK_EQ(d.loadAsioDriver(kSteppedDriverName), 1);
    SimControl sim;
    if (!sim.resolve() || !sim.resolveBufferFrames()) {
        WCHECK(false);
        return;
    }
    WCHECK_EQ(sim.simSetBufferFrames(kFrames), 1);
    WCHECK_EQ(d.Initialize(), 0);
    WCHECK_EQ(sim.simConfigureClock(1, 100, 0, 0), 1);  // free-running, no recordings
    WCHECK_EQ(d.Prepare(), 0);

    StormShared shared;
    shared.files = &files;
    shared.yield = &yieldThread;
    std::vector<std::unique_ptr<StormThread<AsiochanDll>>> stormers;
    std::vector<CallWatch*> watches;
    for (int i = 0; i < kStormThreads; ++i) {
        stormers.push_back(std::make_unique<StormThread<AsiochanDll>>(d, shared, seed + static_cast<std::uint32_t>(i)));
        watches.push_back(&stormers.back()->watch);
    }
    Lifecycle lifecycle{&d, &sim, &shared, seed + kStormThreads, {}};
    watches.push_back(&lifecycle.watch);

    std::string report;
    bool clean = true;
    {
        const QuietStdout quiet;
        std::vector<HANDLE> threads;
        threads.push_back(CreateThread(nullptr, 0, &Lifecycle::main, &lifecycle, 0, nullptr));
        for (auto& s : stormers) threads.push_back(CreateThread(nullptr, 0, &stormMain, s.get(), 0, nullptr));
        clean = stormWatch(shared, watches, stormSeconds(10.0), &sleepMs, report);
        if (clean) {
            for (HANDLE t : threads) {
                if (t != nullptr && WaitForSingleObject(t, 10000) != WAIT_OBJECT_0) clean = false;
                if (t != nullptr) CloseHandle(t);
            }
            if (!clean) report = "a thread did not end within 10 s of the stop";
        }
    }
    if (!clean) {
        // A blocked thread cannot be waited for; say which call it was and end here.
        std::printf("dll storm (seed %u): %s\n", seed, report.c_str());
        std::fflush(stdout);
        TerminateProcess(GetCurrentProcess(), 3);
    }
    std::printf("dll storm: %llu Finish/Prepare rounds, %s\n", static_cast<unsigned long long>(lifecycle.rounds),
                stormSummary(watches).c_str());

    // Afterwards: the players stopped, every capture freed (after its pending
    // dump), a run of 32-bit samples with a stepped clock; a block plays byte for
    // byte and a capture completes with the input.
    d.SingleChanelPlayStop();
    d.MultipleChanelPlayStop();
    d.StartCapture();
    d.StopCapture();
    WCHECK(waitFor([&] { return d.IsSingleInPlay() == 0 && d.IsMultipleInPlay() == 0; }));
    WCHECK_EQ(d.Finish(), 0);
    WCHECK_EQ(sim.simSetFault(8, kInt32LSB), 1);
    WCHECK_EQ(sim.simConfigureClock(0, 0, 0, 1), 1);
    WCHECK_EQ(d.Prepare(), 0);
    const Bytes block = noiseBytes(4 * kFrames * 4, seed);
    Bytes captured(3 * kFrames * 4, 0xee);
    WCHECK_EQ(d.SetPlayBuffer(block.data(), static_cast<std::int32_t>(block.size()), 2), 0);
    WCHECK_EQ(d.SetCaptureBuffer(captured.data(), static_cast<std::int32_t>(captured.size()), 5), 0);
    d.StartPlayback();
    d.StartCapture();
    WCHECK_EQ(sim.simRunPeriods(4), 1);
    Bytes played(2 * block.size());
    const std::int32_t n = sim.simOutputRecording(2, played.data(), static_cast<std::int32_t>(played.size()));
    WCHECK_EQ(n, static_cast<std::int32_t>(block.size()));
    played.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    WCHECK(played == block);
    WCHECK(waitFor([&] { return d.IsPortCaptureRunning(5) == 0; }));
    bool same = true;
    for (std::size_t i = 0; i < captured.size(); ++i)
        same = same && captured[i] == sim.simInputPatternByte(5, static_cast<std::uint32_t>(i));
    WCHECK(same);
    WCHECK_EQ(d.Finish(), 0);
    d.releaseAsioDriver();
}
