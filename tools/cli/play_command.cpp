#include <windows.h>

#include <cstdio>

#include "asiochan.h"
#include "commands.h"
#include "progress.h"
#include "resumable_player.h"
#include "session.h"
#include "stream_watch.h"
#include "wav_file.h"

namespace cli {

namespace {
struct PlayRequest {
    std::string file;
    std::vector<unsigned> channels{0};
    bool multi = false;
    double volume = 1.0;
    bool loop = false;
};

// What the player needs once the run is prepared.
struct PlayJob {
    PlayRequest req;
    WavInfo wav;
    std::uint32_t mask = 0;
};

bool parsePlay(const Arguments& args, PlayRequest* req) {
    if (args.positional.size() != 1) {
        std::fprintf(stderr, "error: play needs exactly one FILE.wav\n");
        return false;
    }
    req->file = args.positional[0];
    if (args.has("--channels") && args.has("--channel")) {
        std::fprintf(stderr, "error: give --channels or --channel, not both\n");
        return false;
    }
    if (auto v = args.value("--channels")) {
        req->multi = true;
        if (!parseChannelList(*v, &req->channels)) {
            std::fprintf(stderr, "error: bad channel list \"%s\" (expected e.g. 0,2)\n", v->c_str());
            return false;
        }
    }
    if (auto v = args.value("--channel")) {
        unsigned channel = 0;
        if (!parseUnsigned(*v, &channel)) {
            std::fprintf(stderr, "error: bad channel \"%s\"\n", v->c_str());
            return false;
        }
        req->channels = {channel};
    }
    if (auto v = args.value("--volume")) {
        if (!parseDouble(*v, &req->volume) || req->volume < 0) {
            std::fprintf(stderr, "error: bad volume \"%s\" (expected a number of 0 or more)\n", v->c_str());
            return false;
        }
    }
    req->loop = args.has("--loop");
    return true;
}

// Reads the file, opens the driver, checks the channels and prepares the run. An
// exit code, or kGoOn.
int openPlay(Session& session, const std::string& driver, PlayJob& job) {
    const PlayRequest& req = job.req;
    std::string error;
    if (!readWavInfo(req.file, &job.wav, &error)) {
        std::fprintf(stderr, "error: %s\n", error.c_str());
        return kExitUsage;
    }
    if (job.wav.bitsPerSample != 8 && job.wav.bitsPerSample != 16 && job.wav.bitsPerSample != 24) {
        std::fprintf(stderr, "error: %s has %u bits per sample; 8, 16 and 24 are played\n", req.file.c_str(),
                     unsigned(job.wav.bitsPerSample));
        return kExitUsage;
    }
    if (!session.open(driver)) return kExitUsage;
    const std::int32_t outputs = GetOutputChannelCount();
    for (unsigned c : req.channels) {
        if (static_cast<std::int32_t>(c) >= outputs || (req.multi && c > 31)) {
            std::fprintf(stderr, "error: output channel %u does not exist (the driver has %d outputs%s)\n", c,
                         int(outputs), req.multi ? ", --channels takes 0..31" : "");
            return kExitUsage;
        }
        job.mask |= 1u << (c & 31);
    }
    // The players write every output type with a width; say which channel cannot play.
    for (unsigned c : req.channels) {
        AsiochanChannelInfo info{};
        info.channel = static_cast<std::int32_t>(c);
        info.isInput = 0;
        if (ASIOGetChannelInfo(&info) == ASIOCHAN_OK && describeSampleType(info.type).wavTag == 0) {
            std::fprintf(stderr, "error: output channel %u has sample type %s, which the players cannot write\n", c,
                         describeSampleType(info.type).name);
            return kExitUsage;
        }
    }
    if (!session.prepare()) return kExitFailure;
    const double rate = GetCurrentSampleRate();
    if (rate > 0 && static_cast<double>(job.wav.sampleRate) != rate)
        std::printf("note: %s is %u Hz but the driver runs at %.0f Hz; it plays at the driver's rate (no resampling)\n",
                    req.file.c_str(), job.wav.sampleRate, rate);
    return kGoOn;
}

bool anyChannelPlaying(const std::vector<unsigned>& channels) {
    for (unsigned c : channels)
        if (IsPortPlaybackRunning(c)) return true;
    return false;
}

// Starts the player and follows the run until the file has played (or Ctrl+C),
// through the driver's resets. An exit code.
int streamPlay(Session& session, const PlayJob& job) {
    const PlayRequest& req = job.req;
    installInterruptHandler();
    ResumablePlayer player(
        {req.file, job.wav, req.multi, job.mask, req.channels[0], req.loop, static_cast<float>(req.volume)});
    if (!player.start()) {
        std::fprintf(stderr, "error: the player refused %s\n", req.file.c_str());
        return kExitFailure;
    }
    std::printf("playing %s (%u Hz, %u bits, %.1f s) on %s channel(s)", req.file.c_str(), job.wav.sampleRate,
                unsigned(job.wav.bitsPerSample), job.wav.seconds(), session.driverName().c_str());
    for (unsigned c : req.channels) std::printf(" %u", c);
    std::printf("%s\n", req.loop ? ", looping" : "");

    const DWORD begin = GetTickCount();
    DWORD playerStarted = begin;
    bool sawPlay = false;
    StreamWatch watch;
    watch.restart();
    while (!interrupted()) {
        const double elapsed = (GetTickCount() - begin) / 1000.0;
        const StreamWatch::Step step = watch.follow(session.driverName().c_str(), {&player});
        if (step == StreamWatch::Step::stalled) session.close();
        if (step == StreamWatch::Step::stalled || step == StreamWatch::Step::runLost ||
            step == StreamWatch::Step::partLost)
            return kExitFailure;
        if (step == StreamWatch::Step::restarted) {
            if (player.finished()) break;
            // The new worker shows itself in play a moment after the start.
            sawPlay = false;
            playerStarted = GetTickCount();
            continue;
        }
        const bool playing = player.inPlay();
        sawPlay = sawPlay || playing;
        showProgress("  ", req.loop || elapsed < job.wav.seconds() ? elapsed : job.wav.seconds(), job.wav.seconds());
        // Ended: the worker is gone and the channels have played their last blocks.
        if (sawPlay && !playing && !anyChannelPlaying(req.channels)) break;
        if (!sawPlay && GetTickCount() - playerStarted > 5000) break;  // the worker never got going
        Sleep(100);
    }
    endProgress();
    reportSkips(watch.skippedPeriods(), "playback had gaps");
    if (interrupted()) {
        player.stop();
        std::printf("stopped\n");
    } else if (!sawPlay) {
        std::fprintf(stderr, "error: the player did not start playing %s\n", req.file.c_str());
        return kExitFailure;
    } else {
        std::printf("done\n");
    }
    return kExitOk;
}
}  // namespace

int runPlay(const Arguments& args) {
    if (args.has("--help")) {
        printUsage("play");
        return kExitOk;
    }
    PlayJob job;
    if (!parsePlay(args, &job.req)) return kExitUsage;
    Session session;
    if (const int code = openPlay(session, args.value("--driver").value_or(""), job); code != kGoOn) return code;
    return streamPlay(session, job);
}

}  // namespace cli
