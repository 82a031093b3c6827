#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <new>

#include "asiochan.h"
#include "capture_memory.h"
#include "commands.h"
#include "file_playback.h"
#include "loopback_check.h"
#include "progress.h"
#include "resumable_capture.h"
#include "session.h"
#include "stream_watch.h"
#include "wav_file.h"

namespace cli {

namespace {
struct CaptureRequestArgs {
    std::string out;
    std::vector<unsigned> inputs;
    double seconds = 0;
    std::string playFile;
    std::vector<unsigned> playChannels;  // --play-channels
    std::string playMap;                 // --play-map, instead
};

// What the capture needs once the driver is open.
struct CaptureJob {
    CaptureRequestArgs req;
    PlaybackPlan play;
    std::int32_t inputType = 0;
    SampleFormat format{};
    double rate = 0;
    std::vector<std::vector<std::uint8_t>> buffers;  // one per input
};

// How the stream went.
struct CaptureOutcome {
    bool restarted = false;
    bool failed = false;
    bool complete = false;
    std::uint32_t skipped = 0;
};

bool parseCapture(const Arguments& args, CaptureRequestArgs* req) {
    if (args.positional.size() != 1) {
        std::fprintf(stderr, "error: capture needs exactly one OUT.wav\n");
        return false;
    }
    req->out = args.positional[0];
    const auto channel = args.value("--channel");
    const auto channels = args.value("--channels");
    unsigned one = 0;
    if (channel && channels) {
        std::fprintf(stderr, "error: give --channel or --channels, not both\n");
        return false;
    }
    if (channel && parseUnsigned(*channel, &one)) req->inputs = {one};
    if (channels && !parseChannelList(*channels, &req->inputs)) {
        std::fprintf(stderr, "error: bad channel list \"%s\" (expected e.g. 0,1,2,3)\n", channels->c_str());
        return false;
    }
    if (req->inputs.empty()) {
        std::fprintf(stderr, "error: capture needs --channel N or --channels LIST (input channel numbers)\n");
        return false;
    }
    for (std::size_t i = 0; i < req->inputs.size(); ++i) {
        if (std::find(req->inputs.begin(), req->inputs.begin() + static_cast<std::ptrdiff_t>(i), req->inputs[i]) !=
            req->inputs.begin() + static_cast<std::ptrdiff_t>(i)) {
            std::fprintf(stderr, "error: input channel %u is named twice\n", req->inputs[i]);
            return false;
        }
    }
    auto seconds = args.value("--seconds");
    if (!seconds || !parseDouble(*seconds, &req->seconds) || req->seconds <= 0 || req->seconds > 3600) {
        std::fprintf(stderr, "error: capture needs --seconds S (more than 0, at most 3600)\n");
        return false;
    }
    if (auto file = args.value("--play")) {
        req->playFile = *file;
        if (args.has("--play-channels") && args.has("--play-map")) {
            std::fprintf(stderr, "error: give --play-channels or --play-map, not both\n");
            return false;
        }
        req->playMap = args.value("--play-map").value_or("");
        const std::string list = args.value("--play-channels").value_or("0");
        if (req->playMap.empty() && !parseChannelList(list, &req->playChannels)) {
            std::fprintf(stderr, "error: bad channel list \"%s\"\n", list.c_str());
            return false;
        }
    }
    return true;
}

// The inputs' common sample type, or false with the reason printed.
bool inputFormat(const std::vector<unsigned>& inputs, std::int32_t* type) {
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        AsiochanChannelInfo info{};
        info.channel = static_cast<std::int32_t>(inputs[i]);
        info.isInput = 1;
        const std::int32_t result = ASIOGetChannelInfo(&info);
        if (result != ASIOCHAN_OK || describeSampleType(info.type).wavTag == 0) {
            std::fprintf(stderr, "error: input channel %u has a sample format that cannot be written as WAV (%s)\n",
                         inputs[i], describeSampleType(info.type).name);
            return false;
        }
        if (i > 0 && info.type != *type) {
            std::fprintf(stderr, "error: inputs %u and %u have different sample types (%s, %s): capture them apart\n",
                         inputs[0], inputs[i], describeSampleType(*type).name, describeSampleType(info.type).name);
            return false;
        }
        *type = info.type;
    }
    return true;
}

// Reads the file to play, opens the driver and checks the channels against both;
// sizes the capture buffers. An exit code, or kGoOn.
int openCapture(Session& session, const std::string& driver, CaptureJob& job) {
    const CaptureRequestArgs& req = job.req;
    std::string error;
    if (!req.playFile.empty()) {
        job.play.file = req.playFile;
        if (!readWavInfo(req.playFile, &job.play.wav, &error)) {
            std::fprintf(stderr, "error: %s\n", error.c_str());
            return kExitUsage;
        }
        const bool routed = req.playMap.empty() ? routesFromList(req.playChannels, job.play.wav, req.playFile,
                                                                 "--play-channels", "--play-map", &job.play.routes)
                                                : routesFromMap(req.playMap, job.play.wav, req.playFile, "--play-map",
                                                                &job.play.routes);
        if (!routed) return kExitUsage;
    }
    if (!session.open(driver)) return kExitUsage;
    for (unsigned c : req.inputs) {
        if (static_cast<std::int32_t>(c) >= GetInputChannelCount()) {
            std::fprintf(stderr, "error: input channel %u does not exist (the driver has %d inputs)\n", c,
                         int(GetInputChannelCount()));
            return kExitUsage;
        }
    }
    if (!checkOutputs(job.play.routes)) return kExitUsage;
    if (!inputFormat(req.inputs, &job.inputType)) return kExitFailure;
    job.format = describeSampleType(job.inputType);
    job.rate = GetCurrentSampleRate();
    const double frames = req.seconds * job.rate;
    if (!(frames >= 1)) {
        std::fprintf(stderr, "error: %.1f s at %.0f Hz is not one sample\n", req.seconds, job.rate);
        return kExitUsage;
    }
    if (!captureFits(unsigned(req.inputs.size()), unsigned(job.format.bytes), job.rate, req.seconds)) return kExitUsage;
    try {
        job.buffers.resize(req.inputs.size());
        for (std::vector<std::uint8_t>& buffer : job.buffers)
            buffer.resize(static_cast<std::size_t>(frames) * std::size_t(job.format.bytes));
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "error: no memory for %.1f s of %u inputs\n", req.seconds, unsigned(req.inputs.size()));
        return kExitFailure;
    }
    return kGoOn;
}

