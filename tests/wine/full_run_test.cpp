// Whole runs through the real DLL, as an application makes them: load a driver
// by name, Initialize, Prepare, play and capture, Finish, release. The stepped
// simulated driver runs its periods when the test asks, so the streams can be
// checked byte for byte; the default one runs on its own real-time clock.
#include <cstdio>
#include <cstring>
#include <vector>

#include "wine/dll_exports.h"
#include "wine/sim_control.h"
#include "wine/wine_check.h"
#include "wine/wine_files.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kPeriodBytes = 256 * 4;  // 256 frames of 32-bit samples

}  // namespace

WINE_TEST(full_run, stepped_playback_and_capture_are_byte_exact) {
    AsiochanDll& d = dll();
    WCHECK_EQ(d.loadAsioDriver(kSteppedDriverName), 1);
    SimControl sim;
    WCHECK(sim.resolve());
    if (sim.module == nullptr) return;
    DeleteFileA("D:\\buffer_debug_5_output.dat");
    DeleteFileA("D:\\buffer_debug_5_internal.dat");

    WCHECK_EQ(d.Initialize(), 0);
    WCHECK_EQ(d.Prepare(), 0);

    // Three buffers of odd lengths on output 3, queued as the channel takes them.
    const Bytes parts[3] = {noiseBytes(3000, 1), noiseBytes(1234, 2), noiseBytes(4102, 3)};
    Bytes played;
    for (const auto& p : parts) played.insert(played.end(), p.begin(), p.end());
    WCHECK_EQ(d.SetPlayBuffer(parts[0].data(), 3000, 3), 0);
    WCHECK_EQ(d.SetPlayBuffer(parts[1].data(), 1234, 3), 0);
    int queued = 2;
    d.StartPlayback();
    // 10 000 bytes of input 5.
    Bytes captured(10000, 0xee);
    WCHECK_EQ(d.SetCaptureBuffer(captured.data(), 10000, 5), 0);
    d.StartCapture();

    const std::int64_t first = sim.simPeriodsRun();
    for (int period = 0; period < 100; ++period) {
        WCHECK_EQ(sim.simRunPeriods(1), 1);
        if (queued < 3 && d.IsCanSendNextPlaybackBuffer(3)) {
            WCHECK_EQ(d.SetPlayBuffer(parts[queued].data(), static_cast<std::int32_t>(parts[queued].size()), 3), 0);
            ++queued;
        }
        if (queued == 3 && !d.IsPortPlaybackRunning(3) && !d.IsPortCaptureRunning(5)) break;
    }
    WCHECK_EQ(queued, 3);
    WCHECK_EQ(d.IsPortPlaybackRunning(3), 0);
    // The dump files are written by the library's thread; the channel reads done
    // once both are closed, and they are complete from that moment.
    WCHECK(waitFor([&] { return d.IsPortCaptureRunning(5) == 0; }));

    const std::int32_t recordedLength = sim.simOutputRecording(3, nullptr, 0);
    Bytes recorded(static_cast<std::size_t>(recordedLength > 0 ? recordedLength : 0));
    sim.simOutputRecording(3, recorded.data(), recordedLength);
    const std::size_t from = static_cast<std::size_t>(first) * kPeriodBytes;
    WCHECK(recorded.size() >= from + played.size());
    if (recorded.size() >= from + played.size()) {
        WCHECK(std::memcmp(recorded.data() + from, played.data(), played.size()) == 0);
        // The rest of the last period is silence.
        for (std::size_t i = from + played.size(); i < recorded.size(); ++i) WCHECK_EQ(recorded[i], 0);
    }

    Bytes expected(10000);
    for (std::size_t i = 0; i < expected.size(); ++i)
        expected[i] = sim.simInputPatternByte(5, static_cast<std::uint32_t>(first * kPeriodBytes + i));
    WCHECK(captured == expected);
    WCHECK(readFile("D:\\buffer_debug_5_output.dat") == expected);
    WCHECK(readFile("D:\\buffer_debug_5_internal.dat") == expected);

    WCHECK_EQ(d.Finish(), 0);
    WCHECK_EQ(sim.simCallCount(5), 1);   // stop
    WCHECK_EQ(sim.simCallCount(17), 1);  // disposeBuffers
    d.releaseAsioDriver();
    WCHECK_EQ(sim.simLiveCount(), 0);
}

