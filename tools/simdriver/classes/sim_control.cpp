// Extra exports for test hosts, reached with GetProcAddress (dlsym on Linux) on
// this module once a driver of it is loaded. They act on the newest driver object
// still alive.
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/abi.h"
#include "simdriver/classes/sim_objects.h"

using namespace asiochan;
using namespace asiochan::sim::classes;

namespace {
ClassDriver* newest() { return server().newest.load(); }
}  // namespace

extern "C" {

// The newest driver object still alive, or null; an identity for tests.
void* ASIOCHAN_CDECL simLastDriver() { return newest(); }

// Driver objects made since the module was loaded, and those still alive.
std::uint32_t ASIOCHAN_CDECL simCreatedCount() { return server().created.load(); }
std::int32_t ASIOCHAN_CDECL simLiveCount() { return static_cast<std::int32_t>(server().liveObjects.load()); }

// How often the newest driver's slot (in vtable order after IUnknown) was called;
// -1 without a driver.
std::int64_t ASIOCHAN_CDECL simCallCount(std::int32_t slot) {
    ClassDriver* d = newest();
    if (d == nullptr || slot < 0 || slot >= sim::kSlotCount) return -1;
    return static_cast<std::int64_t>(d->callCount(static_cast<sim::Slot>(slot)));
}

// Sets the newest driver's clock for its next start: free-running or stepped;
// the pace of a free-running clock in microseconds per period (-1: the pace of
// the sample rate, 0: as fast as possible); the input fill (0 pattern,
// 1 loopback, 2 none); whether outputs are recorded. 1 when a driver was there.
std::int32_t ASIOCHAN_CDECL simConfigureClock(std::int32_t freeRunning, std::int32_t periodMicros, std::int32_t inputFill,
                                       std::int32_t recordOutputs) {
    ClassDriver* d = newest();
    if (d == nullptr || inputFill < 0 || inputFill > 2) return 0;
    sim::ClockOptions& o = d->clock().options();
    o.freeRunning = freeRunning != 0;
    d->realTimePacing = periodMicros < 0;
    o.periodMicros = periodMicros < 0 ? 0 : static_cast<std::uint32_t>(periodMicros);
    o.inputFill = inputFill == 0   ? sim::InputFill::pattern
                  : inputFill == 1 ? sim::InputFill::loopback
                                   : sim::InputFill::none;
    o.recordOutputs = recordOutputs != 0;
    return 1;
}

// Stepped clock: runs `count` periods of the newest driver and waits for them.
// 1 when they ran.
std::int32_t ASIOCHAN_CDECL simRunPeriods(std::int32_t count) {
    ClassDriver* d = newest();
    if (d == nullptr || count < 0 || !d->clock().running()) return 0;
    return d->clock().step(static_cast<std::uint64_t>(count)) ? 1 : 0;
}

// Periods run since the newest driver's last start.
std::int64_t ASIOCHAN_CDECL simPeriodsRun() {
    ClassDriver* d = newest();
    return d ? static_cast<std::int64_t>(d->clock().periodsRun()) : -1;
}

// Copies up to `capacity` bytes of what the engine wrote to output `channel` of
// the newest driver, period after period, into `dest`; returns the number of
// bytes recorded (which may exceed `capacity`), or -1 when there is no such
// output. Call it while no period runs.
std::int32_t ASIOCHAN_CDECL simOutputRecording(std::int32_t channel, void* dest, std::int32_t capacity) {
    ClassDriver* d = newest();
    if (d == nullptr || capacity < 0) return -1;
    const auto& buffers = d->buffers();
    for (std::size_t i = 0; i < buffers.size(); ++i) {
        if (buffers[i].isInput || buffers[i].channel != channel) continue;
        const std::vector<std::uint8_t>& r = d->clock().recorded(i);
        const std::size_t n =
            r.size() < static_cast<std::size_t>(capacity) ? r.size() : static_cast<std::size_t>(capacity);
        if (dest != nullptr && n > 0) std::memcpy(dest, r.data(), n);
        return static_cast<std::int32_t>(r.size());
    }
    return -1;
}

// Byte `offset` of the pattern the stepped driver feeds input `channel`.
std::uint8_t ASIOCHAN_CDECL simInputPatternByte(std::int32_t channel, std::uint32_t offset) {
    return sim::inputPatternByte(channel, offset);
}

// Sets the buffer sizes the newest driver reports from its next getBufferSize
// (Initialize reads them): the preferred size, with the minimum brought down to
// it when needed. 1 when a driver was there and the size is positive.
std::int32_t ASIOCHAN_CDECL simSetBufferFrames(std::int32_t preferred) {
    ClassDriver* d = newest();
    if (d == nullptr || preferred <= 0) return 0;
    d->config().bufferPreferred = preferred;
    if (d->config().bufferMin > preferred) d->config().bufferMin = preferred;
    if (d->config().bufferMax < preferred) d->config().bufferMax = preferred;
    return 1;
}

// The newest driver's clock thread sends the host, before its next period, the
// notices whose bits are set (1 reset request, 2 resync request, 4 latencies
// changed, 8 sample rate changed to `rate`). 1 when a driver was there.
std::int32_t ASIOCHAN_CDECL simSendNotices(std::uint32_t notices, double rate) {
    ClassDriver* d = newest();
    if (d == nullptr) return 0;
    d->clock().sendNotices(notices, rate);
    return 1;
}

// The newest driver's period size changes to `frames` from its next
// createBuffers, and it asks the host for a reset before its next period.
// 1 when a driver was there and the size is positive.
std::int32_t ASIOCHAN_CDECL simRequestReset(std::int32_t frames) {
    ClassDriver* d = newest();
    if (d == nullptr || frames <= 0) return 0;
    d->requestReset(frames);
    return 1;
}

// The newest driver stops calling the host once `periods` periods have run since
// its start, as a hung driver does (until its next start). 1 when a driver was there.
std::int32_t ASIOCHAN_CDECL simStallAfter(std::uint32_t periods) {
    ClassDriver* d = newest();
    if (d == nullptr) return 0;
    d->clock().stallAfter(periods);
    return 1;
}

// The newest driver's clock, before its next period, moves its sample position on
// by `periods` periods without calling the host (negative: back), as a driver that
// skipped them. 1 when a driver was there.
std::int32_t ASIOCHAN_CDECL simSkipPeriods(std::int32_t periods) {
    ClassDriver* d = newest();
    if (d == nullptr) return 0;
    d->clock().skipPeriods(periods);
    return 1;
}

// Makes the newest driver misbehave the way badly written drivers do, from its
// next call of the slot concerned (the clock's faults from its next start):
//   0 stop answers `value` (0: works again)       1 start answers `value`
//   2 every period gets doubleBufferIndex `value`  3 any buffer size is taken and
//     `value` frames are reported as preferred       4 output `value`'s second half
//     is left null                                  5 createBuffers calls back early
//   6 `value` input channels reported              7 `value` output channels
//   8 sample type `value` for every channel      9 periods come through
//   10 no valid sample position (value != 0)        bufferSwitchTimeInfo (value != 0)
// 1 when a driver was there and the fault is known.
std::int32_t ASIOCHAN_CDECL simSetFault(std::int32_t fault, std::int32_t value) {
    ClassDriver* d = newest();
    if (d == nullptr) return 0;
    sim::SimConfig& c = d->config();
    auto setFailure = [&](sim::Slot slot) {
        std::erase_if(c.failures, [slot](const sim::SimConfig::Failure& f) { return f.slot == slot; });
        if (value != 0) c.failures.push_back({slot, value});
    };
    switch (fault) {
        case 0:
            setFailure(sim::Slot::stop);
            return 1;
        case 1:
            setFailure(sim::Slot::start);
            return 1;
        case 2:
            d->clock().options().overrideIndex = true;
            d->clock().options().indexOverride = value;
            return 1;
        case 3:
            c.acceptAnyBufferSize = true;
            c.bufferPreferred = value;
            return 1;
        case 4:
            c.nullHalves.push_back({false, value, 1});
            return 1;
        case 5:
            c.callbackInsideCreateBuffers = value != 0;
            return 1;
        case 6:
            c.inputs = value;
            return 1;
        case 7:
            c.outputs = value;
            return 1;
        case 8:
            c.inputType = value;
            c.outputType = value;
            return 1;
        case 9:
            d->clock().options().useTimeInfo = value != 0;
            return 1;
        case 10:
            d->clock().options().samplePositionValid = value == 0;
            return 1;
        default:
            return 0;
    }
}

}  // extern "C"
