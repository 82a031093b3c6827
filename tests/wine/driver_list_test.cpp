// The installed-driver list of the real DLL over Wine's registry and COM, with
// the simulated driver registered under four class ids (one refused).
#include <set>
#include <string>

#include "wine/dll_exports.h"
#include "wine/sim_control.h"
#include "wine/wine_check.h"

namespace {

std::string nameAt(int index) {
    char name[32] = {};
    if (dll().getAsioDriverName(index, name) != 0) return "<none>";
    return name;
}

}  // namespace

WINE_TEST(drivers, the_list_holds_what_the_registry_holds) {
    AsiochanDll& d = dll();
    WCHECK_EQ(d.getAsioDriverCount(), 13);
    std::set<std::string> names;
    for (int i = 0; i < d.getAsioDriverCount(); ++i) names.insert(nameAt(i));
    WCHECK(names.count(kSimDriverName) == 1);
    WCHECK(names.count(kSteppedDriverName) == 1);
    WCHECK(names.count(kRefusedDriverName) == 1);
    WCHECK(names.count(kSteppedFloatDriverName) == 1);
    WCHECK(names.count(kResettingDriverName) == 1);
    WCHECK(names.count(kStallingDriverName) == 1);
    WCHECK(names.count(kSkippingDriverName) == 1);
    WCHECK(names.count(kFastDriverName) == 1);
    WCHECK(names.count(kDutDriverName) == 1);
    WCHECK(names.count(kRateChangeDriverName) == 1);
    WCHECK(names.count(kTypesDriverName) == 1);
    WCHECK(names.count("asiochan sim (bench)") == 1);
    WCHECK(names.count("asiochan sim (ac-coupled)") == 1);
    char name[32];
    WCHECK_EQ(d.getAsioDriverName(-1, name), -5003);
    WCHECK_EQ(d.getAsioDriverName(13, name), -5003);
    WCHECK_EQ(d.getAsioDriverName(0, nullptr), -5001);
    WCHECK_EQ(d.loadAsioDriver(nullptr), 0);
}

WINE_TEST(drivers, loading_creates_the_driver_through_com) {
    AsiochanDll& d = dll();
    WCHECK_EQ(d.loadAsioDriver(kSimDriverName), 1);
    SimControl sim;
    WCHECK(sim.resolve());
    if (!sim.module) return;
    WCHECK_EQ(sim.simCreatedCount(), 1u);
    WCHECK_EQ(sim.simLiveCount(), 1);
    WCHECK_EQ(d.Initialize(), 0);
    WCHECK_EQ(d.GetInputChannelCount(), 8);
    WCHECK_EQ(d.GetOutputChannelCount(), 8);
    WCHECK_EQ(d.GetBufferSizePreferred(), 256);
    WCHECK(d.GetCurrentSampleRate() == 48000.0);
}

WINE_TEST(drivers, loading_is_case_sensitive_and_a_miss_changes_nothing) {
    AsiochanDll& d = dll();
    SimControl sim;
    WCHECK(sim.resolve());
    if (sim.module == nullptr) return;
    const std::uint32_t made = sim.simCreatedCount();
    WCHECK_EQ(d.loadAsioDriver("ASIOCHAN SIMULATED DRIVER"), 0);
    WCHECK_EQ(d.loadAsioDriver("asiochan"), 0);
    WCHECK_EQ(sim.simCreatedCount(), made);
    WCHECK_EQ(sim.simLiveCount(), 1);
    WCHECK_EQ(d.Initialize(), 0);
}

WINE_TEST(drivers, reloading_makes_a_fresh_object) {
    AsiochanDll& d = dll();
    SimControl sim;
    WCHECK(sim.resolve());
    if (sim.module == nullptr) return;
    const std::uint32_t made = sim.simCreatedCount();
    WCHECK_EQ(d.loadAsioDriver(kSimDriverName), 1);
    WCHECK_EQ(sim.simCreatedCount(), made + 1);
    WCHECK_EQ(sim.simLiveCount(), 1);
    WCHECK_EQ(sim.simCallCount(0), 0);  // init not yet called on the fresh object
    WCHECK_EQ(d.Initialize(), 0);
    WCHECK_EQ(sim.simCallCount(0), 1);
}

WINE_TEST(drivers, a_refused_creation_brings_the_previous_driver_back) {
    AsiochanDll& d = dll();
    SimControl sim;
    WCHECK(sim.resolve());
    if (sim.module == nullptr) return;
    const std::uint32_t made = sim.simCreatedCount();
    WCHECK_EQ(d.loadAsioDriver(kRefusedDriverName), 0);
    WCHECK_EQ(sim.simCreatedCount(), made + 1);  // the previous driver, afresh
    WCHECK_EQ(sim.simLiveCount(), 1);
    WCHECK_EQ(d.Initialize(), 0);
    WCHECK_EQ(d.GetOutputChannelCount(), 8);
}

WINE_TEST(drivers, a_second_class_of_the_same_server_loads) {
    AsiochanDll& d = dll();
    SimControl sim;
    WCHECK(sim.resolve());
    if (sim.module == nullptr) return;
    WCHECK_EQ(d.loadAsioDriver(kSteppedDriverName), 1);
    WCHECK_EQ(sim.simLiveCount(), 1);
    WCHECK_EQ(d.Initialize(), 0);
}

WINE_TEST(drivers, release_drops_the_driver) {
    AsiochanDll& d = dll();
    SimControl sim;
    WCHECK(sim.resolve());
    if (sim.module == nullptr) return;
    d.releaseAsioDriver();
    WCHECK_EQ(sim.simLiveCount(), 0);
    WCHECK_EQ(d.Initialize(), -1000);
    d.releaseAsioDriver();
    WCHECK_EQ(d.loadAsioDriver(kRefusedDriverName), 0);  // nothing loaded before: none after
    WCHECK_EQ(sim.simLiveCount(), 0);
    WCHECK_EQ(d.Initialize(), -1000);
}
