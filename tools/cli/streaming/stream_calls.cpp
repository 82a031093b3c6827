#include "streaming/stream_calls.h"

#include <algorithm>
#include <cstdio>

#include "console/progress.h"
#include "streaming/run_outcome.h"
#include "system/clock.h"

namespace cli {

AsiochanStreamConfig streamConfig(std::int32_t format, const std::vector<unsigned>& inputs,
                                  const std::vector<unsigned>& outputs, std::int32_t ringFrames) {
    AsiochanStreamConfig config{};
    config.size = sizeof config;
    config.format = format;
    config.inputCount = static_cast<std::int32_t>(std::min<std::size_t>(inputs.size(), 64));
    config.outputCount = static_cast<std::int32_t>(std::min<std::size_t>(outputs.size(), 64));
    config.ringFrames = ringFrames;
    for (std::int32_t i = 0; i < config.inputCount; ++i) config.inputs[i] = static_cast<std::uint8_t>(inputs[i]);
    for (std::int32_t i = 0; i < config.outputCount; ++i) config.outputs[i] = static_cast<std::uint8_t>(outputs[i]);
    return config;
}

std::int32_t captureRingFrames(double rate, std::size_t frameBytes) {
    constexpr double kSeconds = 3.0;
    constexpr std::size_t kMostBytes = 64u << 20;
    const double frames = std::min(kSeconds * rate, static_cast<double>(kMostBytes / std::max<std::size_t>(frameBytes, 1)));
    return static_cast<std::int32_t>(std::max(frames, 1.0));
}

std::string streamCodeText(std::int32_t code) {
    switch (code) {
        case ASIOCHAN_STREAM_ENDED:
            return "the stream ended";
        case ASIOCHAN_NO_MEMORY:
            return "no memory for the stream's rings";
        case ASIOCHAN_NOT_PRESENT:
            return "a channel is in use";
        case ASIOCHAN_INVALID_PARAMETER:
            return "the library refused the stream's channels or format";
        case ASIOCHAN_INVALID_MODE:
            return "no run for a stream";
        default:
            return std::string(AsiochanErrorText(code)) + " (code " + std::to_string(code) + ")";
    }
}

std::int32_t StreamReader::read(void* frames, std::int32_t count, std::int32_t timeoutMs, SourceBlock* block) {
    AsiochanStreamBlock got{};
    got.size = sizeof got;
    const std::int32_t read = ReadStream(frames, count, timeoutMs, &got);
    // The call that tells the end tells the last gap and events too.
    block->position = got.position;
    block->lost = got.lost;
    block->eventCount = static_cast<int>(std::min<std::uint32_t>(got.eventCount, SourceBlock::kMaxEvents));
    for (int i = 0; i < block->eventCount; ++i)
        block->events[i] = {got.events[i].code, got.events[i].frames, got.events[i].position};
    return read == ASIOCHAN_STREAM_ENDED ? kSourceEnded : read;
}

std::int32_t StreamWriter::write(const void* frames, std::int32_t count, std::int32_t timeoutMs) {
    const std::int32_t took = WriteStream(frames, count, timeoutMs, nullptr);
    return took == ASIOCHAN_STREAM_ENDED ? kSourceEnded : took;
}

AsiochanStreamState streamState() {
    AsiochanStreamState state{};
    state.size = sizeof state;
    GetStreamState(&state);
    return state;
}

bool restartRun(const char* driverName, bool newRate, double atSeconds) {
    const std::int32_t before = GetBufferSizePreferred();
    const double rateBefore = GetCurrentSampleRate();
    Finish();
    const std::int32_t initialized = Initialize();
    const std::int32_t after = GetBufferSizePreferred();
    breakProgress();
    std::fflush(stdout);
    // Arrows as "->": a console's code page may not show anything else.
    if (newRate)
        std::fprintf(stderr, "%s\n", rateChangeWarning(rateBefore, GetCurrentSampleRate(), atSeconds).c_str());
    else if (after != before)
        std::printf("driver asked for a reset (buffer %d -> %d frames); restarting\n", int(before), int(after));
    else
        std::printf("driver asked for a reset (buffer %d frames); restarting\n", int(before));
    std::fflush(stdout);
    if (initialized != ASIOCHAN_OK) {
        std::fprintf(stderr, "error: the driver \"%s\" did not initialize after its reset (code %d)\n", driverName,
                     int(initialized));
        return false;
    }
    const std::int32_t prepared = Prepare();
    if (prepared != ASIOCHAN_OK) {
        std::fprintf(stderr, "error: the driver \"%s\" did not start after its reset (code %d)\n", driverName,
                     int(prepared));
        return false;
    }
    return true;
}

void reportRequests(std::uint32_t requests, double atSeconds) {
    const std::string warnings = requestWarnings(requests, atSeconds);
    if (warnings.empty()) return;
    breakProgress();
    std::fflush(stdout);
    std::fprintf(stderr, "%s", warnings.c_str());
}

void reportStall() {
    // Ends the progress line first: the error goes to the other stream.
    breakProgress();
    std::fprintf(stderr, "error: the driver stopped delivering periods\n");
}

void reportSkips(std::uint32_t periods, const char* consequence) {
    if (periods == 0) return;
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", skipWarning(periods, consequence).c_str());
}

std::uint32_t ExportsRunDriver::takeRequests() { return GetDriverRequests(); }
std::uint32_t ExportsRunDriver::periodCount() { return GetPeriodCount(); }
std::uint32_t ExportsRunDriver::skippedPeriods() { return GetSkippedPeriods(); }
double ExportsRunDriver::sampleRate() { return GetCurrentSampleRate(); }
std::uint64_t ExportsRunDriver::nowMs() { return monotonicMs(); }
bool ExportsRunDriver::restart(bool newRate, double atSeconds) {
    return restartRun(driverName_.c_str(), newRate, atSeconds);
}

}  // namespace cli
