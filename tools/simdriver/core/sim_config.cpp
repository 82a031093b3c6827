#include "simdriver/core/sim_config.h"

namespace asiochan::sim {

const char* slotName(Slot slot) {
    static const char* const names[kSlotCount] = {
        "init",           "getDriverName", "getDriverVersion", "getErrorMessage", "start",
        "stop",           "getChannels",   "getLatencies",     "getBufferSize",   "canSampleRate",
        "getSampleRate",  "setSampleRate", "getClockSources",  "setClockSource",  "getSamplePosition",
        "getChannelInfo", "createBuffers", "disposeBuffers",   "controlPanel",    "future",
        "outputReady"};
    const int i = static_cast<int>(slot);
    return (i >= 0 && i < kSlotCount) ? names[i] : "?";
}

ASIOSampleType SimConfig::typeOf(bool isInput, AsioLong channel) const {
    const auto& list = isInput ? inputTypes : outputTypes;
    if (channel >= 0 && static_cast<std::size_t>(channel) < list.size()) return list[static_cast<std::size_t>(channel)];
    return isInput ? inputType : outputType;
}

}  // namespace asiochan::sim