void printInputs(const char* label, const std::vector<unsigned>& inputs) {
    std::printf("%s%s", label, inputs.size() == 1 ? "input" : "inputs");
    for (std::size_t i = 0; i < inputs.size(); ++i) std::printf("%s%u", i == 0 ? " " : ", ", inputs[i]);
}

// Prepares the run, arms the capture (before the player starts, so it hears the
// played sound whole) and follows the run until the capture is complete, through
// the driver's resets. An exit code, or kGoOn with `outcome` filled in.
int streamCapture(Session& session, CaptureJob& job, CaptureOutcome& outcome) {
    const CaptureRequestArgs& req = job.req;
    if (!session.prepare()) return kExitFailure;
    installInterruptHandler();
    ResumableCapture capture(job.buffers, req.inputs, job.inputType, job.format.bytes, job.rate);
    const std::int32_t armed = capture.arm();
    if (armed != ASIOCHAN_OK) {
        std::fprintf(stderr, "error: the inputs could not be armed (code %d)\n", int(armed));
        return kExitFailure;
    }
    std::unique_ptr<FilePlayback> player;
    if (!req.playFile.empty()) {
        player = makePlayback(job.play);
        if (!player->start()) {
            std::fprintf(stderr, "error: the player refused %s\n", req.playFile.c_str());
            StopCapture();
            return kExitFailure;
        }
    }
    printInputs("capturing ", req.inputs);
    std::printf(" of %s: %.1f s, %s at %.0f Hz\n", session.driverName().c_str(), req.seconds, job.format.name,
                job.rate);
    const DWORD begin = GetTickCount();
    StreamWatch watch;
    watch.restart();
    while (capture.running() && !interrupted()) {
        if (player) player->feed();
        const StreamWatch::Step step = watch.follow(session.driverName().c_str(), {&capture, player.get()});
        if (step == StreamWatch::Step::streaming) {
            showProgress("  ", std::min((GetTickCount() - begin) / 1000.0, req.seconds), req.seconds);
            Sleep(100);
            continue;
        }
        outcome.restarted =
            outcome.restarted || step == StreamWatch::Step::restarted || step == StreamWatch::Step::partLost;
        if (step == StreamWatch::Step::restarted) continue;
        // The capture ends; what it holds is written all the same.
        outcome.failed = true;
        break;
    }
    // Read as soon as the capture ended: a skip after it leaves the file whole.
    outcome.skipped = watch.skippedPeriods();
    if (capture.running()) StopCapture();
    capture.settle();
    outcome.complete = capture.complete();
    showProgress("  ", outcome.complete ? req.seconds : (GetTickCount() - begin) / 1000.0, req.seconds);
    endProgress();
    if (player) player->stop();
    return kGoOn;
}

