#include "platform/linux/simulated_drivers.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/host/host_control.h"
#include "platform/host/host_system_control.h"
#include "platform/platform.h"

namespace asiochan::platform::linux_library {

namespace {

// What libasiochan_sim.so exports for the library that installs its classes.
using ClassCount = std::int32_t (*)();
using ClassAt = std::int32_t (*)(std::int32_t index, void* classId, const char** keyName, const char** description);
using CreateObject = std::int32_t (*)(const void* classId, const void* interfaceId, void** object);

struct SimClass {
    ClassId id;
    std::string idText;
    std::string keyName;
    std::string description;
};

// The folder this library was loaded from, with its trailing slash; empty when unknown.
std::string ownFolder() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&installSimulatedDrivers), &info) == 0 || info.dli_fname == nullptr) return {};
    const std::string path = info.dli_fname;
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string{} : path.substr(0, slash + 1);
}

// The registry's text form of a class id, upper-case as the Windows tools write it.
std::string classIdText(const ClassId& id) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", id.data1, id.data2,
                  id.data3, id.data4[0], id.data4[1], id.data4[2], id.data4[3], id.data4[4], id.data4[5], id.data4[6],
                  id.data4[7]);
    return text;
}

void mapDumpFolder() {
    char folder[4096];
    if (readEnvironment("ASIOCHAN_DUMP_DIR", folder, sizeof folder)) host::mapDrive('D', folder);
}

}  // namespace

void installSimulatedDrivers() {
    mapDumpFolder();
    const std::string path = ownFolder() + "libasiochan_sim.so";
    // Kept loaded for the life of the process, as a registered COM server is while
    // its objects live: the drivers' threads run in it.
    void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (module == nullptr) return;
    const auto count = reinterpret_cast<ClassCount>(::dlsym(module, "simClassCount"));
    const auto at = reinterpret_cast<ClassAt>(::dlsym(module, "simClassAt"));
    const auto create = reinterpret_cast<CreateObject>(::dlsym(module, "simCreateObject"));
    if (count == nullptr || at == nullptr || create == nullptr) return;

    std::vector<SimClass> classes;
    for (std::int32_t i = 0, n = count(); i < n; ++i) {
        SimClass c{};
        const char* keyName = nullptr;
        const char* description = nullptr;
        if (at(i, &c.id, &keyName, &description) == 0 || keyName == nullptr || description == nullptr) continue;
        c.idText = classIdText(c.id);
        c.keyName = keyName;
        c.description = description;
        classes.push_back(std::move(c));
    }
    // The registry lists its subkeys in name order; the stand-in in the order added.
    std::sort(classes.begin(), classes.end(),
              [](const SimClass& a, const SimClass& b) { return a.keyName < b.keyName; });
    for (const SimClass& c : classes) {
        host::setRegistryText(RegistryRoot::ClassesRoot, "CLSID\\" + c.idText, "", c.description);
        host::setRegistryText(RegistryRoot::ClassesRoot, "CLSID\\" + c.idText + "\\InprocServer32", "", path);
        host::setRegistryText(RegistryRoot::LocalMachine, "SOFTWARE\\ASIO\\" + c.keyName, "CLSID", c.idText);
        host::setRegistryText(RegistryRoot::LocalMachine, "SOFTWARE\\ASIO\\" + c.keyName, "Description",
                              c.description);
        const ClassId id = c.id;
        host::registerClass(id, [create, id](void** object) { return create(&id, &id, object); });
    }
}

}  // namespace asiochan::platform::linux_library
