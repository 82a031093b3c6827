#include <windows.h>

#include <cstdio>

#include "asiochan.h"
#include "commands/command_requests.h"
#include "commands/commands.h"
#include "streaming/playback_choice.h"
#include "streaming/route_check.h"
#include "streaming/run_outcome.h"
#include "wav/player_word.h"
#include "console/progress.h"
#include "streaming/session.h"
#include "streaming/stream_watch.h"
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

bool anyChannelPlaying(const std::vector<Route>& routes) {
    for (const Route& route : routes)
        if (IsPortPlaybackRunning(route.output)) return true;
    return false;
}

// Starts the player and follows the run until the file has played (or Ctrl+C),
// through the driver's resets. An exit code.
int streamPlay(Session& session, const PlaybackPlan& plan) {
    installInterruptHandler();
    const std::unique_ptr<FilePlayback> player = makePlayback(plan);
    if (!player->start()) {
        std::fprintf(stderr, "error: the player refused %s\n", plan.file.c_str());
        return kExitFailure;
    }
    const double seconds = plan.wav.seconds();
    std::printf("playing %s (%u Hz, %u bits, %.1f s) on %s channel(s)", plan.file.c_str(), plan.wav.sampleRate,
                unsigned(plan.wav.bitsPerSample), seconds, session.driverName().c_str());
    for (const Route& route : plan.routes) std::printf(" %u", route.output);
    std::printf("%s\n", plan.loop ? ", looping" : "");
    if (plan.wav.channels > 1 && !plan.single)
        for (const Route& route : plan.routes)
            std::printf("  file channel %u -> output %u\n", route.fileChannel, route.output);

    const DWORD begin = GetTickCount();
    DWORD playerStarted = begin;
    bool sawPlay = false;
    StreamWatch watch;
    watch.restart();
    while (!interrupted()) {
        const double elapsed = (GetTickCount() - begin) / 1000.0;
        player->feed();
        const StreamWatch::Step step = watch.follow(session.driverName().c_str(), {player.get()});
        if (step == StreamWatch::Step::stalled) session.close();
        if (const int code = exitForStep(step); code != kGoOn) return code;
        if (step == StreamWatch::Step::restarted) {
            if (player->finished()) break;
            // The new worker shows itself in play a moment after the start.
            sawPlay = false;
            playerStarted = GetTickCount();
            continue;
        }
        const bool playing = player->inPlay();
        sawPlay = sawPlay || playing;
        showProgress("  ", plan.loop || elapsed < seconds ? elapsed : seconds, seconds);
        // Ended: the worker is gone and the channels have played their last blocks.
        if (sawPlay && !playing && !anyChannelPlaying(plan.routes)) break;
        if (!sawPlay && GetTickCount() - playerStarted > 5000) break;  // the worker never got going
        Sleep(100);
    }
    endProgress();
    reportSkips(watch.skippedPeriods(), "playback had gaps");
    if (interrupted()) {
        player->stop();
        std::printf("stopped\n");
    } else if (!sawPlay) {
        std::fprintf(stderr, "error: the player did not start playing %s\n", plan.file.c_str());
        return kExitFailure;
    } else {
        std::printf("done\n");
    }
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