void toLittleEndian(std::vector<std::uint8_t>& bytes, int width) {
    for (std::size_t at = 0; at + static_cast<std::size_t>(width) <= bytes.size();
         at += static_cast<std::size_t>(width))
        std::reverse(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                     bytes.begin() + static_cast<std::ptrdiff_t>(at) + width);
}

// Compares the i-th input captured with the file channel the i-th output played
// (a loopback from each output to the input in its place); the inputs must all
// hear it with one delay.
int checkLoopback(const CaptureJob& job) {
    const std::size_t pairs = std::min(job.req.inputs.size(), job.play.routes.size());
    bool matches = true;
    unsigned delay = 0, compared = 0;
    for (std::size_t i = 0; i < pairs; ++i) {
        const Route& route = job.play.routes[i];
        AsiochanChannelInfo output{};
        output.channel = static_cast<std::int32_t>(route.output);
        output.isInput = 0;
        ASIOGetChannelInfo(&output);
        LoopbackResult check;
        std::string error;
        if (!compareLoopback(job.req.playFile, job.play.wav, route.fileChannel, job.buffers[i], output.type,
                             job.inputType, &check, &error)) {
            std::fprintf(stderr, "error: %s\n", error.c_str());
            return kExitFailure;
        }
        if (job.req.inputs.size() == 1) {
            if (check.matches)
                std::printf(
                    "loopback check: the capture matches the played file (%u samples compared, delay %u frames)\n",
                    check.compared, check.delayFrames);
            else
                std::printf("loopback check: the capture does NOT match the played file (%s)\n", check.reason.c_str());
            return check.matches ? kExitOk : kExitFailure;
        }
        std::printf("loopback check: input %u %s file channel %u played on output %u", job.req.inputs[i],
                    check.matches ? "matches" : "does NOT match", route.fileChannel, route.output);
        if (check.matches)
            std::printf(" (%u samples compared, delay %u frames)\n", check.compared, check.delayFrames);
        else
            std::printf(" (%s)\n", check.reason.c_str());
        if (check.matches && i > 0 && check.delayFrames != delay) {
            std::printf("loopback check: the inputs hear the outputs with different delays: they are not aligned\n");
            matches = false;
        }
        matches = matches && check.matches;
        delay = check.delayFrames;
        compared += check.compared;
    }
    for (std::size_t i = pairs; i < job.req.inputs.size(); ++i)
        std::printf("loopback check: input %u not compared (no output listed in its place)\n", job.req.inputs[i]);
    if (matches && pairs > 0)
        std::printf(
            "loopback check: the capture matches the played file on %u inputs (%u samples compared, delay "
            "%u frames on each)\n",
            unsigned(pairs), compared, delay);
    return matches && pairs > 0 ? kExitOk : kExitFailure;
}

// Writes the file, says what went wrong on the way and checks the loopback.
int finishCapture(CaptureJob& job, const CaptureOutcome& outcome) {
    const CaptureRequestArgs& req = job.req;
    std::string error;
    std::size_t bytes = 0;
    for (std::vector<std::uint8_t>& buffer : job.buffers) {
        if (job.format.bigEndian) toLittleEndian(buffer, job.format.bytes);
        bytes += buffer.size();
    }
    if (!writeWavChannels(req.out, job.format.wavTag, static_cast<std::uint32_t>(job.rate), job.format.wavBits,
                          job.buffers, &error)) {
        std::fprintf(stderr, "error: %s\n", error.c_str());
        return kExitFailure;
    }
    std::printf("wrote %s (%u bytes of samples", req.out.c_str(), unsigned(bytes));
    if (job.buffers.size() > 1) printInputs(", ", req.inputs);
    std::printf(")%s%s\n", outcome.restarted ? ", with the gap of the driver's reset" : "",
                outcome.complete ? "" : ", stopped early");
    reportSkips(outcome.skipped, "the capture has gaps");
    if (outcome.failed || outcome.skipped != 0) return kExitFailure;
    if (req.playFile.empty()) return kExitOk;
    if (outcome.restarted) {
        std::printf("loopback check: skipped, the capture holds the gap of the driver's reset\n");
        return kExitOk;
    }
    return checkLoopback(job);
}
}  // namespace

int runCapture(const Arguments& args) {
    if (args.has("--help")) {
        printUsage("capture");
        return kExitOk;
    }
    CaptureJob job;
    if (!parseCapture(args, &job.req)) return kExitUsage;
    Session session;
    if (const int code = openCapture(session, args.value("--driver").value_or(""), job); code != kGoOn) return code;
    CaptureOutcome outcome;
    if (const int code = streamCapture(session, job, outcome); code != kGoOn) return code;
    return finishCapture(job, outcome);
}

}  // namespace cli
