// A simulated ASIO driver: a portable object that honours every driver slot,
// reports what its configuration says, fails chosen slots on request, and records
// the calls it receives. The same core serves the unit tests, the Wine tests and
// the shipped asiochan_sim.dll.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

#include "driver/asio_driver.h"
#include "platform/platform.h"
#include "simdriver/core/sim_clock.h"
#include "simdriver/core/sim_config.h"

namespace asiochan::sim {

// One received call with its arguments, as raw words (pointers and integers) and
// the double argument of the rate slots.
struct CallRecord {
    Slot slot;
    std::uintptr_t args[4];
    double rate;
};

class SimDriver : public IASIO {
public:
    explicit SimDriver(SimConfig config);
    SimDriver(const SimDriver&) = delete;
    SimDriver& operator=(const SimDriver&) = delete;

    // IUnknown
    std::int32_t ASIOCHAN_COMCALL QueryInterface(const platform::ClassId& iid, void** object) override;
    std::uint32_t ASIOCHAN_COMCALL AddRef() override;
    std::uint32_t ASIOCHAN_COMCALL Release() override;

    // Driver slots
    ASIOBool init(void* sysHandle) override;
    void getDriverName(char* name) override;
    AsioLong getDriverVersion() override;
    void getErrorMessage(char* string) override;
    ASIOError start() override;
    ASIOError stop() override;
    ASIOError getChannels(AsioLong* numInputChannels, AsioLong* numOutputChannels) override;
    ASIOError getLatencies(AsioLong* inputLatency, AsioLong* outputLatency) override;
    ASIOError getBufferSize(AsioLong* minSize, AsioLong* maxSize, AsioLong* preferredSize,
                            AsioLong* granularity) override;
    ASIOError canSampleRate(ASIOSampleRate sampleRate) override;
    ASIOError getSampleRate(ASIOSampleRate* sampleRate) override;
    ASIOError setSampleRate(ASIOSampleRate sampleRate) override;
    ASIOError getClockSources(ASIOClockSource* clocks, AsioLong* numSources) override;
    ASIOError setClockSource(AsioLong reference) override;
    ASIOError getSamplePosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp) override;
    ASIOError getChannelInfo(ASIOChannelInfo* info) override;
    ASIOError createBuffers(ASIOBufferInfo* bufferInfos, AsioLong numChannels, AsioLong bufferSize,
                            ASIOCallbacks* callbacks) override;
    ASIOError disposeBuffers() override;
    ASIOError controlPanel() override;
    ASIOError future(AsioLong selector, void* opt) override;
    ASIOError outputReady() override;

    // ---- Test control -----------------------------------------------------------
    SimConfig& config() { return config_; }
    // The calls received so far (at most kCallLogLimit are kept; counts are exact).
    std::vector<CallRecord> calls() const;
    std::uint64_t callCount(Slot slot) const;
    void clearCalls();
    std::uint32_t refCount() const { return refs_.load(); }
    bool started() const { return started_.load(); }

    // The buffers made by createBuffers, in the order of the records handed in.
    struct Buffer {
        bool isInput;
        AsioLong channel;
        AsioLong bytesPerHalf;
        std::vector<std::uint8_t> halves[2];
    };
    std::vector<Buffer>& buffers() { return buffers_; }
    ASIOCallbacks* callbacks() const { return callbacks_; }
    AsioLong bufferFrames() const { return bufferFrames_; }
    // The clock that runs periods between start and stop (see sim_clock.h); set
    // its options before start.
    SimClock& clock() { return clock_; }

    // Any thread: emulates a driver whose period size was changed from outside
    // (its own control panel, the audio server) while it streams: from now on it
    // reports `newPreferredFrames` as its preferred size (the range widened to take
    // it), the buffers of the run stay as they are until the next createBuffers,
    // and the clock thread asks the host for a reset before its next period.
    void requestReset(AsioLong newPreferredFrames);

    static constexpr std::size_t kCallLogLimit = 10000;

protected:
    virtual ~SimDriver();
    // Returns true (and stores the chosen result) when `slot` is set to fail.
    bool failing(Slot slot, ASIOError* result) const;
    void record(Slot slot, std::uintptr_t a0 = 0, std::uintptr_t a1 = 0, std::uintptr_t a2 = 0, std::uintptr_t a3 = 0,
                double rate = 0.0);

    SimConfig config_;
    std::atomic<std::uint32_t> refs_{1};
    std::atomic<bool> started_{false};
    double currentRate_;
    std::atomic<std::uint64_t> samplePosition_{0};
    std::vector<Buffer> buffers_;
    ASIOCallbacks* callbacks_ = nullptr;
    AsioLong bufferFrames_ = 0;
    SimClock clock_;
    std::atomic<AsioLong> changedPreferred_{0};  // 0: the configured size holds

private:
    mutable platform::Mutex logLock_;
    std::vector<CallRecord> log_;
    std::array<std::atomic<std::uint64_t>, kSlotCount> counts_{};
};

}  // namespace asiochan::sim
