// asiochan capture: input channels streamed into one WAV file, for a given time
// or until Ctrl+C, optionally while a WAV file plays on outputs.
#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include "asiochan.h"
#include "wav/captured_channel.h"
#include "commands/commands.h"
#include "measure/loopback_check.h"
#include "console/progress.h"
#include "streaming/queued_player.h"
#include "streaming/route_check.h"
#include "streaming/run_outcome.h"
#include "streaming/session.h"
#include "streaming/stream_watch.h"
#include "streaming/streaming_capture.h"
#include "wav/wav_file.h"
#include "wav/wav_writer.h"

namespace cli {

namespace {
struct CaptureRequestArgs {
    std::string out;
    std::vector<unsigned> inputs;
    double seconds = 0;  // 0: until Ctrl+C
    std::string playFile;
    std::vector<unsigned> playChannels;  // --play-channels
    std::string playMap;                 // --play-map, instead
    bool checkLoopback = false;          // --check-loopback: a mismatch fails the command
};

// What the capture needs once the driver is open.
struct CaptureJob {
    CaptureRequestArgs req;
    PlaybackPlan play;
    std::int32_t inputType = 0;
    SampleFormat format{};
    double rate = 0;
    std::uint64_t frames = UINT64_MAX;  // the length asked for; UINT64_MAX: until Ctrl+C
};

bool parseInputs(const Arguments& args, CaptureRequestArgs* req) {
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
    return true;
}

bool parseCapture(const Arguments& args, CaptureRequestArgs* req) {
    if (args.positional.size() != 1) {
        std::fprintf(stderr, "error: capture needs exactly one OUT.wav\n");
        return false;
    }
    req->out = args.positional[0];
    if (!parseInputs(args, req)) return false;
    if (auto seconds = args.value("--seconds");
        seconds && (!parseDouble(*seconds, &req->seconds) || !(req->seconds > 0) || !std::isfinite(req->seconds))) {
        std::fprintf(stderr, "error: bad --seconds \"%s\" (a length in seconds, more than 0)\n", seconds->c_str());
        return false;
    }
    if (args.has("--check-loopback") && !args.has("--play")) {
        std::fprintf(stderr, "error: --check-loopback needs --play FILE.wav\n");
        return false;
    }
    if (auto file = args.value("--play")) {
        req->playFile = *file;
        if (args.has("--play-channels") && args.has("--play-map")) {
            std::fprintf(stderr, "error: give --play-channels or --play-map, not both\n");
            return false;
        }
        req->playMap = args.value("--play-map").value_or("");
        req->checkLoopback = args.has("--check-loopback");
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
    // The library moves every input's samples at one width, the last input's that
    // has one; an input of another width would never fill its buffers.
    for (std::int32_t c = GetInputChannelCount() - 1; c >= 0; --c) {
        AsiochanChannelInfo last{};
        last.channel = c;
        last.isInput = 1;
        if (ASIOGetChannelInfo(&last) != ASIOCHAN_OK || describeSampleType(last.type).bytes == 0) continue;
        if (describeSampleType(last.type).bytes != describeSampleType(*type).bytes) {
            std::fprintf(stderr,
                         "error: input %u is %s, %d bytes a sample, but the driver's inputs move at %d bytes (input "
                         "%d, %s): the library cannot capture it\n",
                         inputs[0], describeSampleType(*type).name, describeSampleType(*type).bytes,
                         describeSampleType(last.type).bytes, int(c), describeSampleType(last.type).name);
            return false;
        }
        break;
    }
    return true;
}

// Reads the file to play, opens the driver and checks the channels against both.
// An exit code, or kGoOn.
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
    if (req.seconds > 0) {
        const double frames = req.seconds * job.rate;
        if (!(frames >= 1)) {
            std::fprintf(stderr, "error: %g s at %.0f Hz is not one sample\n", req.seconds, job.rate);
            return kExitUsage;
        }
        job.frames = frames < 1.8e19 ? static_cast<std::uint64_t>(frames) : UINT64_MAX;
    }
    return kGoOn;
}

// A capture whose length fits in a WAV file is written as one; any other gets
// room for the header of an RF64 file, which it becomes if it passes 4 GiB.
bool createFile(const CaptureJob& job, WavWriter& file) {
    const WavFormat format{job.format.wavTag, static_cast<std::uint16_t>(job.req.inputs.size()),
                           static_cast<std::uint32_t>(job.rate), job.format.wavBits};
    const std::uint64_t frameBytes = format.frameBytes();
    const bool fits = job.frames <= WavWriter::kSizeLimit / frameBytes &&
                      fitsIn32Bits(format, false, job.frames * frameBytes, WavWriter::kSizeLimit);
    if (file.open(job.req.out, format, !fits)) return true;
    std::fprintf(stderr, "error: %s\n", file.error().c_str());
    return false;
}

void printInputs(const char* label, const std::vector<unsigned>& inputs) {
    std::printf("%s%s", label, inputs.size() == 1 ? "input" : "inputs");
    for (std::size_t i = 0; i < inputs.size(); ++i) std::printf("%s%u", i == 0 ? " " : ", ", inputs[i]);
}

// Prints every drop not yet reported: where the file has silence for it.
void reportDrops(StreamingCapture& capture, double rate) {
    DropEvent drop;
    while (capture.takeDrop(&drop)) {
        breakProgress();
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", dropWarning(drop.frames, drop.at, rate).c_str());
    }
}

void showCaptureProgress(const StreamingCapture& capture, const CaptureJob& job) {
    char note[96];
    const int n = std::snprintf(note, sizeof note, "%.1f MiB written",
                                static_cast<double>(capture.bytesWritten()) / (1024.0 * 1024.0));
    if (capture.framesDropped() > 0 && n > 0)
        std::snprintf(note + n, sizeof note - static_cast<std::size_t>(n), ", %llu frames dropped",
                      (unsigned long long)capture.framesDropped());
    showProgress("  ", static_cast<double>(capture.framesCaptured()) / job.rate, job.req.seconds, note);
}

// Follows the run until the capture is complete, fails or is stopped, through
// the driver's resets.
void followCapture(Session& session, const CaptureJob& job, StreamingCapture& capture, QueuedPlayer* player,
                   CaptureOutcome& outcome) {
    StreamWatch watch;
    watch.restart();
    while (capture.running() && !interrupted()) {
        if (player) player->feed();
        const StreamWatch::Step step = watch.follow(session.driverName().c_str(), {&capture, player});
        reportDrops(capture, job.rate);
        if (!noteCaptureStep(outcome, step)) break;
        if (step == StreamWatch::Step::streaming) {
            showCaptureProgress(capture, job);
            Sleep(50);
        }
    }
    // Read as soon as the capture ended: a skip after it leaves the file whole.
    outcome.skipped = watch.skippedPeriods();
}

// Prepares the run, queues the inputs' first buffers and the player's first
// blocks, starts both in one period and streams until the capture ends. An exit
// code, or kGoOn with `outcome` filled in.
int streamCapture(Session& session, CaptureJob& job, WavWriter& file, CaptureOutcome& outcome) {
    const CaptureRequestArgs& req = job.req;
    if (!session.prepare() || !createFile(job, file)) return kExitFailure;
    installInterruptHandler();
    StreamingCapture capture({req.inputs, job.inputType, job.format.bytes, job.rate}, file, job.frames);
    if (!capture.arm()) return kExitFailure;
    std::unique_ptr<QueuedPlayer> player;
    if (!req.playFile.empty()) {
        player = std::make_unique<QueuedPlayer>(job.play);
        if (!player->prime()) {
            std::fprintf(stderr, "error: the player refused %s\n", req.playFile.c_str());
            return kExitFailure;
        }
        StartCaptureAndPlayback();
    } else {
        StartCapture();
    }
    if (!capture.start()) return kExitFailure;
    printInputs("capturing ", req.inputs);
    if (req.seconds > 0)
        std::printf(" of %s: %g s", session.driverName().c_str(), req.seconds);
    else
        std::printf(" of %s until Ctrl+C", session.driverName().c_str());
    std::printf(", %s at %.0f Hz (%.1f MiB of buffers)\n", job.format.name, job.rate,
                static_cast<double>(capture.bytesHeld()) / (1024.0 * 1024.0));
    std::fflush(stdout);
    followCapture(session, job, capture, player.get(), outcome);
    capture.end();
    reportDrops(capture, job.rate);
    outcome.complete = capture.complete();
    outcome.newRate = capture.endedByNewRate();
    outcome.dropped = capture.framesDropped();
    showCaptureProgress(capture, job);
    endProgress();
    if (player) player->stop();
    const std::string failure = capture.failure();
    if (!failure.empty()) {
        std::fprintf(stderr, "error: %s; the capture stops here\n", failure.c_str());
        outcome.failed = true;
    }
    if (capture.unreportedDrops() > 0)
        std::fprintf(stderr, "warning: %llu more drops were not listed\n",
                     (unsigned long long)capture.unreportedDrops());
    return kGoOn;
}

// Compares the i-th input captured with the file channel the i-th output played
// (a loopback from each output to the input in its place); the inputs must all
// hear it with one delay. Whether they matched; `error` says why no comparison
// could be made.
bool checkLoopback(const CaptureJob& job, const WavWriter& file, std::string* error) {
    const std::size_t pairs = std::min(job.req.inputs.size(), job.play.routes.size());
    bool matches = true;
    unsigned delay = 0, compared = 0;
    // The played file and ten seconds of delay at most are compared.
    const std::uint64_t frames =
        std::min(file.frames(), job.play.wav.frames() + static_cast<std::uint64_t>(10 * job.rate));
    for (std::size_t i = 0; i < pairs; ++i) {
        const Route& route = job.play.routes[i];
        AsiochanChannelInfo output{};
        output.channel = static_cast<std::int32_t>(route.output);
        output.isInput = 0;
        ASIOGetChannelInfo(&output);
        LoopbackResult check;
        std::vector<std::uint8_t> captured;
        if (!readCapturedChannel(job.req.out, file.dataOffset(), job.req.inputs.size(), job.format.bytes, i, frames,
                                 &captured, error) ||
            !compareLoopback(job.req.playFile, job.play.wav, route.fileChannel, captured, output.type, job.inputType,
                             &check, error))
            return false;
        if (job.req.inputs.size() == 1) {
            if (check.matches)
                std::printf(
                    "loopback check: the capture matches the played file (%u samples compared, delay %u frames)\n",
                    check.compared, check.delayFrames);
            else
                std::printf("loopback check: the capture does NOT match the played file (%s)\n", check.reason.c_str());
            return check.matches;
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
    return matches && pairs > 0;
}

// Completes the file, says what went wrong on the way and checks the loopback.
int finishCapture(const CaptureJob& job, WavWriter& file, const CaptureOutcome& outcome) {
    const CaptureRequestArgs& req = job.req;
    const bool closed = file.close();
    if (!closed && !outcome.failed) std::fprintf(stderr, "error: %s\n", file.error().c_str());
    std::printf("wrote %s (%llu bytes of samples", req.out.c_str(), (unsigned long long)file.dataBytes());
    if (req.inputs.size() > 1) printInputs(", ", req.inputs);
    std::printf("%s)%s\n", file.rf64() ? ", RF64" : "", captureNotes(outcome, req.seconds > 0).c_str());
    reportSkips(outcome.skipped, "the capture has gaps");
    if (outcome.dropped > 0)
        std::fprintf(stderr, "warning: the inputs dropped %llu frames in all: the file has silence for them\n",
                     (unsigned long long)outcome.dropped);
    switch (judgeCapture(outcome, closed, !req.playFile.empty())) {
        case CaptureEnd::failed:
            return kExitFailure;
        case CaptureEnd::written:
            return kExitOk;
        case CaptureEnd::loopbackSkipped:
            std::printf("loopback check: skipped, the capture holds the gap of the driver's reset\n");
            return kExitOk;
        case CaptureEnd::checkLoopback:
            break;
    }
    // The comparison tells whether the inputs are a plain wire from the outputs;
    // it decides the exit code only when asked to (a recording of a filter or an
    // amplifier is not a failed capture).
    std::string error;
    const bool matched = checkLoopback(job, file, &error);
    if (!error.empty())
        std::fprintf(stderr, "%s: %s\n", req.checkLoopback ? "error" : "loopback check: not made", error.c_str());
    return matched || !req.checkLoopback ? kExitOk : kExitFailure;
}

// Asks for 1 ms timer steps while capturing, so that the queue's polls come on time.
struct FineTimer {
    FineTimer() { timeBeginPeriod(1); }
    ~FineTimer() { timeEndPeriod(1); }
};
}  // namespace

int runCapture(const Arguments& args) {
    CaptureJob job;
    if (!parseCapture(args, &job.req)) return kExitUsage;
    WavWriter file;  // outlives the session: the run is finished before it closes
    Session session;
    if (const int code = openCapture(session, args.value("--driver").value_or(""), job); code != kGoOn) return code;
    FineTimer timer;
    CaptureOutcome outcome;
    if (const int code = streamCapture(session, job, file, outcome); code != kGoOn) return code;
    return finishCapture(job, file, outcome);
}

}  // namespace cli
