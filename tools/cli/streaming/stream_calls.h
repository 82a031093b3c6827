// The library's stream as the command line uses it: its config, its reads as a
// capture's frame source, and the driver's calls that following a run makes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "asiochan.h"
#include "streaming/frame_source.h"
#include "streaming/run_follower.h"
#include "streaming/stream_feeder.h"

namespace cli {

// A stream of `format` recording `inputs` and playing `outputs`, each in the order
// given, with rings of `ringFrames` (0: the library's default).
AsiochanStreamConfig streamConfig(std::int32_t format, const std::vector<unsigned>& inputs,
                                  const std::vector<unsigned>& outputs, std::int32_t ringFrames);

// The ring a capture asks for: about three seconds, and at most 64 MiB.
std::int32_t captureRingFrames(double rate, std::size_t frameBytes);

// What a stream call's result code means, for a message.
std::string streamCodeText(std::int32_t code);

// ReadStream with finite waits, as a capture's source.
class StreamReader : public FrameSource {
public:
    std::int32_t read(void* frames, std::int32_t count, std::int32_t timeoutMs, SourceBlock* block) override;
};

// WriteStream, as a feeder's writer.
class StreamWriter : public FrameWriter {
public:
    std::int32_t write(const void* frames, std::int32_t count, std::int32_t timeoutMs) override;
};

// The stream's state now (all zeros without one).
AsiochanStreamState streamState();

// After a reset request, or a new sample rate announced `atSeconds` into the
// command: Finish and Initialize, a line with the old and new period sizes (or a
// warning with the old and new rates), then Prepare. False, with the reason
// printed, when the driver does not come back.
bool restartRun(const char* driverName, bool newRate, double atSeconds);
// Prints the warnings of a resync and of new latencies noted `atSeconds` into the command.
void reportRequests(std::uint32_t requests, double atSeconds);
// Prints that the driver stopped delivering periods.
void reportStall();
// Prints that the driver skipped `periods` periods, so that `consequence`; nothing
// for none.
void reportSkips(std::uint32_t periods, const char* consequence);

// The driver's calls, through the exports; a restart prints its line and reason.
class ExportsRunDriver : public RunDriver {
public:
    explicit ExportsRunDriver(std::string driverName) : driverName_(std::move(driverName)) {}
    std::uint32_t takeRequests() override;
    std::uint32_t periodCount() override;
    std::uint32_t skippedPeriods() override;
    double sampleRate() override;
    std::uint64_t nowMs() override;
    bool restart(bool newRate, double atSeconds) override;

private:
    std::string driverName_;
};

}  // namespace cli
