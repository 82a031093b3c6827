// Careless callers and calls out of order through the DLL, as an application
// makes them: the shared table of bad inputs in every phase of a run, the
// decisions on calls out of order, and a file locked while a player loops.
#include <cstdio>
#include <string>
#include <vector>

#include "hardening/careless_calls.h"
#include "wine/dll_exports.h"
#include "wine/sim_control.h"
#include "wine/wine_check.h"
#include "wine/wine_files.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using asiochan::hardening::CarelessFiles;

constexpr std::int32_t kSlotInit = 0, kSlotStop = 5, kSlotSetSampleRate = 11, kSlotDisposeBuffers = 17,
                       kSlotCreateBuffers = 16;

CarelessFiles carelessFiles(const std::string& folder) {
    CarelessFiles f;
    f.playable = folder + "\\ok.wav";
    writeFile(f.playable, wavFile(1, 100, 16, pcm16Ramp(4, 1)));
    f.name199 = std::string(199, 'n');
    f.name200 = std::string(200, 'n');
    f.name4096 = std::string(4096, 'n');
    f.missing = folder + "\\no such file.wav";
    f.directory = folder;
    return f;
}

void runTable(const char* phase, const CarelessFiles& files, SimControl* sim) {
    AsiochanDll& d = dll();
    Bytes scratch(256, 0xa5);
    const std::int64_t rateCalls = sim ? sim->simCallCount(kSlotSetSampleRate) : 0;
    const auto before = asiochan::hardening::visibleState(d);
    const auto rows = asiochan::hardening::carelessRows(d, files, scratch.data());
    int wrong = 0;
    for (const auto& row : rows) {
        const long long got = row.call();
        if (got != row.expected || !(asiochan::hardening::visibleState(d) == before)) {
            if (++wrong <= 10)
                std::printf("%s: %s answered %lld (expected %lld)%s\n", phase, row.what.c_str(), got, row.expected,
                            asiochan::hardening::visibleState(d) == before ? "" : " and changed the state");
        }
    }
    WCHECK_EQ(wrong, 0);
    WCHECK(rows.size() > 80);
    WCHECK(scratch == Bytes(256, 0xa5));
    if (sim) WCHECK_EQ(sim->simCallCount(kSlotSetSampleRate), rateCalls);
}

}  // namespace

WINE_TEST(hardening, careless_calls_in_every_phase) {
    AsiochanDll& d = dll();
    const TempFolder folder("careless");
    const CarelessFiles files = carelessFiles(folder.path());
    runTable("no driver loaded", files, nullptr);
    WCHECK_EQ(d.loadAsioDriver(kSteppedDriverName), 1);
    SimControl sim;
    WCHECK(sim.resolve());
    if (sim.module == nullptr) return;
    runTable("loaded", files, &sim);
    WCHECK_EQ(d.Initialize(), 0);
    runTable("initialized", files, &sim);
    WCHECK_EQ(d.Prepare(), 0);
    const Bytes pcm = noiseBytes(4 * 1024, 7);
    Bytes target(8 * 1024);
    WCHECK_EQ(d.SetPlayBuffer(pcm.data(), static_cast<std::int32_t>(pcm.size()), 0), 0);
    WCHECK_EQ(d.SetPlayBuffer(pcm.data(), static_cast<std::int32_t>(pcm.size()), 1), 0);
    WCHECK_EQ(d.SetPlayBuffer(pcm.data(), static_cast<std::int32_t>(pcm.size()), 1), 0);
    WCHECK_EQ(d.SetCaptureBuffer(target.data(), static_cast<std::int32_t>(target.size()), 2), 0);
    d.StartPlayback();
    d.StartCapture();
    WCHECK_EQ(sim.simRunPeriods(1), 1);
    runTable("streaming", files, &sim);
    // The run went on undisturbed: output 1 plays its two buffers whole.
    WCHECK_EQ(sim.simRunPeriods(7), 1);
    Bytes played(16 * 1024);
    WCHECK_EQ(sim.simOutputRecording(1, played.data(), static_cast<std::int32_t>(played.size())), 8 * 1024);
    WCHECK(Bytes(played.begin(), played.begin() + 4096) == pcm);
    WCHECK(Bytes(played.begin() + 4096, played.begin() + 8192) == pcm);
    WCHECK_EQ(d.Finish(), 0);
    runTable("finished", files, &sim);
    d.releaseAsioDriver();
    runTable("released", files, nullptr);
}

