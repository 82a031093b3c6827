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

bool anyChannelPlaying(const std::vector<unsigned>& channels) {
    for (unsigned c : channels)
        if (IsPortPlaybackRunning(c)) return true;
    return false;
}
}  // namespace

int runPlay(const Arguments& args) {
    if (args.has("--help")) {
        printUsage("play");
        return kExitOk;
    }
    PlayRequest req;
    if (!parsePlay(args, &req)) return kExitUsage;

    WavInfo wav;
    std::string error;
    if (!readWavInfo(req.file, &wav, &error)) {
        std::fprintf(stderr, "error: %s\n", error.c_str());
        return kExitUsage;
    }
    if (wav.bitsPerSample != 8 && wav.bitsPerSample != 16 && wav.bitsPerSample != 24) {
        std::fprintf(stderr, "error: %s has %u bits per sample; 8, 16 and 24 are played\n", req.file.c_str(),
                     unsigned(wav.bitsPerSample));
        return kExitUsage;
    }

    Session session;
    if (!session.open(args.value("--driver").value_or(""))) return kExitUsage;
    const std::int32_t outputs = GetOutputChannelCount();
    std::uint32_t mask = 0;
    for (unsigned c : req.channels) {
        if (static_cast<std::int32_t>(c) >= outputs || (req.multi && c > 31)) {
            std::fprintf(stderr, "error: output channel %u does not exist (the driver has %d outputs%s)\n", c,
                         int(outputs), req.multi ? ", --channels takes 0..31" : "");
            return kExitUsage;
        }
        mask |= 1u << (c & 31);
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
    if (rate > 0 && static_cast<double>(wav.sampleRate) != rate)
        std::printf("note: %s is %u Hz but the driver runs at %.0f Hz; it plays at the driver's rate (no resampling)\n",
                    req.file.c_str(), wav.sampleRate, rate);

    installInterruptHandler();
    PlayerSetup setup{req.file, wav, req.multi, mask, req.channels[0], req.loop, static_cast<float>(req.volume)};
    ResumablePlayer player(setup);
    if (!player.start()) {
        std::fprintf(stderr, "error: the player refused %s\n", req.file.c_str());
        return kExitFailure;
    }

    std::printf("playing %s (%u Hz, %u bits, %.1f s) on %s channel(s)", req.file.c_str(), wav.sampleRate,
                unsigned(wav.bitsPerSample), wav.seconds(), session.driverName().c_str());
    for (unsigned c : req.channels) std::printf(" %u", c);
    std::printf("%s\n", req.loop ? ", looping" : "");

    const DWORD begin = GetTickCount();
    DWORD playerStarted = begin;
    bool sawPlay = false;
    StreamWatch watch;
    watch.restart();
    while (!interrupted()) {
        const double elapsed = (GetTickCount() - begin) / 1000.0;
        const StreamWatch::Event event = watch.poll();
        if (event == StreamWatch::Event::stalled) {
            player.stop();
            reportStall();
            session.close();
            return kExitFailure;
        }
        if (event == StreamWatch::Event::reset) {
            const bool more = player.stopAfter(watch.periodsAtReset(), GetBufferSizePreferred());
            if (!restartRun(session.driverName().c_str())) return kExitFailure;
            watch.restart();
            if (!more) break;
            if (!player.start()) {
                std::fprintf(stderr, "error: the player did not start again after the reset\n");
                return kExitFailure;
            }
            // The new worker shows itself in play a moment after the start.
            sawPlay = false;
            playerStarted = GetTickCount();
            continue;
        }
        const bool playing = player.inPlay();
        sawPlay = sawPlay || playing;
        showProgress("  ", req.loop || elapsed < wav.seconds() ? elapsed : wav.seconds(), wav.seconds());
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

}  // namespace cli
