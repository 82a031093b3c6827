// Drivers and the two registry views of a 64-bit Windows: a process lists only
// the drivers registered in the view of its own bitness, and a driver whose
// server is a DLL of the other bitness fails to load without harm.
#include <windows.h>

#include <set>
#include <string>

#include "wine/dll_exports.h"
#include "wine/sim_control.h"
#include "wine/wine_check.h"

namespace {

constexpr char kOtherViewDriverName[] = "asiochan sim (other view)";
constexpr char kWrongBitnessDriverName[] = "asiochan sim (wrong bitness)";
constexpr char kWrongBitnessServer[] = "other_bitness_server.dll";

constexpr REGSAM kOwnView = sizeof(void*) == 8 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
constexpr REGSAM kOtherView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;

struct DriverKeys {
    REGSAM view;
    const char* classId;
    const char* subkey;
    const char* description;
    const char* server;  // file name in the test host's folder
};

const DriverKeys kEntries[] = {
    // A complete registration of the simulated driver, but in the other view.
    {kOtherView, "{5A1C0004-7E57-4A51-8C0D-A510C4A20004}", "asiochan_sim_other_view", kOtherViewDriverName,
     "asiochan_sim.dll"},
    // In this process's own view, a server of the other bitness.
    {kOwnView, "{5A1C0005-7E57-4A51-8C0D-A510C4A20005}", "asiochan_sim_wrong_bitness", kWrongBitnessDriverName,
     kWrongBitnessServer},
};

std::string hostFolder() {
    char path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s(path, n);
    return s.substr(0, s.find_last_of("\\/") + 1);
}

bool setText(HKEY root, const std::string& path, REGSAM view, const char* value, const std::string& text) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_WRITE | view, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    const LONG rc = RegSetValueExA(key, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                   static_cast<DWORD>(text.size() + 1));
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

void deleteTree(const char* parent, REGSAM view, const char* child) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, parent, 0, KEY_ALL_ACCESS | view, &key) != ERROR_SUCCESS) return;
    RegDeleteTreeA(key, child);
    RegCloseKey(key);
}

// Writes the entries for the life of the process (the DLL reads the registry once,
// at its first list call) and removes them again, leftovers of a crashed run too.
struct ViewEntries {
    bool written = true;
    ViewEntries() {
        remove();
        const std::string folder = hostFolder();
        for (const DriverKeys& e : kEntries) {
            const std::string cls = std::string("Software\\Classes\\CLSID\\") + e.classId;
            const std::string asio = std::string("Software\\ASIO\\") + e.subkey;
            written = written &&
                      setText(HKEY_LOCAL_MACHINE, cls + "\\InprocServer32", e.view, nullptr, folder + e.server) &&
                      setText(HKEY_LOCAL_MACHINE, asio, e.view, "CLSID", e.classId) &&
                      setText(HKEY_LOCAL_MACHINE, asio, e.view, "Description", e.description);
        }
    }
    ~ViewEntries() { remove(); }
    static void remove() {
        for (const DriverKeys& e : kEntries) {
            deleteTree("Software\\Classes\\CLSID", e.view, e.classId);
            deleteTree("Software\\ASIO", e.view, e.subkey);
        }
    }
};

ViewEntries& viewEntries() {
    static ViewEntries entries;
    return entries;
}

}  // namespace

WINE_TEST(views, only_the_drivers_of_the_own_view_are_listed) {
    WCHECK(viewEntries().written);
    AsiochanDll& d = dll();
    std::set<std::string> names;
    for (int i = 0; i < d.getAsioDriverCount(); ++i) {
        char name[32] = {};
        if (d.getAsioDriverName(i, name) == 0) names.insert(name);
    }
    WCHECK_EQ(d.getAsioDriverCount(), 14);  // the fixture's thirteen and the wrong-bitness one
    WCHECK(names.count(kSimDriverName) == 1);
    WCHECK(names.count(kWrongBitnessDriverName) == 1);
    WCHECK(names.count(kOtherViewDriverName) == 0);
    WCHECK_EQ(d.loadAsioDriver(kOtherViewDriverName), 0);
}

WINE_TEST(views, a_server_of_the_wrong_bitness_fails_like_a_missing_one) {
    AsiochanDll& d = dll();
    WCHECK(GetFileAttributesA((hostFolder() + kWrongBitnessServer).c_str()) != INVALID_FILE_ATTRIBUTES);
    // With a driver loaded: the load fails and the previous driver comes back afresh.
    WCHECK_EQ(d.loadAsioDriver(kSimDriverName), 1);
    SimControl sim;
    WCHECK(sim.resolve());
    if (sim.module == nullptr) return;
    const std::uint32_t made = sim.simCreatedCount();
    WCHECK_EQ(d.loadAsioDriver(kWrongBitnessDriverName), 0);
    WCHECK(GetModuleHandleA(kWrongBitnessServer) == nullptr);
    WCHECK_EQ(sim.simCreatedCount(), made + 1);
    WCHECK_EQ(sim.simLiveCount(), 1);
    WCHECK_EQ(d.Initialize(), 0);
    WCHECK_EQ(d.GetOutputChannelCount(), 8);
    // With nothing loaded: nothing after.
    d.releaseAsioDriver();
    WCHECK_EQ(d.loadAsioDriver(kWrongBitnessDriverName), 0);
    WCHECK_EQ(sim.simLiveCount(), 0);
    WCHECK_EQ(d.Initialize(), -1000);
}