WINE_TEST(hardening, calls_out_of_order) {
    AsiochanDll& d = dll();
    const TempFolder folder("order");
    const std::string wav = folder.path() + "\\order.wav";
    writeFile(wav, wavFile(1, 100, 16, pcm16Ramp(4, 1)));
    // Before any driver: every driver call is -1000, no player starts.
    WCHECK_EQ(d.Initialize(), -1000);
    WCHECK_EQ(d.Prepare(), -1000);
    WCHECK_EQ(d.SingleChanelPlayStart(wav.c_str(), 0, 0), 0);
    WCHECK_EQ(d.Finish(), -1000);

    WCHECK_EQ(d.loadAsioDriver(kSteppedDriverName), 1);
    SimControl sim;
    WCHECK(sim.resolve());
    if (sim.module == nullptr) return;
    WCHECK_EQ(d.Initialize(), 0);
    // Players start only into a prepared run.
    WCHECK_EQ(d.SingleChanelPlayStart(wav.c_str(), 0, 0), 0);
    WCHECK_EQ(d.MultipleChanelPlayStart(wav.c_str(), 0x3, 0), 0);
    WCHECK_EQ(d.Prepare(), 0);
    const Bytes pcm = noiseBytes(4 * 1024, 3);
    WCHECK_EQ(d.SetPlayBuffer(pcm.data(), static_cast<std::int32_t>(pcm.size()), 0), 0);
    d.StartPlayback();
    WCHECK_EQ(sim.simRunPeriods(1), 1);
    // Initialize while prepared: refused, nothing asked of the driver.
    WCHECK_EQ(d.Initialize(), -997);
    WCHECK_EQ(sim.simCallCount(kSlotInit), 1);
    // Prepare twice: the first run is finished, then a new one prepared.
    WCHECK_EQ(d.Prepare(), 0);
    WCHECK_EQ(sim.simCallCount(kSlotStop), 1);
    WCHECK_EQ(sim.simCallCount(kSlotDisposeBuffers), 1);
    WCHECK_EQ(sim.simCallCount(kSlotCreateBuffers), 2);
    WCHECK_EQ(d.IsPortPlaybackRunning(0), 0);
    // Released while streaming: finished first; loaded again and streaming again.
    WCHECK_EQ(d.SetPlayBuffer(pcm.data(), static_cast<std::int32_t>(pcm.size()), 0), 0);
    d.StartPlayback();
    WCHECK_EQ(sim.simRunPeriods(1), 1);
    d.releaseAsioDriver();
    WCHECK_EQ(sim.simLiveCount(), 0);
    WCHECK_EQ(d.IsPortPlaybackRunning(0), 0);
    WCHECK_EQ(d.Prepare(), -1000);
    WCHECK_EQ(d.loadAsioDriver(kSteppedDriverName), 1);
    WCHECK_EQ(d.Initialize(), 0);
    WCHECK_EQ(d.Prepare(), 0);
    WCHECK_EQ(d.SetPlayBuffer(pcm.data(), static_cast<std::int32_t>(pcm.size()), 0), 0);
    d.StartPlayback();
    WCHECK_EQ(sim.simRunPeriods(4), 1);
    Bytes played(4096);
    WCHECK_EQ(sim.simOutputRecording(0, played.data(), 4096), 4 * 1024);
    WCHECK(played == pcm);
    // Loaded again while streaming: the same, with a fresh driver object.
    WCHECK_EQ(d.loadAsioDriver(kSteppedDriverName), 1);
    WCHECK_EQ(sim.simLiveCount(), 1);
    WCHECK_EQ(d.IsPortPlaybackRunning(0), 0);
    WCHECK_EQ(d.Initialize(), 0);
    WCHECK_EQ(d.Finish(), 0);
    d.releaseAsioDriver();
}

WINE_TEST(hardening, a_file_locked_while_the_player_loops) {
    AsiochanDll& d = dll();
    const TempFolder folder("locked");
    const std::string wav = folder.path() + "\\locked.wav";
    writeFile(wav, wavFile(1, 100, 16, pcm16Ramp(4, 1)));
    WCHECK_EQ(d.loadAsioDriver(kSteppedDriverName), 1);
    SimControl sim;
    WCHECK(sim.resolve());
    if (sim.module == nullptr) return;
    WCHECK_EQ(d.Initialize(), 0);
    WCHECK_EQ(d.Prepare(), 0);
    WCHECK_EQ(d.SingleChanelPlayStart(wav.c_str(), 2, 1), 1);
    WCHECK(waitFor([&] { return d.IsSingleInPlay() == 1; }));
    // Another process locks the whole file: the player's reads fail from now on.
    HANDLE file = CreateFileA(wav.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    WCHECK(file != INVALID_HANDLE_VALUE);
    OVERLAPPED whole{};
    WCHECK(LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &whole));
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 600) {
        WCHECK_EQ(sim.simRunPeriods(1), 1);
        Sleep(5);
    }
    // Still a player with a defined state, and it stops as asked.
    WCHECK_EQ(d.IsSingleInPlay(), 1);
    d.SingleChanelPlayStop();
    WCHECK_EQ(d.IsSingleInPlay(), 0);
    UnlockFileEx(file, 0, MAXDWORD, MAXDWORD, &whole);
    CloseHandle(file);
    // The worker has wound down: a new start is taken (it waits for the old one).
    WCHECK_EQ(d.SingleChanelPlayStart(wav.c_str(), 2, 0), 1);
    d.SingleChanelPlayStop();
    WCHECK_EQ(d.Finish(), 0);
    d.releaseAsioDriver();
}

