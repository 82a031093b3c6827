// What the simulated driver's library keeps for the whole process: its module,
// the driver objects alive, the locks held on it (COM), and the newest driver (for
// the test control exports).
#pragma once

#include <atomic>
#include <cstdint>

#include "simdriver/classes/sim_classes.h"
#include "simdriver/core/sim_driver.h"

namespace asiochan::sim::classes {

// A simulated driver of one of the served classes: it counts itself in the
// library's state and answers QueryInterface for IUnknown and its own class.
class ClassDriver : public SimDriver {
public:
    ClassDriver(const SimClassInfo& cls, SimConfig config);
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
    ~ClassDriver() override;

private:
    // Clock thread, after each period: the Resets class's one reset request, the
    // Skips class's skip.
    static void afterPeriod(void* self, const ClockBuffer* buffers, std::size_t count, int half);
    // Clock thread: the RateChange class's notices, `left` periods before its new rate.
    void rateScript(std::uint32_t left);
    std::atomic<std::uint32_t> periodsUntilScript_{0};
    std::atomic<std::uint64_t> changedRate_{0};  // the double's bits; 0 until the RateChange class changed it

    SimClass kind_;
    platform::ClassId id_;
};

struct ServerState {
    void* module = nullptr;  // the library's own module handle (Windows)
    std::atomic<long> liveObjects{0};
    std::atomic<long> locks{0};
    std::atomic<std::uint32_t> created{0};
    std::atomic<ClassDriver*> newest{nullptr};
};

ServerState& server();

// The COM results the objects answer with, and IUnknown's interface id.
constexpr std::int32_t kOkResult = 0;
constexpr std::int32_t kFailResult = static_cast<std::int32_t>(0x80004005u);          // E_FAIL
constexpr std::int32_t kPointerResult = static_cast<std::int32_t>(0x80004003u);       // E_POINTER
constexpr std::int32_t kNoInterfaceResult = static_cast<std::int32_t>(0x80004002u);   // E_NOINTERFACE
constexpr std::int32_t kOutOfMemoryResult = static_cast<std::int32_t>(0x8007000Eu);   // E_OUTOFMEMORY
constexpr platform::ClassId kUnknownInterface{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// Makes a driver object of class `cls` asked for as `interfaceId` (its class id or
// IUnknown): the Refused class fails; the object comes with one reference.
std::int32_t createDriver(const SimClassInfo& cls, const platform::ClassId& interfaceId, void** object);

}  // namespace asiochan::sim::classes
