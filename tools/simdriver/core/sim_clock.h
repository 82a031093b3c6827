// The simulated driver's clock: once the driver has buffers and is started, a
// thread of its own calls the host's period callback, either a number of periods
// at a time on request (stepped) or continuously at a chosen pace (free-running).
// Before each period it fills the input halves (a known pattern, or the outputs
// of the period before looped back); after each period it can record what the
// host wrote into every output half.
//
// Built on the platform thread functions and atomics only, so the same code runs
// in the host build, in the Windows test hosts and in the COM packaging.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "driver/asio_types.h"
#include "platform/platform.h"
#include "simdriver/core/ac_coupled_model.h"
#include "simdriver/core/bench_model.h"
#include "simdriver/core/dut_model.h"
#include "simdriver/core/input_pattern.h"
#include "simdriver/core/typed_sine.h"

namespace asiochan::sim {

enum class InputFill {
    pattern,   // inputPatternByte(channel, byte offset in the channel's stream)
    loopback,  // each input gets the output of the same number from the period before
    none,      // inputs are left as the host left them
    device,    // like loopback, through a DutModel per input (32-bit integer samples)
    sine,      // fillTypedSine in each input's own sample type, at deviceRate
    bench,     // like loopback, through the BenchModel: gains, crosstalk from the output
               // below, a cubic term and noise (32-bit integer samples)
    acCoupled, // like loopback, through an AcCoupledModel per input (32-bit integer samples)
};

// One driver buffer as the clock sees it.
struct ClockBuffer {
    bool isInput;
    AsioLong channel;
    std::size_t bytesPerHalf;
    std::uint8_t* halves[2];
    ASIOSampleType type = ASIOSTInt32LSB;  // the channel's sample type
};

struct ClockOptions {
    bool freeRunning = false;        // false: periods only on request (step)
    std::uint32_t periodMicros = 0;  // free-running pace; 0 = as fast as possible
    InputFill inputFill = InputFill::pattern;
    double deviceRate = 48000.0;  // the rate the models of InputFill::device and acCoupled filter at
    bool useTimeInfo = false;  // call bufferSwitchTimeInfo instead of bufferSwitch
    // false: a driver without a sample position (its time information says so, and
    // SimDriver::getSamplePosition fails).
    bool samplePositionValid = true;
    bool recordOutputs = true;
    std::size_t recordLimitBytes = std::size_t{64} << 20;  // per output buffer; later bytes are not kept
    // A faulty driver: every period is called with this doubleBufferIndex instead
    // of 0 and 1 in turn (the halves filled and recorded are still the right ones).
    bool overrideIndex = false;
    AsioLong indexOverride = 2;
    // A hung driver: once this many periods have run since the start, the clock
    // stops calling the host, and its thread stays until stop. Set before the
    // start, the stall cannot be overtaken by a free-running clock.
    std::uint64_t stallAfter = UINT64_MAX;
    // Called on the clock thread after every period (after recording), with the
    // driver's buffers and the half just serviced; null for none.
    void (*periodObserver)(void* context, const ClockBuffer* buffers, std::size_t count, int half) = nullptr;
    void* observerContext = nullptr;
};

// What a driver may tell the host between periods, as bits for SimClock::sendNotices.
constexpr std::uint32_t kNoticeReset = 1;       // asioMessage(kAsioResetRequest)
constexpr std::uint32_t kNoticeResync = 2;      // asioMessage(kAsioResyncRequest)
constexpr std::uint32_t kNoticeLatencies = 4;   // asioMessage(kAsioLatenciesChanged)
constexpr std::uint32_t kNoticeSampleRate = 8;  // sampleRateDidChange(rate)

class SimClock {
public:
    SimClock() = default;
    ~SimClock();
    SimClock(const SimClock&) = delete;
    SimClock& operator=(const SimClock&) = delete;

    // Options take effect at the next start.
    ClockOptions& options() { return options_; }

    // Starts the clock thread over `buffers`; false if it could not be started.
    bool start(std::vector<ClockBuffer> buffers, ASIOCallbacks* callbacks, AsioLong frames,
               std::atomic<std::uint64_t>* samplePosition);
    // Stops the thread and waits for it: no period runs after this returns.
    void stop();
    bool running() const { return thread_ != nullptr; }

    // Stepped mode: asks for `count` more periods and waits until they have run.
    bool step(std::uint64_t count, std::uint32_t timeoutMs = 60000);
    // Waits until `total` periods have run since the start.
    bool waitForPeriods(std::uint64_t total, std::uint32_t timeoutMs = 60000) const;
    std::uint64_t periodsRun() const { return completed_.load(std::memory_order_acquire); }

    // Any thread: the clock thread sends these notices (kNotice* bits) to the host
    // just before its next period, as a driver does from its own thread; a rate
    // notice carries `rate`. Messages go only where the host answers that it
    // supports them. Notices not yet sent survive a restart.
    void sendNotices(std::uint32_t notices, double rate = 0.0);
    // Any thread: once `total` periods have run since the start, the clock stops
    // calling the host without being told, as a hung driver does; its thread stays
    // until stop. A free-running clock may already be past `total` when this is
    // called (options().stallAfter cannot be overtaken). The next start replaces
    // it with options().stallAfter.
    void stallAfter(std::uint64_t total) { stallAt_.store(total, std::memory_order_release); }
    bool stalled() const {
        return completed_.load(std::memory_order_acquire) >= stallAt_.load(std::memory_order_acquire);
    }
    // Any thread: before its next period the clock moves its sample position on by
    // `periods` periods without calling the host, as an overloaded driver that
    // skipped them (the input pattern of those periods is gone too); a negative
    // count moves it back, as a driver whose position went wrong. Survives a restart.
    void skipPeriods(std::int64_t periods) { skips_.fetch_add(periods, std::memory_order_acq_rel); }
    // Whether this run's sample position is valid (samplePositionValid of the start).
    bool samplePositionValid() const { return active_.samplePositionValid; }

    // What the host wrote into output buffer `index` (in the order of the buffers
    // handed to start), period after period. Read while no period runs (after
    // step returned, or after stop); kept until the next start or clear.
    const std::vector<std::uint8_t>& recorded(std::size_t index) const;
    void clearRecordings();

private:
    static void threadMain(void* self);
    void runPeriod();
    void fillInputs(int index);
    void fillBench(int index);
    void deliverNotices();
    void applySkips();

    ClockOptions options_;
    ClockOptions active_;
    std::vector<ClockBuffer> buffers_;
    std::vector<std::vector<std::uint8_t>> recordings_;
    std::vector<std::uint64_t> inputOffsets_;
    std::vector<DutModel> devices_;  // one per buffer, for InputFill::device
    std::vector<AcCoupledModel> coupled_;  // one per buffer, for InputFill::acCoupled
    BenchModel bench_;               // for InputFill::bench
    ASIOCallbacks* callbacks_ = nullptr;
    AsioLong frames_ = 0;
    std::atomic<std::uint64_t>* samplePosition_ = nullptr;
    platform::ThreadHandle thread_ = nullptr;
    std::atomic<bool> stopRequested_{false};
    std::atomic<std::uint64_t> requested_{0};
    std::atomic<std::uint64_t> completed_{0};
    std::atomic<std::uint64_t> stallAt_{UINT64_MAX};
    std::atomic<std::uint32_t> notices_{0};
    std::atomic<std::int64_t> skips_{0};
    std::atomic<std::uint64_t> noticeRate_{0};  // the double's bit pattern
    platform::Event work_;                      // set by a step or a stop
    mutable platform::Event periodDone_;        // set after every period
};

}  // namespace asiochan::sim
