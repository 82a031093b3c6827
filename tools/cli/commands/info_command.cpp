#include <cstdio>
#include <set>
#include <string>

#include "asiochan.h"
#include "commands/command_requests.h"
#include "commands/commands.h"
#include "streaming/session.h"

namespace cli {

namespace {
std::string formatsOf(bool input, std::int32_t count) {
    std::set<std::string> names;
    for (std::int32_t ch = 0; ch < count; ++ch) {
        AsiochanChannelInfo info{};
        info.channel = ch;
        info.isInput = input ? 1 : 0;
        if (ASIOGetChannelInfo(&info) == ASIOCHAN_OK) names.insert(describeSampleType(info.type).name);
    }
    std::string text;
    for (const auto& n : names) text += (text.empty() ? "" : ", ") + n;
    return text.empty() ? "-" : text;
}
}  // namespace

int runInfo(const Arguments& args) {
    InfoRequest req;
    if (!parseInfo(args, &req)) return kExitUsage;
    Session session;
    if (!session.open(req.driver)) return kExitUsage;
    const std::int32_t inputs = GetInputChannelCount();
    const std::int32_t outputs = GetOutputChannelCount();
    std::printf("driver:         %s\n", session.driverName().c_str());
    std::printf("inputs:         %d (%s)\n", int(inputs), formatsOf(true, inputs).c_str());
    std::printf("outputs:        %d (%s)\n", int(outputs), formatsOf(false, outputs).c_str());
    std::printf("buffer sizes:   min %d, max %d, preferred %d frames\n", int(GetBufferSizeMin()),
                int(GetBufferSizeMax()), int(GetBufferSizePreferred()));
    std::printf("sample rate:    %.0f Hz\n", GetCurrentSampleRate());
    // The latencies are known once the buffers exist.
    if (session.prepare()) {
        std::printf("latencies:      input %d, output %d frames\n", int(GetInputLatency()), int(GetOutputLatency()));
    }
    return kExitOk;
}

}  // namespace cli