WINE_TEST(full_run, the_default_driver_loops_its_outputs_back_in_real_time) {
    AsiochanDll& d = dll();
    WCHECK_EQ(d.loadAsioDriver(kSimDriverName), 1);
    SimControl sim;
    WCHECK(sim.resolve());
    if (sim.module == nullptr) return;
    WCHECK_EQ(d.Initialize(), 0);
    WCHECK_EQ(d.Prepare(), 0);
    WCHECK(waitFor([&] { return sim.simPeriodsRun() >= 3; }));

    // Capture a second of input 0, then play a burst on output 0: it comes back.
    Bytes captured(48000 * 4);
    WCHECK_EQ(d.SetCaptureBuffer(captured.data(), static_cast<std::int32_t>(captured.size()), 0), 0);
    d.StartCapture();
    Bytes burst = noiseBytes(4096, 7);
    WCHECK_EQ(d.SetPlayBuffer(burst.data(), static_cast<std::int32_t>(burst.size()), 0), 0);
    d.StartPlayback();
    WCHECK(waitFor([&] { return d.IsPortCaptureRunning(0) == 0; }));
    bool found = false;
    for (std::size_t at = 0; at + burst.size() <= captured.size() && !found; ++at)
        found = std::memcmp(captured.data() + at, burst.data(), burst.size()) == 0;
    WCHECK(found);
    WCHECK_EQ(d.Finish(), 0);
    d.releaseAsioDriver();
}

WINE_TEST(full_run, release_and_reload_while_running_finish_the_run_first) {
    AsiochanDll& d = dll();
    WCHECK_EQ(d.loadAsioDriver(kSimDriverName), 1);
    SimControl sim;
    WCHECK(sim.resolve());
    if (sim.module == nullptr) return;
    WCHECK_EQ(sim.simConfigureClock(1, 0, 1, 0), 1);  // free-running as fast as it can
    WCHECK_EQ(d.Initialize(), 0);
    WCHECK_EQ(d.Prepare(), 0);
    WCHECK(waitFor([&] { return sim.simPeriodsRun() >= 50; }));
    const Bytes tone = noiseBytes(1 << 16, 9);
    WCHECK_EQ(d.SetPlayBuffer(tone.data(), static_cast<std::int32_t>(tone.size()), 1), 0);
    d.StartPlayback();
    d.releaseAsioDriver();
    WCHECK_EQ(sim.simLiveCount(), 0);
    WCHECK_EQ(d.IsPortPlaybackRunning(1), 0);
    WCHECK_EQ(d.Initialize(), -1000);

    WCHECK_EQ(d.loadAsioDriver(kSimDriverName), 1);
    WCHECK_EQ(sim.simConfigureClock(1, 0, 1, 0), 1);
    WCHECK_EQ(d.Initialize(), 0);
    WCHECK_EQ(d.Prepare(), 0);
    WCHECK(waitFor([&] { return sim.simPeriodsRun() >= 50; }));
    WCHECK_EQ(d.loadAsioDriver(kSimDriverName), 1);  // the same driver afresh
    WCHECK_EQ(sim.simLiveCount(), 1);
    WCHECK_EQ(sim.simCallCount(4), 0);  // the fresh object was never started
    WCHECK_EQ(d.Initialize(), 0);
    WCHECK_EQ(d.Prepare(), 0);
    WCHECK_EQ(d.Finish(), 0);
    d.releaseAsioDriver();
    WCHECK_EQ(sim.simLiveCount(), 0);
}

