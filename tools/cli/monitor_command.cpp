// asiochan monitor: the live peak and RMS level of inputs, about ten times a
// second, optionally while a WAV file plays on outputs.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "asiochan.h"
#include "commands.h"
#include "level_display.h"
#include "levels.h"
#include "resumable_capture.h"
#include "resumable_player.h"
#include "sample_codec.h"
#include "session.h"
#include "stream_watch.h"
#include "wav_file.h"

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

// The monitored inputs as a run has them; read again after every restart.
struct InputShape {
    std::int32_t frames = 0;
    double rate = 0.0;
    std::vector<std::int32_t> types;
    std::vector<int> widths;
};

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

// Levels are read every 100 ms: each input is captured for that long into a
// block with room for half a second more, so that it is stopped before it fills
// (a full capture would leave dump files).
constexpr DWORD kRefreshMs = 100;

std::vector<std::vector<std::uint8_t>> makeBlocks(const InputShape& shape) {
    const auto periods = static_cast<std::size_t>(shape.rate * (kRefreshMs + 500) / 1000 / shape.frames) + 2;
    std::vector<std::vector<std::uint8_t>> blocks;
    for (int width : shape.widths)
        blocks.emplace_back(periods * static_cast<std::size_t>(shape.frames) * static_cast<std::size_t>(width));
    return blocks;
}

std::string listOf(const std::vector<unsigned>& channels) {
    std::string text;
    for (unsigned c : channels) {
        if (!text.empty()) text += ',';
        text += std::to_string(c);
    }
    return text;
}
}  // namespace

int runMonitor(const Arguments& args) {
    if (args.has("--help")) {
        printUsage("monitor");
        return kExitOk;
    }
    MonitorRequest req;
    if (!parseMonitor(args, &req)) return kExitUsage;
    WavInfo played;
    std::string error;
    if (!req.playFile.empty() && !readWavInfo(req.playFile, &played, &error)) {
        std::fprintf(stderr, "error: %s\n", error.c_str());
        return kExitUsage;
    }

    std::vector<std::vector<std::uint8_t>> blocks;  // outlive the session: the run is finished before they go
    Session session;
    if (!session.open(args.value("--driver").value_or(""))) return kExitUsage;
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
    std::uint32_t mask = 0;
    for (unsigned c : req.playChannels) {
        if (c > 31 || static_cast<std::int32_t>(c) >= GetOutputChannelCount()) {
            std::fprintf(stderr, "error: output channel %u does not exist (the driver has %d outputs)\n", c,
                         int(GetOutputChannelCount()));
            return kExitUsage;
        }
        mask |= 1u << c;
    }
    InputShape shape;
    if (!readShape(req.channels, &shape)) return kExitUsage;
    if (!session.prepare()) return kExitFailure;
    if (!readShape(req.channels, &shape)) return kExitFailure;
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

    blocks = makeBlocks(shape);
    std::vector<LevelMeter> meters(req.channels.size());
    std::vector<double> decoded;
    LevelDisplay display(req.channels);
    StreamWatch watch;
    watch.restart();
    const DWORD begin = GetTickCount();
    const auto elapsed = [begin] { return (GetTickCount() - begin) / 1000.0; };
    while (!interrupted() && !(req.seconds > 0 && elapsed() >= req.seconds)) {
        // The run has one input width: every block counts in the first input's.
        ResumableCapture capture(blocks, req.channels, shape.types[0], shape.widths[0], shape.rate);
        const std::int32_t armed = capture.arm();
        if (armed != ASIOCHAN_OK) {
            StopCapture();
            std::fprintf(stderr, "error: the inputs could not be armed (code %d)\n", int(armed));
            return kExitFailure;
        }
        const DWORD armedAt = GetTickCount();
        StreamWatch::Event event = StreamWatch::Event::none;
        while (event == StreamWatch::Event::none && GetTickCount() - armedAt < kRefreshMs && !interrupted()) {
            Sleep(10);
            event = watch.poll();
        }
        StopCapture();
        if (event == StreamWatch::Event::stalled) {
            if (playing) player.stop();
            reportStall();
            session.close();
            return kExitFailure;
        }
        if (event == StreamWatch::Event::reset) {
            // This refresh's captures end with the run; the levels go on in the new one.
            if (playing) player.hold(watch.periodsAtReset(), GetBufferSizePreferred());
            const bool more = playing && !player.finished();
            if (!restartRun(session.driverName().c_str()) || !readShape(req.channels, &shape)) return kExitFailure;
            watch.restart();
            blocks = makeBlocks(shape);
            if (more && !player.start())
                std::fprintf(stderr, "error: the player did not start again after the reset\n");
            continue;
        }
        capture.settle();
        for (std::size_t i = 0; i < req.channels.size(); ++i) {
            const std::size_t count =
                std::min(capture.captured(), blocks[i].size()) / static_cast<std::size_t>(shape.widths[i]);
            decoded.resize(count);
            decodeUnitSamples(blocks[i].data(), count, shape.types[i], decoded.data());
            meters[i].add(decoded.data(), count);
        }
        if (display.offer(meters, elapsed()))
            for (LevelMeter& m : meters) m.clear();
    }
    display.finish(meters, elapsed());
    if (playing) player.stop();
    reportSkips(watch.skippedPeriods(), "the levels lack their input");
    if (interrupted()) std::printf("stopped\n");
    return kExitOk;
}

}  // namespace cli
