// asiochan monitor: the live peak and RMS level of inputs, about ten times a
// second, optionally while a WAV file plays on outputs.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "asiochan.h"
#include "commands/commands.h"
#include "measure/level_display.h"
#include "measure/levels.h"
#include "streaming/level_capture.h"
#include "streaming/resumable_player.h"
#include "wav/sample_codec.h"
#include "streaming/session.h"
#include "streaming/stream_watch.h"
#include "wav/wav_file.h"

namespace cli {

namespace {
struct MonitorRequest {
    std::vector<unsigned> channels;  // empty: every input
    double seconds = 0;              // 0: until Ctrl+C
    std::string playFile;
    std::vector<unsigned> playChannels;
};

bool parseMonitor(const Arguments& args, MonitorRequest* req) {
    if (!args.positional.empty()) {
        std::fprintf(stderr, "error: monitor takes no file (\"%s\"); --play FILE.wav plays one\n",
                     args.positional[0].c_str());
        return false;
    }
    if (auto list = args.value("--channels"); list && !parseChannelList(*list, &req->channels)) {
        std::fprintf(stderr, "error: bad channel list \"%s\" (expected e.g. 0,2)\n", list->c_str());
        return false;
    }
    if (auto seconds = args.value("--seconds");
        seconds && (!parseDouble(*seconds, &req->seconds) || req->seconds <= 0 || req->seconds > 86400)) {
        std::fprintf(stderr, "error: bad --seconds \"%s\" (more than 0, at most 86400)\n", seconds->c_str());
        return false;
    }
    if (auto file = args.value("--play")) {
        req->playFile = *file;
        const std::string list = args.value("--play-channels").value_or("0");
        if (!parseChannelList(list, &req->playChannels)) {
            std::fprintf(stderr, "error: bad channel list \"%s\"\n", list.c_str());
            return false;
        }
    }
    return true;
}

bool readShape(const std::vector<unsigned>& channels, InputShape* shape) {
    shape->frames = GetBufferSizePreferred();
    shape->rate = GetCurrentSampleRate();
    shape->types.clear();
    shape->widths.clear();
    for (unsigned c : channels) {
        AsiochanChannelInfo info{};
        info.channel = static_cast<std::int32_t>(c);
        info.isInput = 1;
        std::uint8_t scratch[8];
        const int width = ASIOGetChannelInfo(&info) == ASIOCHAN_OK ? encodeSample(0, info.type, scratch) : 0;
        if (width == 0) {
            std::fprintf(stderr, "error: input %u has sample type %s, whose level cannot be read\n", c,
                         describeSampleType(info.type).name);
            return false;
        }
        shape->types.push_back(info.type);
        shape->widths.push_back(width);
    }
    if (!(shape->rate >= 1000 && shape->rate <= 1e6) || shape->frames <= 0 || shape->frames > shape->rate) {
        std::fprintf(stderr, "error: the driver reports a period of %d frames at %.0f Hz, which cannot be monitored\n",
                     int(shape->frames), shape->rate);
        return false;
    }
    return true;
}

// The levels are refreshed about every 100 ms, from the queue read every 10 ms.
constexpr DWORD kRefreshMs = 100;
constexpr DWORD kPollMs = 10;

std::string listOf(const std::vector<unsigned>& channels) {
    std::string text;
    for (unsigned c : channels) {
        if (!text.empty()) text += ',';
        text += std::to_string(c);
    }
    return text;
}

// Opens the driver, checks the channels against it and prepares the run; the
// outputs to play on as a mask. An exit code, or kGoOn.
int openMonitor(Session& session, const std::string& driver, MonitorRequest& req, InputShape* shape,
                std::uint32_t* mask) {
    if (!session.open(driver)) return kExitUsage;
    const std::int32_t inputs = GetInputChannelCount();
    if (req.channels.empty())
        for (std::int32_t c = 0; c < inputs; ++c) req.channels.push_back(static_cast<unsigned>(c));
    for (unsigned c : req.channels) {
        if (static_cast<std::int32_t>(c) >= inputs) {
            std::fprintf(stderr, "error: input channel %u does not exist (the driver has %d inputs)\n", c, int(inputs));
            return kExitUsage;
        }
    }
    if (req.channels.empty()) {
        std::fprintf(stderr, "error: the driver \"%s\" has no inputs\n", session.driverName().c_str());
        return kExitUsage;
    }
    for (unsigned c : req.playChannels) {
        if (c > 31 || static_cast<std::int32_t>(c) >= GetOutputChannelCount()) {
            std::fprintf(stderr, "error: output channel %u does not exist (the driver has %d outputs)\n", c,
                         int(GetOutputChannelCount()));
            return kExitUsage;
        }
        *mask |= 1u << c;
    }
    if (!readShape(req.channels, shape)) return kExitUsage;
    if (!session.prepare()) return kExitFailure;
    if (!readShape(req.channels, shape)) return kExitFailure;
    return kGoOn;
}

// Shows the levels until the time is up or Ctrl+C, through the driver's resets.
// An exit code.
int monitorLevels(Session& session, const MonitorRequest& req, InputShape& shape, ResumablePlayer* player) {
    LevelCapture levels(req.channels);
    std::vector<LevelMeter> meters(req.channels.size());
    LevelDisplay display(req.channels);
    StreamWatch watch;
    watch.restart();
    const DWORD begin = GetTickCount();
    const auto elapsed = [begin] { return (GetTickCount() - begin) / 1000.0; };
    std::int32_t code = levels.start(shape);
    DWORD shownAt = begin;
    while (code == ASIOCHAN_OK && !interrupted() && !(req.seconds > 0 && elapsed() >= req.seconds)) {
        Sleep(kPollMs);
        const StreamWatch::Event event = watch.poll();
        if (event == StreamWatch::Event::stalled) {
            levels.stop();
            if (player) player->stop();
            reportStall();
            session.close();
            return kExitFailure;
        }
        if (event == StreamWatch::Event::reset) {
            // The levels go on in the new run.
            levels.stop();
            if (player) player->hold(watch.runBreak());
            const bool more = player && !player->finished();
            if (!watch.restartRun(session.driverName().c_str()) || !readShape(req.channels, &shape))
                return kExitFailure;
            code = levels.start(shape);
            if (more && !player->start())
                std::fprintf(stderr, "error: the player did not start again after the reset\n");
            continue;
        }
        code = levels.collect(meters);
        if (GetTickCount() - shownAt < kRefreshMs) continue;
        shownAt = GetTickCount();
        if (display.offer(meters, elapsed()))
            for (LevelMeter& m : meters) m.clear();
    }
    levels.stop();
    if (player) player->stop();
    if (code != ASIOCHAN_OK) {
        std::fprintf(stderr, "error: the inputs' buffers could not be queued (code %d)\n", int(code));
        return kExitFailure;
    }
    display.finish(meters, elapsed());
    reportSkips(watch.skippedPeriods(), "the levels lack their input");
    if (levels.dropped() > 0)
        std::fprintf(stderr, "warning: the inputs dropped %llu frames: the levels lack them\n",
                     (unsigned long long)levels.dropped());
    if (interrupted()) std::printf("stopped\n");
    return kExitOk;
}
}  // namespace

int runMonitor(const Arguments& args) {
    MonitorRequest req;
    if (!parseMonitor(args, &req)) return kExitUsage;
    WavInfo played;
    std::string error;
    if (!req.playFile.empty() && !readWavInfo(req.playFile, &played, &error)) {
        std::fprintf(stderr, "error: %s\n", error.c_str());
        return kExitUsage;
    }
    Session session;
    InputShape shape;
    std::uint32_t mask = 0;
    if (const int code = openMonitor(session, args.value("--driver").value_or(""), req, &shape, &mask); code != kGoOn)
        return code;
    installInterruptHandler();
    // The multi-channel player loops the file's first channel on every output.
    PlaybackPlan plan{req.playFile, played, {}, false, true, 1.0f};
    for (unsigned c : req.playChannels) plan.routes.push_back({0, c});
    ResumablePlayer player(plan, ResumablePlayer::Kind::multi, mask);
    const bool playing = !req.playFile.empty();
    if (playing && !player.start()) {
        std::fprintf(stderr, "error: the player refused %s\n", req.playFile.c_str());
        return kExitFailure;
    }
    std::printf("monitoring input(s) %s of %s: buffer %d frames at %.0f Hz (%s)", listOf(req.channels).c_str(),
                session.driverName().c_str(), int(shape.frames), shape.rate, describeSampleType(shape.types[0]).name);
    if (playing) std::printf(", playing %s on output(s) %s", req.playFile.c_str(), listOf(req.playChannels).c_str());
    if (req.seconds > 0) std::printf(", for %.1f s", req.seconds);
    std::printf("; Ctrl+C stops\n");
    std::fflush(stdout);
    return monitorLevels(session, req, shape, playing ? &player : nullptr);
}

}  // namespace cli
