// One driver session of the command-line host: finds and loads a driver, runs
// Initialize and Prepare, and always finishes and releases on the way out, also
// after Ctrl+C or the console's close (console/console_events.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "console/console_events.h"
#include "console/exit_codes.h"
#include "wav/sample_codec.h"

namespace cli {

// Names of the installed drivers, in the library's order.
std::vector<std::string> installedDrivers();

class Session {
public:
    Session() = default;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    ~Session();

    // Loads `name`, or the first installed driver when it is empty, and runs
    // Initialize. On failure prints the reason and answers false.
    bool open(const std::string& name);
    // Prepare: buffers created and the driver started.
    bool prepare();
    // Finish and release (also done by the destructor).
    void close();

    const std::string& driverName() const { return name_; }

private:
    std::string name_;
    bool loaded_ = false;
    bool prepared_ = false;
};

}  // namespace cli
