// What the COM server keeps for the whole process: its module, the driver
// objects alive, the locks held on it, and the newest driver (for the test
// control exports).
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "simdriver/com/sim_classes.h"
#include "simdriver/core/sim_driver.h"

namespace asiochan::sim::com {

// A simulated driver living in the COM server: it counts itself in the server's
// state and answers QueryInterface for IUnknown and its own class.
class ComSimDriver : public SimDriver {
public:
    ComSimDriver(const SimClassInfo& cls, SimConfig config);
    std::int32_t ASIOCHAN_COMCALL QueryInterface(const platform::ClassId& iid, void** object) override;
    // A free-running clock is paced to the buffer size and rate of this start, at
    // the class's multiple of real time.
    ASIOError start() override;
    // The RateChange class reports its new rate once it announced it.
    ASIOError getSampleRate(ASIOSampleRate* sampleRate) override;
    SimClass kind() const { return kind_; }
    bool realTimePacing = true;

    // How far into a run the scripted classes misbehave, and how many periods the
    // Skips class skips then.
    static constexpr std::uint32_t kScriptPeriods = 100;
    static constexpr std::int32_t kScriptSkips = 3;
    static constexpr double kChangedRate = 44100.0;

protected:
    ~ComSimDriver() override;

private:
    // Clock thread, after each period: the Resets class's one reset request, the
    // Skips class's skip.
    static void afterPeriod(void* self, const ClockBuffer* buffers, std::size_t count, int half);
    // Clock thread: the RateChange class's notices, `left` periods before its new rate.
    void rateScript(std::uint32_t left);
    std::atomic<std::uint32_t> periodsUntilScript_{0};
    std::atomic<std::uint64_t> changedRate_{0};  // the double's bits; 0 until the RateChange class changed it

    SimClass kind_;
    CLSID id_;
};

struct ServerState {
    HMODULE module = nullptr;
    std::atomic<long> liveObjects{0};
    std::atomic<long> locks{0};
    std::atomic<std::uint32_t> created{0};
    std::atomic<ComSimDriver*> newest{nullptr};
};

ServerState& server();

}  // namespace asiochan::sim::com
