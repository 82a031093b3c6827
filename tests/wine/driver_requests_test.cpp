// What the driver asks for mid-stream, through the DLL: the stepped simulated
// driver sends each notice from its own clock thread.
#include <algorithm>
#include <vector>

#include "wine/dll_exports.h"
#include "wine/sim_control.h"
#include "wine/wine_check.h"
#include "wine/wine_files.h"

namespace {
using Bytes = std::vector<std::uint8_t>;
constexpr std::size_t kPeriodBytes = 256 * 4;

bool silent(const Bytes& b, std::size_t from, std::size_t to) {
    return std::all_of(b.begin() + static_cast<std::ptrdiff_t>(from), b.begin() + static_cast<std::ptrdiff_t>(to),
                       [](std::uint8_t v) { return v == 0; });
}
}  // namespace

WINE_TEST(requests, notices_are_reported_once_and_a_reset_holds_the_run_until_prepare) {
    AsiochanDll& d = dll();
    WCHECK(d.GetDriverRequests != nullptr && d.GetPeriodCount != nullptr);
    if (d.GetDriverRequests == nullptr || d.GetPeriodCount == nullptr) return;
    WCHECK_EQ(d.loadAsioDriver(kSteppedDriverName), 1);
    SimControl sim;
    WCHECK(sim.resolve() && sim.resolveNotices());
    if (sim.simSendNotices == nullptr) return;
    WCHECK_EQ(d.Initialize(), 0);
    WCHECK_EQ(d.Prepare(), 0);
    WCHECK_EQ(d.GetPeriodCount(), 0u);
    for (std::uint32_t bit : {2u, 4u, 8u}) {
        WCHECK_EQ(sim.simSendNotices(bit, 44100.0), 1);
        WCHECK_EQ(sim.simRunPeriods(1), 1);
        WCHECK_EQ(d.GetDriverRequests(), bit);
        WCHECK_EQ(d.GetDriverRequests(), 0u);
    }
    WCHECK_EQ(d.GetPeriodCount(), 3u);

    const Bytes sound = noiseBytes(8 * kPeriodBytes, 3);
    Bytes captured(8 * kPeriodBytes);
    WCHECK_EQ(d.SetPlayBuffer(sound.data(), static_cast<std::int32_t>(sound.size()), 0), 0);
    WCHECK_EQ(d.SetCaptureBuffer(captured.data(), static_cast<std::int32_t>(captured.size()), 0), 0);
    d.StartPlayback();
    d.StartCapture();
    WCHECK_EQ(sim.simRunPeriods(1), 1);
    WCHECK_EQ(sim.simRequestReset(512), 1);
    WCHECK_EQ(sim.simRunPeriods(2), 1);
    WCHECK_EQ(d.GetDriverRequests(), 1u);
    WCHECK_EQ(d.GetPeriodCount(), 4u);  // the held periods are not counted
    Bytes out(static_cast<std::size_t>(sim.simOutputRecording(0, nullptr, 0)));
    sim.simOutputRecording(0, out.data(), static_cast<std::int32_t>(out.size()));
    WCHECK_EQ(out.size(), 6 * kPeriodBytes);
    if (out.size() == 6 * kPeriodBytes) {
        WCHECK(std::equal(sound.begin(), sound.begin() + kPeriodBytes, out.begin() + 3 * kPeriodBytes));
        WCHECK(silent(out, 4 * kPeriodBytes, out.size()));
    }
    WCHECK(silent(captured, kPeriodBytes, captured.size()));

    // The application restarts: the new size, nothing asked, a fresh count.
    WCHECK_EQ(d.Finish(), 0);
    WCHECK_EQ(d.Initialize(), 0);
    WCHECK_EQ(d.GetBufferSizePreferred(), 512);
    WCHECK_EQ(d.Prepare(), 0);
    WCHECK_EQ(d.GetDriverRequests(), 0u);
    WCHECK_EQ(d.GetPeriodCount(), 0u);
    WCHECK_EQ(d.SetCaptureBuffer(captured.data(), static_cast<std::int32_t>(captured.size()), 0), 0);
    d.StartCapture();
    WCHECK_EQ(sim.simRunPeriods(2), 1);
    WCHECK_EQ(d.GetPeriodCount(), 2u);
    WCHECK(!silent(captured, 0, 4 * kPeriodBytes));
    WCHECK_EQ(d.Finish(), 0);
    WCHECK_EQ(d.GetPeriodCount(), 0u);
    d.releaseAsioDriver();
}

WINE_TEST(requests, skipped_periods_are_counted_through_either_callback) {
    AsiochanDll& d = dll();
    WCHECK(d.GetSkippedPeriods != nullptr);
    if (d.GetSkippedPeriods == nullptr) return;
    WCHECK_EQ(d.loadAsioDriver(kSteppedDriverName), 1);
    SimControl sim;
    WCHECK(sim.resolve() && sim.resolveBufferFrames() && sim.resolveNotices());
    if (sim.simSkipPeriods == nullptr || sim.simSetFault == nullptr) return;
    WCHECK_EQ(d.Initialize(), 0);
    struct Row {
        std::int32_t timeInfo;    // periods come through bufferSwitchTimeInfo
        std::int32_t noPosition;  // the driver gives no valid sample position
        std::uint32_t skipped;
    };
    for (const Row& row : {Row{0, 0, 4}, Row{1, 0, 4}, Row{1, 1, 0}}) {
        WCHECK_EQ(sim.simSetFault(9, row.timeInfo), 1);
        WCHECK_EQ(sim.simSetFault(10, row.noPosition), 1);
        WCHECK_EQ(d.Prepare(), 0);
        WCHECK_EQ(d.GetSkippedPeriods(), 0u);
        WCHECK_EQ(sim.simRunPeriods(2), 1);
        WCHECK_EQ(sim.simSkipPeriods(3), 1);
        WCHECK_EQ(sim.simRunPeriods(1), 1);
        WCHECK_EQ(sim.simSkipPeriods(-2), 1);  // a step backwards counts one
        WCHECK_EQ(sim.simRunPeriods(1), 1);
        WCHECK_EQ(d.GetSkippedPeriods(), row.skipped);
        WCHECK_EQ(d.GetDriverRequests(), row.skipped != 0 ? 16u : 0u);
        WCHECK_EQ(d.GetPeriodCount(), 4u);
        WCHECK_EQ(d.Finish(), 0);
        WCHECK_EQ(d.GetSkippedPeriods(), row.skipped);
    }
    d.releaseAsioDriver();
}
