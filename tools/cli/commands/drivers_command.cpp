#include <cstdio>

#include "commands/commands.h"
#include "streaming/session.h"

namespace cli {

int runDrivers(const Arguments& /*args*/) {
    const auto drivers = installedDrivers();
    if (drivers.empty()) {
        std::printf("no ASIO driver is installed\n");
        return kExitOk;
    }
    for (std::size_t i = 0; i < drivers.size(); ++i) std::printf("%u: %s\n", unsigned(i), drivers[i].c_str());
    return kExitOk;
}

}  // namespace cli
