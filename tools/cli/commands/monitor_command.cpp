// asiochan monitor: the live peak and RMS level of inputs, about ten times a
// second, optionally while a WAV file plays on outputs.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "asiochan.h"
#include "commands/command_requests.h"
#include "commands/commands.h"
#include "console/progress.h"
#include "measure/level_display.h"
#include "measure/levels.h"
#include "streaming/run_follower.h"
#include "streaming/run_outcome.h"
#include "streaming/session.h"
#include "streaming/stream_calls.h"
#include "streaming/stream_run.h"
#include "system/clock.h"
#include "wav/sample_codec.h"
#include "wav/player_word.h"
#include "wav/wav_file.h"

#include <memory>

namespace cli {

namespace {
// Every input has a sample type whose level can be read, and the run a rate.
bool checkInputs(const std::vector<unsigned>& channels) {
    for (unsigned c : channels) {
        AsiochanChannelInfo info{};
        info.channel = static_cast<std::int32_t>(c);
        info.isInput = 1;
        std::uint8_t scratch[8];
        if (ASIOGetChannelInfo(&info) != ASIOCHAN_OK || encodeSample(0, info.type, scratch) == 0) {
            std::fprintf(stderr, "error: input %u has sample type %s, whose level cannot be read\n", c,
                         describeSampleType(info.type).name);
            return false;
        }
    }
    const double rate = GetCurrentSampleRate();
    if (!(rate >= 1000 && rate <= 1e6)) {
        std::fprintf(stderr, "error: the driver reports a rate of %.0f Hz, which cannot be monitored\n", rate);
        return false;
    }
    return true;
}

// The levels are refreshed about every 100 ms, from the stream read every 10 ms.
constexpr std::uint64_t kRefreshMs = 100;
constexpr std::int32_t kReadMs = 10;

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
int openMonitor(Session& session, const std::string& driver, MonitorRequest& req) {
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
    for (std::size_t i = 0; i < req.playChannels.size(); ++i) {
        const unsigned c = req.playChannels[i];
        if (static_cast<std::int32_t>(c) >= GetOutputChannelCount()) {
            std::fprintf(stderr, "error: output channel %u does not exist (the driver has %d outputs)\n", c,
                         int(GetOutputChannelCount()));
            return kExitUsage;
        }
        if (std::find(req.playChannels.begin(), req.playChannels.begin() + static_cast<std::ptrdiff_t>(i), c) !=
            req.playChannels.begin() + static_cast<std::ptrdiff_t>(i)) {
            std::fprintf(stderr, "error: output channel %u is named twice\n", c);
            return kExitUsage;
        }
    }
    if (!checkInputs(req.channels)) return kExitUsage;
    if (!session.prepare()) return kExitFailure;
    if (!checkInputs(req.channels)) return kExitFailure;
    return kGoOn;
}

// Shows the levels until the time is up or Ctrl+C, through the driver's resets:
// the inputs come as floats from a stream that also loops the file on the
// outputs. An exit code.
int monitorLevels(Session& session, const MonitorRequest& req, const PlaybackPlan* plan) {
    std::unique_ptr<StreamFeeder> feeder;
    if (plan) feeder = std::make_unique<StreamFeeder>(*plan, true, 1024);
    StreamRun stream(streamConfig(ASIOCHAN_STREAM_FLOAT32, req.channels, req.playChannels, 0), nullptr, feeder.get(),
                     [&req] { return checkInputs(req.channels); });
    if (!stream.open()) return kExitFailure;
    std::vector<LevelMeter> meters(req.channels.size());
    LevelDisplay display(req.channels);
    ExportsRunDriver driver(session.driverName());
    RunFollower follower(driver, {false, kStallMs});
    follower.begin();
    const std::size_t inputs = req.channels.size();
    const auto blockFrames = static_cast<std::int32_t>(std::max(256.0, GetCurrentSampleRate() / 50));
    std::vector<float> frames(static_cast<std::size_t>(blockFrames) * inputs);
    std::vector<double> channel(static_cast<std::size_t>(blockFrames));
    const std::uint64_t begin = monotonicMs();
    const auto elapsed = [begin] { return static_cast<double>(monotonicMs() - begin) / 1000.0; };
    std::uint64_t shownAt = begin, lost = 0;
    int code = kGoOn;
    while (!interrupted() && !(req.seconds > 0 && elapsed() >= req.seconds)) {
        if (!stream.feed()) {
            code = kExitFailure;
            break;
        }
        AsiochanStreamBlock block{};
        block.size = sizeof block;
        const std::int32_t read = stream.isOpen() ? ReadStream(frames.data(), blockFrames, kReadMs, &block) : 0;
        if (read > 0) {
            lost += block.lost;
            for (std::size_t c = 0; c < inputs; ++c) {
                for (std::int32_t i = 0; i < read; ++i)
                    channel[static_cast<std::size_t>(i)] = frames[static_cast<std::size_t>(i) * inputs + c];
                meters[c].add(channel.data(), static_cast<std::size_t>(read));
            }
        } else if (read != 0) {
            sleepMs(static_cast<unsigned>(kReadMs));  // ended: the reset request follows
        }
        const RunStep step = follower.follow({&stream});
        reportRequests(step.noted, follower.seconds());
        if (step.kind == RunStep::stalled) reportStall();
        if ((code = exitForStep(step.kind)) != kGoOn) break;
        if (monotonicMs() - shownAt < kRefreshMs) continue;
        shownAt = monotonicMs();
        if (display.offer(meters, elapsed()))
            for (LevelMeter& m : meters) m.clear();
    }
    stream.close();
    if (code != kGoOn) return code;
    display.finish(meters, elapsed());
    reportSkips(follower.skippedPeriods(), "the levels lack their input");
    if (lost > 0)
        std::fprintf(stderr, "warning: the inputs dropped %llu frames: the levels lack them\n", (unsigned long long)lost);
    if (interrupted()) std::printf("stopped\n");
    return kExitOk;
}
}  // namespace

int runMonitor(const Arguments& args) {
    MonitorRequest req;
    if (!parseMonitor(args, &req)) return kExitUsage;
    // The file's first channel loops on every output listed.
    PlaybackPlan plan{req.playFile, {}, {}, false, true, 1.0f};
    std::string error;
    if (!req.playFile.empty() && !readWavInfo(req.playFile, &plan.wav, &error)) {
        std::fprintf(stderr, "error: %s\n", error.c_str());
        return kExitUsage;
    }
    if (!req.playFile.empty() && !hasPlayerWords(plan.wav.bitsPerSample, plan.wav.sampleFormat)) {
        std::fprintf(stderr, "error: %s has samples that cannot be played\n", req.playFile.c_str());
        return kExitUsage;
    }
    for (unsigned c : req.playChannels) plan.routes.push_back({0, c});
    Session session;
    if (const int code = openMonitor(session, req.driver, req); code != kGoOn) return code;
    installInterruptHandler();
    const bool playing = !req.playFile.empty();
    std::printf("monitoring input(s) %s of %s at %.0f Hz", listOf(req.channels).c_str(), session.driverName().c_str(),
                GetCurrentSampleRate());
    if (playing) std::printf(", playing %s on output(s) %s", req.playFile.c_str(), listOf(req.playChannels).c_str());
    if (req.seconds > 0) std::printf(", for %.1f s", req.seconds);
    std::printf("; Ctrl+C stops\n");
    std::fflush(stdout);
    return monitorLevels(session, req, playing ? &plan : nullptr);
}

}  // namespace cli
