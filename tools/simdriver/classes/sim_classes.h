// The classes the simulated driver's library serves (asiochan_sim.dll on Windows,
// libasiochan_sim.so on Linux). Each class id gives driver objects of its own
// configuration; several registry entries may point at the one library.
#pragma once

#include "platform/platform.h"
#include "simdriver/core/sim_clock.h"
#include "simdriver/core/sim_config.h"

namespace asiochan::sim::classes {

enum class SimClass {
    Default,       // what regsvr32 installs: a driver a person can use
    Stepped,       // periods run only when a test asks for them
    Refused,       // the server refuses to create it
    SteppedFloat,  // stepped, with 32-bit float samples in both directions
    Resets,        // like Default, inputs fed the known pattern; about half a second into
                   // its first run it doubles its period size and asks for a reset
    Stalls,        // like Default, but it stops calling the host about half a second
                   // into every run
    Skips,         // like Default, but about half a second into every run it skips
                   // kScriptSkips periods (its sample position jumps over them)
    Fast,          // 64 inputs fed the known pattern and 64 outputs, 1024-frame periods,
                   // paced at a multiple of real time (paceFor): for long captures
    Dut,           // like Default, its loopback through a simulated device under test
                   // (DutModel: a 2 kHz low-pass and a cubic distortion)
    RateChange,    // like Resets, inputs fed the known pattern; in its first run it
                   // announces a resync about a quarter of a second in, new latencies a
                   // little later, and about half a second in (after kScriptPeriods
                   // periods) it changes its rate to kChangedRate, announces it and
                   // streams on
    Types,         // like Default, with one input per sample type that has a width (18),
                   // in the table's order, each carrying a 997 Hz sine at -6.02 dBFS;
                   // ASIOCHAN_SIM_TYPE=<code> (read at creation) puts all in that type
    Bench,         // like Default, its loopback through an interface with known faults
                   // (BenchModel); ASIOCHAN_SIM_CHANNELS (8 to 64, read whenever a driver
                   // object is made) sets its inputs and outputs, 8 by default
};

struct SimClassInfo {
    SimClass kind;
    platform::ClassId id;
    const char* idText;       // as written in the registry
    const char* keyName;      // subkey under HKEY_LOCAL_MACHINE\SOFTWARE\ASIO
    const char* description;  // the name the driver is listed and loaded under
};

// The served classes; null when `id` is none of them.
const SimClassInfo* findSimClass(const platform::ClassId& id);
// The served classes in their order, `count` of them.
const SimClassInfo* simClasses(std::size_t* count);
const SimClassInfo& simClass(SimClass kind);

// The configuration of the driver objects of a class.
SimConfig configFor(SimClass kind);
// The clock of a new driver object of a class: the default one runs on its own
// at the pace of the sample rate with the outputs looped back to the inputs and
// records nothing; the stepped one runs periods on request, feeds the inputs a
// known pattern and records the outputs.
ClockOptions clockFor(SimClass kind);

// How many times real time a class's free-running clock runs: 1, except for the
// Fast class: kFastPace, or the multiple that the environment variable
// ASIOCHAN_SIM_PACE gives (read at every start; 0: as fast as it can).
constexpr double kFastPace = 8.0;
double paceFor(SimClass kind);

}  // namespace asiochan::sim::classes