// The fast class: 64 inputs and 64 outputs, 1024-frame periods, every input fed
// the pattern from the driver's start; two inputs captured aligned start at the
// same period of it.
WINE_TEST(full_run, the_fast_driver_feeds_64_inputs_the_pattern) {
    AsiochanDll& d = dll();
    WCHECK_EQ(d.loadAsioDriver(kFastDriverName), 1);
    SimControl sim;
    WCHECK(sim.resolve());
    if (sim.module == nullptr) return;
    WCHECK_EQ(d.Initialize(), 0);
    WCHECK_EQ(d.GetInputChannelCount(), 64);
    WCHECK_EQ(d.GetOutputChannelCount(), 64);
    WCHECK_EQ(d.GetBufferSizePreferred(), 1024);
    WCHECK_EQ(d.Prepare(), 0);
    constexpr std::uint32_t kFastPeriodBytes = 1024 * 4;
    Bytes captured[2] = {Bytes(8 * kFastPeriodBytes), Bytes(8 * kFastPeriodBytes)};
    const std::uint32_t inputs[2] = {0, 63};
    const CaptureRequestAbi requests[2] = {{captured[0].data(), 8 * kFastPeriodBytes, inputs[0]},
                                           {captured[1].data(), 8 * kFastPeriodBytes, inputs[1]}};
    WCHECK_EQ(d.CaptureBuff(requests, 2), 0);
    WCHECK(waitFor([&] { return d.IsCaptureRunning() == 0; }));
    std::uint32_t startPeriod[2] = {UINT32_MAX, UINT32_MAX};
    for (int i = 0; i < 2; ++i) {
        const auto matchesFrom = [&](std::uint32_t period) {
            for (std::uint32_t b = 0; b < captured[i].size(); ++b)
                if (captured[i][b] != sim.simInputPatternByte(static_cast<std::int32_t>(inputs[i]),
                                                              period * kFastPeriodBytes + b))
                    return false;
            return true;
        };
        for (std::uint32_t period = 0; period < 100000 && startPeriod[i] == UINT32_MAX; ++period)
            if (matchesFrom(period)) startPeriod[i] = period;
    }
    WCHECK(startPeriod[0] != UINT32_MAX);
    WCHECK_EQ(startPeriod[0], startPeriod[1]);
    WCHECK_EQ(d.Finish(), 0);
    d.releaseAsioDriver();
}

// A copy of the DLL loaded apart from the shared one, so that it can really be
// unloaded: freed after Finish, it goes once its thread has nothing left to do;
// freed with a run still prepared and a dump pending, FreeLibrary returns at once,
// the module stays (the driver may still call it) and the dump is written whole.
// Last of the group, as it leaves that module and its driver behind.
WINE_TEST(full_run, freeing_the_dll_with_a_dump_pending_returns) {
    const char* copyName = "asiochan_unload.dll";
    WCHECK(CopyFileA("asiochan.dll", copyName, FALSE) != 0);
    for (const bool finishFirst : {true, false}) {
        AsiochanDll own;
        WCHECK(own.load(copyName));
        if (own.module == nullptr) return;
        DeleteFileA("D:\\buffer_debug_2_output.dat");
        DeleteFileA("D:\\buffer_debug_2_internal.dat");
        WCHECK_EQ(own.loadAsioDriver(kSteppedDriverName), 1);
        SimControl sim;
        WCHECK(sim.resolve());
        if (sim.module == nullptr) return;
        WCHECK_EQ(own.Initialize(), 0);
        WCHECK_EQ(own.Prepare(), 0);
        Bytes captured(3 * kPeriodBytes);
        WCHECK_EQ(own.SetCaptureBuffer(captured.data(), static_cast<std::int32_t>(captured.size()), 2), 0);
        own.StartCapture();
        WCHECK_EQ(sim.simRunPeriods(3), 1);  // completes: its dump is left to the library's thread
        if (finishFirst) {
            WCHECK_EQ(own.Finish(), 0);  // writes a dump still pending before it returns
            own.releaseAsioDriver();
        }
        WCHECK(FreeLibrary(own.module) != 0);
        WCHECK(waitFor([&] { return readFile("D:\\buffer_debug_2_internal.dat") == captured; }));
        WCHECK(readFile("D:\\buffer_debug_2_output.dat") == captured);
        // After Finish nothing holds the module: its thread ends and the DLL unloads.
        if (finishFirst) WCHECK(waitFor([&] { return GetModuleHandleA(copyName) == nullptr; }));
    }
}
