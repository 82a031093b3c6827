// The classes asiochan_sim.dll serves. Each class id gives driver objects of its
// own configuration; several registry entries may point at the one DLL.
#pragma once

#include <windows.h>

#include "simdriver/core/sim_config.h"

namespace asiochan::sim::com {

enum class SimClass {
    Default,  // what regsvr32 installs: a driver a person can use
    Stepped,  // periods run only when a test asks for them
    Refused,  // the server refuses to create it
};

struct SimClassInfo {
    SimClass kind;
    CLSID id;
    const char* idText;       // as written in the registry
    const char* keyName;      // subkey under HKEY_LOCAL_MACHINE\SOFTWARE\ASIO
    const char* description;  // the name the driver is listed and loaded under
};

// The served classes; null when `id` is none of them.
const SimClassInfo* findSimClass(const CLSID& id);
const SimClassInfo& simClass(SimClass kind);

// The configuration of the driver objects of a class.
SimConfig configFor(SimClass kind);

}  // namespace asiochan::sim::com
