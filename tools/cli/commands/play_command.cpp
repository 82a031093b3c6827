#include <algorithm>
#include <cstdio>

#include "asiochan.h"
#include "commands/command_requests.h"
#include "commands/commands.h"
#include "console/progress.h"
#include "streaming/route_check.h"
#include "streaming/run_follower.h"
#include "streaming/run_outcome.h"
#include "streaming/session.h"
#include "streaming/stream_calls.h"
#include "streaming/stream_run.h"
#include "system/clock.h"
#include "wav/player_word.h"
#include "wav/wav_file.h"

namespace cli {

namespace {
// Reads the file, routes its channels, opens the driver, checks the outputs and
// prepares the run. An exit code, or kGoOn.
int openPlay(Session& session, const std::string& driver, const PlayRequest& req, PlaybackPlan& plan) {
    std::string error;
    plan.file = req.file;
    plan.single = req.single;
    plan.loop = req.loop;
    plan.volume = static_cast<float>(req.volume);
    if (!readWavInfo(req.file, &plan.wav, &error)) {
        std::fprintf(stderr, "error: %s\n", error.c_str());
        return kExitUsage;
    }
    if (!hasPlayerWords(plan.wav.bitsPerSample, plan.wav.sampleFormat)) {
        std::fprintf(stderr,
                     "error: %s has %u bits per sample (format %u); 8, 16 and 24 bits and 32-bit integer and float "
                     "samples are played\n",
                     req.file.c_str(), unsigned(plan.wav.bitsPerSample), unsigned(plan.wav.sampleFormat));
        return kExitUsage;
    }
    // --channel N plays the file's first channel, whatever it holds.
    plan.routes = {{0, req.channels[0]}};
    if (!req.single &&
        !(req.map.empty() ? routesFromList(req.channels, plan.wav, req.file, "--channels", "--map", &plan.routes)
                          : routesFromMap(req.map, plan.wav, req.file, "--map", &plan.routes)))
        return kExitUsage;
    if (!session.open(driver)) return kExitUsage;
    if (!checkOutputs(plan.routes)) return kExitUsage;
    if (!session.prepare()) return kExitFailure;
    const double rate = GetCurrentSampleRate();
    if (rate > 0 && static_cast<double>(plan.wav.sampleRate) != rate)
        std::printf("note: %s is %u Hz but the driver runs at %.0f Hz; it plays at the driver's rate (no resampling)\n",
                    req.file.c_str(), plan.wav.sampleRate, rate);
    return kGoOn;
}

// The progress is shown and the run followed this often.
constexpr unsigned kLoopMs = 20;

// Writes the file into a stream on its outputs until it has played (or Ctrl+C),
// through the driver's resets. An exit code.
int streamPlay(Session& session, const PlaybackPlan& plan) {
    installInterruptHandler();
    // Integer files as the players' 32-bit words, float files as floats.
    const bool floats = plan.wav.isFloat();
    const double rate = GetCurrentSampleRate();
    StreamFeeder feeder(plan, floats, static_cast<std::size_t>(std::max(256.0, rate / 50)));
    std::vector<unsigned> outputs;
    for (const Route& route : plan.routes) outputs.push_back(route.output);
    StreamRun stream(streamConfig(floats ? ASIOCHAN_STREAM_FLOAT32 : ASIOCHAN_STREAM_INT32, {}, outputs, 0), nullptr,
                     &feeder, [] { return true; });
    if (!stream.open()) return kExitFailure;
    const double seconds = plan.wav.seconds();
    std::printf("playing %s (%u Hz, %u bits, %.1f s) on %s channel(s)", plan.file.c_str(), plan.wav.sampleRate,
                unsigned(plan.wav.bitsPerSample), seconds, session.driverName().c_str());
    for (const Route& route : plan.routes) std::printf(" %u", route.output);
    std::printf("%s\n", plan.loop ? ", looping" : "");
    if (plan.wav.channels > 1 && !plan.single)
        for (const Route& route : plan.routes)
            std::printf("  file channel %u -> output %u\n", route.fileChannel, route.output);

    ExportsRunDriver driver(session.driverName());
    RunFollower follower(driver, {false, kStallMs});
    follower.begin();
    int code = kGoOn;
    while (!interrupted()) {
        if (!stream.feed()) {
            code = kExitFailure;
            break;
        }
        const RunStep step = follower.follow({&stream});
        reportRequests(step.noted, follower.seconds());
        if (step.kind == RunStep::stalled) reportStall();
        if ((code = exitForStep(step.kind)) != kGoOn) break;
        const AsiochanStreamState state = streamState();
        const double played = static_cast<double>(feeder.base() + state.played) / std::max(GetCurrentSampleRate(), 1.0);
        showProgress("  ", plan.loop ? played : std::min(played, seconds), seconds);
        // Done once every frame of the file was written and has played.
        if (feeder.writtenOut() && state.played >= feeder.written()) break;
        sleepMs(kLoopMs);
    }
    stream.close();
    endProgress();
    reportSkips(follower.skippedPeriods(), "playback had gaps");
    if (code != kGoOn) return code;
    std::printf(interrupted() ? "stopped\n" : "done\n");
    return kExitOk;
}
}  // namespace

int runPlay(const Arguments& args) {
    PlayRequest req;
    if (!parsePlay(args, &req)) return kExitUsage;
    PlaybackPlan plan;
    Session session;
    if (const int code = openPlay(session, req.driver, req, plan); code != kGoOn) return code;
    return streamPlay(session, plan);
}

}  // namespace cli
