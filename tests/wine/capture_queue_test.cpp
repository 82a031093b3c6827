// Capture queues through the real DLL: three inputs queued together with buffers
// of odd lengths, checked byte for byte against the stepped simulated driver's
// input pattern, and drops forced by an application that stops queueing.
#include <deque>
#include <vector>

#include "wine/dll_exports.h"
#include "wine/sim_control.h"
#include "wine/wine_check.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::uint32_t kPeriodBytes = 256 * 4;  // 256 frames of 32-bit samples
constexpr std::uint8_t kUntouched = 0xee;

// Whether `b` holds input `ch`'s pattern from `offset` for `bytes` bytes, untouched after.
bool holds(SimControl& sim, const Bytes& b, std::int32_t ch, std::uint32_t offset, std::size_t bytes) {
    for (std::size_t i = 0; i < b.size(); ++i) {
        const std::uint8_t want =
            i < bytes ? sim.simInputPatternByte(ch, offset + static_cast<std::uint32_t>(i)) : kUntouched;
        if (b[i] != want) return false;
    }
    return true;
}

std::size_t whole(const Bytes& b) { return b.size() - b.size() % 4; }

}  // namespace

WINE_TEST(queues, odd_lengths_join_exactly_and_a_late_application_drops_exactly) {
    AsiochanDll& d = dll();
    WCHECK_EQ(d.loadAsioDriver(kSteppedDriverName), 1);
    SimControl sim;
    WCHECK(sim.resolve());
    if (sim.module == nullptr) return;
    WCHECK_EQ(d.Initialize(), 0);
    WCHECK_EQ(d.Prepare(), 0);

    const std::int32_t inputs[3] = {1, 4, 6};
    const std::int32_t lengths[4] = {1501, 2047, 999, 4099};
    std::deque<Bytes> kept[3];  // each input's buffers in queue order
    int round = 0;
    auto queueRound = [&] {
        CaptureRequestAbi requests[3];
        const std::int32_t length = lengths[round++ % 4];
        for (int i = 0; i < 3; ++i) {
            kept[i].emplace_back(static_cast<std::size_t>(length), kUntouched);
            requests[i] = {kept[i].back().data(), length, static_cast<std::uint32_t>(inputs[i])};
        }
        return d.QueueCaptureBuffers(requests, 3);
    };
    auto state = [&](std::int32_t ch) {
        CaptureQueueStateAbi s{};
        s.size = sizeof s;
        WCHECK_EQ(d.GetCaptureQueueState(static_cast<std::uint32_t>(ch), &s), 0);
        return s;
    };
    WCHECK_EQ(queueRound(), 0);
    WCHECK_EQ(queueRound(), 0);
    WCHECK_EQ(d.IsCanQueueCaptureBuffer(1), 0);
    d.StartCapture();
    const auto first = static_cast<std::uint32_t>(sim.simPeriodsRun());
    for (int p = 0; p < 12; ++p) {
        WCHECK_EQ(sim.simRunPeriods(1), 1);
        while (d.IsCanQueueCaptureBuffer(1) == 1) WCHECK_EQ(queueRound(), 0);
    }

    // The application stops queueing for 10 periods: what the ring still holds is
    // recorded, the rest of those periods is dropped.
    const CaptureQueueStateAbi before = state(1);
    const std::size_t filling = before.filledBuffers;
    WCHECK_EQ(kept[0].size(), filling + 2);
    const std::uint64_t left = (whole(kept[0][filling]) - before.filledBytes + whole(kept[0][filling + 1])) / 4;
    WCHECK_EQ(sim.simRunPeriods(10), 1);
    const std::uint64_t lateDrops = 10 * 256 - left;
    // Queued again: recording goes on at the first frame of the next period.
    const auto resumedAt = static_cast<std::uint32_t>(sim.simPeriodsRun());
    WCHECK_EQ(queueRound(), 0);
    WCHECK_EQ(sim.simRunPeriods(1), 1);
    d.StopCapture();

    for (int i = 0; i < 3; ++i) {
        const CaptureQueueStateAbi s = state(inputs[i]);
        const Bytes& resumed = kept[i].back();
        const std::size_t inResumed = whole(resumed) < kPeriodBytes ? whole(resumed) : kPeriodBytes;
        WCHECK_EQ(s.framesDropped, lateDrops + (kPeriodBytes - inResumed) / 4);
        WCHECK_EQ(s.framesRecorded + s.framesDropped, (resumedAt + 1 - first) * 256ull);
        std::uint32_t offset = first * kPeriodBytes;
        for (std::size_t k = 0; k + 1 < kept[i].size(); ++k) {
            WCHECK(holds(sim, kept[i][k], inputs[i], offset, whole(kept[i][k])));
            offset += static_cast<std::uint32_t>(whole(kept[i][k]));
        }
        WCHECK(holds(sim, resumed, inputs[i], resumedAt * kPeriodBytes, inResumed));
    }
    WCHECK_EQ(d.IsPortCaptureRunning(1), 0);
    WCHECK_EQ(d.Finish(), 0);
    d.releaseAsioDriver();
}
