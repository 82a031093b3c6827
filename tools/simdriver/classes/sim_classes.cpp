#include "simdriver/classes/sim_classes.h"

#include <cstdlib>
#include <iterator>

namespace asiochan::sim::classes {

namespace {
const SimClassInfo kClasses[] = {
    {SimClass::Default,
     {0x5a1c0001, 0x7e57, 0x4a51, {0x8c, 0x0d, 0xa5, 0x10, 0xc4, 0xa2, 0x00, 0x01}},
     "{5A1C0001-7E57-4A51-8C0D-A510C4A20001}",
     "asiochan_sim",
     "asiochan simulated driver"},
    {SimClass::Stepped,
     {0x5a1c0002, 0x7e57, 0x4a51, {0x8c, 0x0d, 0xa5, 0x10, 0xc4, 0xa2, 0x00, 0x02}},
     "{5A1C0002-7E57-4A51-8C0D-A510C4A20002}",
     "asiochan_sim_stepped",
     "asiochan sim (stepped)"},
    {SimClass::Refused,
     {0x5a1c0003, 0x7e57, 0x4a51, {0x8c, 0x0d, 0xa5, 0x10, 0xc4, 0xa2, 0x00, 0x03}},
     "{5A1C0003-7E57-4A51-8C0D-A510C4A20003}",
     "asiochan_sim_refused",
     "asiochan sim (refused)"},
    {SimClass::SteppedFloat,
     {0x5a1c0008, 0x7e57, 0x4a51, {0x8c, 0x0d, 0xa5, 0x10, 0xc4, 0xa2, 0x00, 0x08}},
     "{5A1C0008-7E57-4A51-8C0D-A510C4A20008}",
     "asiochan_sim_stepped_float",
     "asiochan sim (stepped, float)"},
    {SimClass::Resets,
     {0x5a1c0006, 0x7e57, 0x4a51, {0x8c, 0x0d, 0xa5, 0x10, 0xc4, 0xa2, 0x00, 0x06}},
     "{5A1C0006-7E57-4A51-8C0D-A510C4A20006}",
     "asiochan_sim_resets",
     "asiochan sim (resets)"},
    {SimClass::Stalls,
     {0x5a1c0007, 0x7e57, 0x4a51, {0x8c, 0x0d, 0xa5, 0x10, 0xc4, 0xa2, 0x00, 0x07}},
     "{5A1C0007-7E57-4A51-8C0D-A510C4A20007}",
     "asiochan_sim_stalls",
     "asiochan sim (stalls)"},
    {SimClass::Skips,
     {0x5a1c0009, 0x7e57, 0x4a51, {0x8c, 0x0d, 0xa5, 0x10, 0xc4, 0xa2, 0x00, 0x09}},
     "{5A1C0009-7E57-4A51-8C0D-A510C4A20009}",
     "asiochan_sim_skips",
     "asiochan sim (skips)"},
    {SimClass::Fast,
     {0x5a1c000a, 0x7e57, 0x4a51, {0x8c, 0x0d, 0xa5, 0x10, 0xc4, 0xa2, 0x00, 0x0a}},
     "{5A1C000A-7E57-4A51-8C0D-A510C4A2000A}",
     "asiochan_sim_fast",
     "asiochan sim (fast)"},
    {SimClass::Dut,
     {0x5a1c000b, 0x7e57, 0x4a51, {0x8c, 0x0d, 0xa5, 0x10, 0xc4, 0xa2, 0x00, 0x0b}},
     "{5A1C000B-7E57-4A51-8C0D-A510C4A2000B}",
     "asiochan_sim_dut",
     "asiochan sim (dut)"},
    {SimClass::RateChange,
     {0x5a1c0015, 0x7e57, 0x4a51, {0x8c, 0x0d, 0xa5, 0x10, 0xc4, 0xa2, 0x00, 0x15}},
     "{5A1C0015-7E57-4A51-8C0D-A510C4A20015}",
     "asiochan_sim_rate_change",
     "asiochan sim (rate change)"},
    {SimClass::Types,
     {0x5a1c0010, 0x7e57, 0x4a51, {0x8c, 0x0d, 0xa5, 0x10, 0xc4, 0xa2, 0x00, 0x10}},
     "{5A1C0010-7E57-4A51-8C0D-A510C4A20010}",
     "asiochan_sim_types",
     "asiochan sim (types)"},
    {SimClass::Bench,
     {0x5a1c0020, 0x7e57, 0x4a51, {0x8c, 0x0d, 0xa5, 0x10, 0xc4, 0xa2, 0x00, 0x20}},
     "{5A1C0020-7E57-4A51-8C0D-A510C4A20020}",
     "asiochan_sim_bench",
     "asiochan sim (bench)"},
};

// The bench class's channel count: ASIOCHAN_SIM_CHANNELS if it is a whole number
// from 8 to 64, else 8.
AsioLong benchChannels() {
    char text[16];
    if (!platform::readEnvironment("ASIOCHAN_SIM_CHANNELS", text, sizeof text)) return 8;
    char* end = nullptr;
    const long count = std::strtol(text, &end, 10);
    return end != text && *end == '\0' && count >= 8 && count <= 64 ? static_cast<AsioLong>(count) : 8;
}
}  // namespace

const SimClassInfo* findSimClass(const platform::ClassId& id) {
    for (const auto& c : kClasses)
        if (c.id == id) return &c;
    return nullptr;
}

const SimClassInfo* simClasses(std::size_t* count) {
    *count = std::size(kClasses);
    return kClasses;
}

const SimClassInfo& simClass(SimClass kind) {
    for (const auto& c : kClasses)
        if (c.kind == kind) return c;
    return kClasses[0];
}

SimConfig configFor(SimClass kind) {
    SimConfig config;  // 8 in, 8 out, 32-bit integer samples, 48 000 Hz, 256 frames
    config.name = "asiochan sim";
    // A driver left running for hours only counts its calls.
    config.keepCallLog = kind == SimClass::Stepped || kind == SimClass::SteppedFloat;
    if (kind == SimClass::Fast) {
        config.inputs = 64;
        config.outputs = 64;
        config.bufferPreferred = 1024;
    }
    if (kind == SimClass::Types) {
        // ASIOCHAN_SIM_TYPE=<code of a type with a width> puts every input in that
        // type: the library moves one width for all inputs, so a type of another
        // width than the last input's is captured that way.
        char text[16];
        char* end = nullptr;
        const long one = platform::readEnvironment("ASIOCHAN_SIM_TYPE", text, sizeof text) ? std::strtol(text, &end, 10) : -1;
        const bool all = end != nullptr && end != text && *end == '\0' && sampleWidthOf(one) != 0;
        config.inputTypes.clear();
        for (const SampleType& t : kSampleTypes)
            if (t.bytes != 0) config.inputTypes.push_back(all ? static_cast<ASIOSampleType>(one) : t.code);
        config.inputs = static_cast<AsioLong>(config.inputTypes.size());
    }
    if (kind == SimClass::Bench) config.inputs = config.outputs = benchChannels();
    if (kind == SimClass::SteppedFloat) {
        config.inputType = ASIOSTFloat32LSB;
        config.outputType = ASIOSTFloat32LSB;
    }
    return config;
}

ClockOptions clockFor(SimClass kind) {
    ClockOptions clock;
    if (kind == SimClass::Default || kind == SimClass::Resets || kind == SimClass::Stalls || kind == SimClass::Skips ||
        kind == SimClass::Fast || kind == SimClass::Dut || kind == SimClass::RateChange || kind == SimClass::Types ||
        kind == SimClass::Bench) {
        clock.freeRunning = true;
        const bool pattern = kind == SimClass::Resets || kind == SimClass::Fast || kind == SimClass::RateChange;
        clock.inputFill = pattern                   ? InputFill::pattern
                          : kind == SimClass::Dut   ? InputFill::device
                          : kind == SimClass::Types ? InputFill::sine
                          : kind == SimClass::Bench ? InputFill::bench
                                                    : InputFill::loopback;
        clock.recordOutputs = false;
    } else {
        clock.freeRunning = false;
        clock.inputFill = InputFill::pattern;
        clock.recordOutputs = true;
    }
    return clock;
}

double paceFor(SimClass kind) {
    if (kind != SimClass::Fast) return 1.0;
    char text[32];
    if (!platform::readEnvironment("ASIOCHAN_SIM_PACE", text, sizeof text)) return kFastPace;
    char* end = nullptr;
    const double pace = std::strtod(text, &end);
    // Anything but 0 or a plain number from 0.01 to 10^6 keeps the default.
    return end != text && *end == '\0' && (pace == 0.0 || (pace >= 0.01 && pace <= 1e6)) ? pace : kFastPace;
}

}  // namespace asiochan::sim::classes
