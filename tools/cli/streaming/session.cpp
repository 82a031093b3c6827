#include "streaming/session.h"

#include <windows.h>

#include <cstdio>

#include "asiochan.h"
#include "wav/sample_codec.h"

namespace cli {

std::vector<std::string> installedDrivers() {
    std::vector<std::string> names;
    const std::int32_t count = getAsioDriverCount();
    for (std::int32_t i = 0; i < count; ++i) {
        char name[32] = {};
        if (getAsioDriverName(i, name) == ASIOCHAN_OK) names.emplace_back(name);
    }
    return names;
}

Session::~Session() { close(); }

bool Session::open(const std::string& name) {
    const auto drivers = installedDrivers();
    if (drivers.empty()) {
        std::fprintf(
            stderr,
            "error: no ASIO driver is installed (register asiochan_sim.dll with regsvr32 to try the simulated one)\n");
        return false;
    }
    name_ = name.empty() ? drivers.front() : name;
    if (!loadAsioDriver(name_.c_str())) {
        std::fprintf(stderr, "error: cannot load the driver \"%s\"; installed drivers:\n", name_.c_str());
        for (std::size_t i = 0; i < drivers.size(); ++i)
            std::fprintf(stderr, "  %u: %s\n", unsigned(i), drivers[i].c_str());
        return false;
    }
    loaded_ = true;
    const std::int32_t r = Initialize();
    if (r != ASIOCHAN_OK) {
        std::fprintf(stderr, "error: the driver \"%s\" did not initialize (%s, code %d)\n", name_.c_str(), AsiochanErrorText(r), int(r));
        return false;
    }
    return true;
}

bool Session::prepare() {
    const std::int32_t r = Prepare();
    prepared_ = true;  // Finish is right even after a failed start
    if (r != ASIOCHAN_OK) {
        std::fprintf(stderr, "error: the driver \"%s\" did not start (%s, code %d)\n", name_.c_str(), AsiochanErrorText(r), int(r));
        return false;
    }
    return true;
}

void Session::close() {
    if (prepared_) Finish();
    prepared_ = false;
    if (loaded_) releaseAsioDriver();
    loaded_ = false;
}

}  // namespace cli
