// One driver session of the command-line host: finds and loads a driver, runs
// Initialize and Prepare, and always finishes and releases on the way out, also
// after Ctrl+C.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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

// Ctrl+C (and console close) sets a flag instead of killing the process, so the
// commands can finish the driver and release it before they exit.
void installInterruptHandler();
bool interrupted();

// The name of an ASIO sample type and its WAV equivalent.
struct SampleFormat {
    const char* name;
    int bytes;             // bytes per sample in the driver's buffers
    std::uint16_t wavTag;  // 1 = PCM, 3 = IEEE float, 0 = no WAV equivalent
    std::uint16_t wavBits;
    bool bigEndian;
};
SampleFormat describeSampleType(std::int32_t type);

// Exit codes.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;  // the driver or the engine failed
constexpr int kExitUsage = 2;    // bad arguments, missing driver, bad channel, unreadable file
// Not an exit code: a command's step went well, on to the next.
constexpr int kGoOn = -1;

}  // namespace cli
