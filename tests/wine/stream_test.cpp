// The stream through the real DLL, on the stepped simulated driver: odd-size
// reads of three inputs as INT32 against the input pattern at exact positions,
// written frames on two outputs looped back, a full ring's gap, and a reader
// that a stop on another thread releases.
#include <windows.h>

#include <atomic>
#include <vector>

#include "wine/dll_exports.h"
#include "wine/sim_control.h"
#include "wine/wine_check.h"

namespace {

// Input `ch`'s Int32LSB sample at driver frame k, as the INT32 format gives it.
std::int32_t patternSample(SimControl& sim, std::int32_t ch, std::uint32_t k) {
    std::uint32_t v = 0;
    for (std::uint32_t b = 0; b < 4; ++b) v |= std::uint32_t{sim.simInputPatternByte(ch, k * 4 + b)} << (8 * b);
    return static_cast<std::int32_t>(v);
}

DWORD WINAPI stopAfterAWhile(void*) {
    Sleep(50);
    dll().StopStream();
    return 0;
}

}  // namespace

WINE_TEST(streams, positions_gaps_and_a_stop_from_another_thread) {
    AsiochanDll& d = dll();
    WCHECK_EQ(d.loadAsioDriver(kSteppedDriverName), 1);
    SimControl sim;
    WCHECK(sim.resolve());
    if (sim.module == nullptr) return;
    WCHECK_EQ(d.Initialize(), 0);
    WCHECK_EQ(d.Prepare(), 0);

    AsiochanStreamConfig c{};
    c.size = sizeof c;
    c.format = ASIOCHAN_STREAM_INT32;
    c.inputCount = 3;
    c.inputs[0] = 6, c.inputs[1] = 1, c.inputs[2] = 4;
    c.ringFrames = 4 * 256 + 17;
    WCHECK_EQ(d.OpenStream(&c), 0);
    WCHECK_EQ(d.StartStream(), 0);
    const auto first = static_cast<std::uint32_t>(sim.simPeriodsRun());
    AsiochanStreamBlock b{};
    b.size = sizeof b;
    std::vector<std::int32_t> frames(3 * 1000);
    std::uint64_t position = 0;
    const std::int32_t sizes[] = {1, 255, 333, 999, 17};
    for (int p = 0; p < 12; ++p) {
        WCHECK_EQ(sim.simRunPeriods(1), 1);
        for (std::int32_t size : sizes) {
            const std::int32_t n = d.ReadStream(frames.data(), size, 0, &b);
            WCHECK(n >= 0);
            if (n <= 0) break;
            WCHECK_EQ(b.position, position);
            WCHECK_EQ(b.lost, 0u);
            for (std::int32_t f = 0; f < n; ++f)
                for (int i = 0; i < 3; ++i)
                    if (frames[3 * f + i] != patternSample(sim, c.inputs[i], first * 256 + std::uint32_t(position) + f))
                        WCHECK(false);
            position += static_cast<std::uint64_t>(n);
        }
    }
    // Nobody reads for eight periods: the ring keeps 1041 frames, the rest is a gap.
    WCHECK_EQ(sim.simRunPeriods(8), 1);
    std::uint64_t kept = 0;
    for (std::int32_t n; (n = d.ReadStream(frames.data(), 1000, 0, &b)) > 0;) kept += static_cast<std::uint64_t>(n);
    WCHECK_EQ(kept, 4u * 256 + 17);
    WCHECK_EQ(sim.simRunPeriods(1), 1);
    WCHECK_EQ(d.ReadStream(frames.data(), 1000, 0, &b), 256);
    WCHECK_EQ(b.lost, 8u * 256 - (4 * 256 + 17));
    WCHECK_EQ(b.position, position + 8 * 256);
    WCHECK(b.eventCount >= 1 && b.events[0].code == ASIOCHAN_STREAM_EVENT_OVERFLOW);

    // A read that waits without a limit returns when another thread stops the stream.
    HANDLE stopper = CreateThread(nullptr, 0, stopAfterAWhile, nullptr, 0, nullptr);
    WCHECK_EQ(d.ReadStream(frames.data(), 1000, -1, &b), ASIOCHAN_STREAM_ENDED);
    WCHECK_EQ(WaitForSingleObject(stopper, 5000), WAIT_OBJECT_0);
    CloseHandle(stopper);
    AsiochanStreamState s{};
    s.size = sizeof s;
    WCHECK_EQ(d.GetStreamState(&s), 0);
    WCHECK_EQ(s.flags, ASIOCHAN_STREAM_OPEN | ASIOCHAN_STREAM_ENDED_FLAG);
    WCHECK_EQ(s.position, 21u * 256);
    WCHECK_EQ(s.dropped, 8u * 256 - (4 * 256 + 17));
    WCHECK_EQ(d.CloseStream(), 0);

    // Play and record in one call, outputs 2 and 3 looped back to inputs 2 and 3
    // one period later, on the free-running simulated driver.
    WCHECK_EQ(d.Finish(), 0);
    WCHECK_EQ(d.loadAsioDriver(kSimDriverName), 1);
    WCHECK_EQ(d.Initialize(), 0);
    WCHECK_EQ(d.Prepare(), 0);
    AsiochanStreamConfig pr{};
    pr.size = sizeof pr;
    pr.format = ASIOCHAN_STREAM_FLOAT32;
    pr.inputCount = pr.outputCount = 2;
    pr.inputs[0] = pr.outputs[0] = 2;
    pr.inputs[1] = pr.outputs[1] = 3;
    std::vector<float> play(2 * 4096), record(2 * 8192);
    for (std::size_t i = 0; i < play.size(); ++i)
        play[i] = static_cast<float>(static_cast<int>(i % 200) - 100) / 128.0f;
    WCHECK_EQ(d.PlayAndRecord(&pr, play.data(), 4096, record.data(), 8192, 10000, &s), 8192);
    WCHECK_EQ(s.dropped, 0u);
    // The loop's delay is one period: recorded frame 256 + k is played frame k, bit for bit.
    bool same = true;
    for (std::size_t k = 0; k < 4096; ++k)
        for (int ch = 0; ch < 2; ++ch) same = same && record[2 * (256 + k) + ch] == play[2 * k + ch];
    WCHECK(same);
    WCHECK_EQ(d.Finish(), 0);
    d.releaseAsioDriver();
}