// Badly written drivers, made by the simulated driver's fault switches: the DLL
// survives each, Finish and releaseAsioDriver work, and a good driver loaded
// afterwards streams exactly.
WINE_TEST(hardening, faulty_drivers_are_survived) {
    AsiochanDll& d = dll();
    constexpr int kPeriod = 256 * 4;
    const Bytes pcm = noiseBytes(4 * kPeriod, 11);
    struct Case {
        const char* what;
        std::int32_t fault, value;
    };
    const Case cases[] = {{"stop fails", 0, -999},
                          {"start fails", 1, -999},
                          {"buffer index 2", 2, 2},
                          {"buffer index -1", 2, -1},
                          {"preferred size 0", 3, 0},
                          {"preferred size -32", 3, -32},
                          {"preferred size overflowing", 3, 0x20000000},
                          {"null half", 4, 0},
                          {"callbacks inside createBuffers", 5, 1},
                          {"-3 inputs", 6, -3},
                          {"100 outputs", 7, 100},
                          {"unlisted sample type", 8, 5}};
    for (const Case& k : cases) {
        std::printf("case: %s\n", k.what);
        WCHECK_EQ(d.loadAsioDriver(kSteppedDriverName), 1);
        SimControl sim;
        if (!sim.resolve() || !sim.resolveBufferFrames()) {
            WCHECK(false);
            return;
        }
        WCHECK_EQ(sim.simSetFault(k.fault, k.value), 1);
        WCHECK_EQ(d.Initialize(), 0);
        const std::int32_t prepared = d.Prepare();
        WCHECK_EQ(prepared, k.fault == 1 ? k.value : 0);
        Bytes target(2 * kPeriod, 0x33);
        WCHECK_EQ(d.SetPlayBuffer(pcm.data(), static_cast<std::int32_t>(pcm.size()), 0), 0);
        const std::int32_t armed = d.SetCaptureBuffer(target.data(), static_cast<std::int32_t>(target.size()), 0);
        WCHECK_EQ(armed, k.fault == 8 || k.fault == 6 ? -997 : 0);  // no input width known
        d.StartPlayback();
        d.StartCapture();
        const bool running = sim.simRunPeriods(4) == 1;
        WCHECK_EQ(running, k.fault != 1);
        Bytes played(8 * kPeriod);
        const std::int32_t n = sim.simOutputRecording(0, played.data(), static_cast<std::int32_t>(played.size()));
        played.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        switch (k.fault) {
            case 2:
            case 3:  // nothing moves: the driver's halves keep their zeros, the capture its own
                for (std::uint8_t v : played) WCHECK_EQ(v, 0);
                if (k.fault == 3 && armed == 0) WCHECK(target == Bytes(2 * kPeriod, 0));
                break;
            case 4:  // the null half is skipped; the channel advances all the same
                WCHECK_EQ(n, 4 * kPeriod);
                if (n == 4 * kPeriod) {
                    WCHECK(Bytes(played.begin(), played.begin() + kPeriod) ==
                           Bytes(pcm.begin(), pcm.begin() + kPeriod));
                    WCHECK(Bytes(played.begin() + kPeriod, played.begin() + 2 * kPeriod) == Bytes(kPeriod, 0));
                }
                WCHECK_EQ(d.IsPortPlaybackRunning(0), 0);
                break;
            case 0:
            case 5:
            case 6:
            case 7:
                WCHECK(played == pcm);
                break;
            default:
                break;
        }
        if (k.fault == 6) WCHECK_EQ(d.GetInputChannelCount(), 0);
        if (k.fault == 7) WCHECK_EQ(d.GetOutputChannelCount(), 64);
        WCHECK_EQ(d.Finish(), k.fault == 0 ? k.value : 0);
        if (k.fault == 0) WCHECK_EQ(sim.simRunPeriods(2), 1);  // the driver runs on; nothing happens
        d.releaseAsioDriver();
        WCHECK_EQ(sim.simLiveCount(), 0);
    }
    // A good driver after all of them.
    WCHECK_EQ(d.loadAsioDriver(kSteppedDriverName), 1);
    SimControl sim;
    WCHECK(sim.resolve());
    WCHECK_EQ(d.Initialize(), 0);
    WCHECK_EQ(d.Prepare(), 0);
    WCHECK_EQ(d.SetPlayBuffer(pcm.data(), static_cast<std::int32_t>(pcm.size()), 3), 0);
    d.StartPlayback();
    WCHECK_EQ(sim.simRunPeriods(4), 1);
    Bytes played(4 * kPeriod);
    WCHECK_EQ(sim.simOutputRecording(3, played.data(), static_cast<std::int32_t>(played.size())), 4 * kPeriod);
    WCHECK(played == pcm);
    WCHECK_EQ(d.Finish(), 0);
    d.releaseAsioDriver();
}
