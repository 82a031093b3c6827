#include "session.h"

#include <windows.h>

#include <atomic>
#include <cstdio>

#include "asiochan.h"

namespace cli {

namespace {
std::atomic<bool> stopRequested{false};

BOOL WINAPI onConsoleEvent(DWORD event) {
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT || event == CTRL_CLOSE_EVENT) {
        stopRequested = true;
        return TRUE;
    }
    return FALSE;
}
}  // namespace

void installInterruptHandler() { SetConsoleCtrlHandler(onConsoleEvent, TRUE); }
bool interrupted() { return stopRequested.load(); }

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
        std::fprintf(stderr, "error: the driver \"%s\" did not initialize (code %d)\n", name_.c_str(), int(r));
        return false;
    }
    return true;
}

bool Session::prepare() {
    const std::int32_t r = Prepare();
    prepared_ = true;  // Finish is right even after a failed start
    if (r != ASIOCHAN_OK) {
        std::fprintf(stderr, "error: the driver \"%s\" did not start (code %d)\n", name_.c_str(), int(r));
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

SampleFormat describeSampleType(std::int32_t type) {
    switch (type) {
        case 0:
            return {"Int16MSB", 2, 1, 16, true};
        case 1:
            return {"Int24MSB", 3, 1, 24, true};
        case 2:
            return {"Int32MSB", 4, 1, 32, true};
        case 3:
            return {"Float32MSB", 4, 3, 32, true};
        case 4:
            return {"Float64MSB", 8, 3, 64, true};
        case 8:
            return {"Int32MSB16", 4, 1, 32, true};
        case 9:
            return {"Int32MSB18", 4, 1, 32, true};
        case 10:
            return {"Int32MSB20", 4, 1, 32, true};
        case 11:
            return {"Int32MSB24", 4, 1, 32, true};
        case 16:
            return {"Int16LSB", 2, 1, 16, false};
        case 17:
            return {"Int24LSB", 3, 1, 24, false};
        case 18:
            return {"Int32LSB", 4, 1, 32, false};
        case 19:
            return {"Float32LSB", 4, 3, 32, false};
        case 20:
            return {"Float64LSB", 8, 3, 64, false};
        case 24:
            return {"Int32LSB16", 4, 1, 32, false};
        case 25:
            return {"Int32LSB18", 4, 1, 32, false};
        case 26:
            return {"Int32LSB20", 4, 1, 32, false};
        case 27:
            return {"Int32LSB24", 4, 1, 32, false};
        case 32:
            return {"DSDInt8LSB1", 1, 0, 0, false};
        case 33:
            return {"DSDInt8MSB1", 1, 0, 0, false};
        case 40:
            return {"DSDInt8NER8", 1, 0, 0, false};
        default:
            return {"unknown", 0, 0, 0, false};
    }
}

}  // namespace cli
