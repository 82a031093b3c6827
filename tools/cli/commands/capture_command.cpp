// asiochan capture: input channels streamed into one WAV file, for a given time
// or until Ctrl+C, optionally while a WAV file plays on outputs.
#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include "asiochan.h"
#include "commands/command_requests.h"
#include "commands/commands.h"
#include "console/progress.h"
#include "measure/loopback_check.h"
#include "streaming/capture_frames.h"
#include "streaming/capture_pipeline.h"
#include "streaming/route_check.h"
#include "streaming/run_follower.h"
#include "streaming/run_outcome.h"
#include "streaming/session.h"
#include "streaming/stream_calls.h"
#include "streaming/stream_run.h"
#include "system/clock.h"
#include "wav/captured_channel.h"
#include "wav/wav_file.h"
#include "wav/wav_writer.h"

namespace cli {

namespace {
// What the capture needs once the driver is open.
struct CaptureJob {
    CaptureRequest req;
    PlaybackPlan play;
    std::int32_t inputType = 0;
    SampleFormat format{};
    CaptureFrames layout;  // how the stream gives the inputs
    double rate = 0;
    std::uint64_t frames = UINT64_MAX;  // the length asked for; UINT64_MAX: until Ctrl+C
};

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
    const CaptureRequest& req = job.req;
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
    captureFrames(job.inputType, !req.playFile.empty(), &job.layout);
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
                           static_cast<std::uint32_t>(job.rate), static_cast<std::uint16_t>(8 * job.layout.fileBytes)};
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

// Prints every gap not yet reported: where the file has silence for it.
void reportGaps(CapturePipeline& pipeline, double rate) {
    FrameGap gap;
    while (pipeline.takeGap(&gap)) {
        breakProgress();
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", dropWarning(gap.frames, gap.at, rate).c_str());
    }
}

// Prints the resyncs and new latencies the stream told, with their time in the file.
void reportEvents(CapturePipeline& pipeline, double rate) {
    PipelineEvent event;
    while (pipeline.takeEvent(&event))
        reportRequests(event.event.code & (ASIOCHAN_REQUEST_RESYNC | ASIOCHAN_REQUEST_LATENCIES),
                       static_cast<double>(event.at) / rate);
}

void showCaptureProgress(const CapturePipeline& pipeline, const CaptureJob& job) {
    char note[96];
    const int n = std::snprintf(note, sizeof note, "%.1f MiB written",
                                static_cast<double>(pipeline.bytesWritten()) / (1024.0 * 1024.0));
    if (pipeline.framesDropped() > 0 && n > 0)
        std::snprintf(note + n, sizeof note - static_cast<std::size_t>(n), ", %llu frames dropped",
                      (unsigned long long)pipeline.framesDropped());
    showProgress("  ", static_cast<double>(pipeline.framesPlaced()) / job.rate, job.req.seconds, note);
}

// The capture goes on in one file only while the inputs' sample type and the
// rate stay what its first part had.
bool sameShape(const CaptureJob& job) {
    for (unsigned input : job.req.inputs) {
        AsiochanChannelInfo info{};
        info.channel = static_cast<std::int32_t>(input);
        info.isInput = 1;
        if (ASIOGetChannelInfo(&info) != ASIOCHAN_OK || info.type != job.inputType) {
            std::fprintf(stderr,
                         "error: after its reset the driver changed the format of input %u; the capture ends here\n",
                         input);
            return false;
        }
    }
    if (GetCurrentSampleRate() != job.rate) {
        std::fprintf(stderr, "error: after its reset the driver runs at %.0f Hz, not %.0f Hz; the capture ends here\n",
                     GetCurrentSampleRate(), job.rate);
        return false;
    }
    return true;
}

// How long the stream may stay ended without the driver's reset request that
// ends it coming through.
constexpr std::uint64_t kEndedWithoutResetMs = 2000;
// The progress is shown and the run followed this often.
constexpr unsigned kLoopMs = 50;

// Follows the run until the capture is complete, fails or is stopped, through
// the driver's resets; what went wrong goes into `outcome`.
void followCapture(Session& session, const CaptureJob& job, CapturePipeline& pipeline, StreamRun& stream,
                   CaptureOutcome& outcome) {
    ExportsRunDriver driver(session.driverName());
    RunFollower follower(driver, {true, kStallMs});
    follower.begin();
    std::uint64_t endedAt = 0;
    while (!interrupted()) {
        if (!stream.feed()) {
            outcome.failed = true;
            break;
        }
        const RunStep step = follower.follow({&stream});
        reportGaps(pipeline, job.rate);
        reportEvents(pipeline, job.rate);
        if (step.kind == RunStep::rateChanged) {
            // The file ends where the stream told the new rate.
            std::fprintf(stderr, "%s\n", rateChangeEnd(step.rateBefore, step.rate).c_str());
            outcome.newRate = true;
            outcome.failed = true;
            break;
        }
        if (step.kind == RunStep::stalled) reportStall();
        if (!noteCaptureStep(outcome, step.kind)) break;
        const ReadEnd end = pipeline.readEnd();
        if (end == ReadEnd::limit || end == ReadEnd::event) break;
        if (end == ReadEnd::writeFailed || end == ReadEnd::sourceFailed) {
            outcome.failed = true;
            break;
        }
        // The stream ended: a reset request follows, or something ended it.
        if (end != ReadEnd::ended || step.kind == RunStep::restarted) {
            endedAt = 0;
        } else if (endedAt == 0) {
            endedAt = monotonicMs();
        } else if (monotonicMs() - endedAt > kEndedWithoutResetMs) {
            breakProgress();
            std::fprintf(stderr, "error: the stream ended without a reset of the driver\n");
            outcome.failed = true;
            break;
        }
        showCaptureProgress(pipeline, job);
        sleepMs(kLoopMs);
    }
    stream.close();
    // Read as soon as the capture ended: a skip after it leaves the file whole.
    outcome.skipped = follower.skippedPeriods();
}

// Opens the stream on the prepared run (playing the file on its outputs, which
// start in the same period as its inputs) and streams into the file until the
// capture ends. An exit code, or kGoOn with `outcome` filled in.
int streamCapture(Session& session, CaptureJob& job, WavWriter& file, CaptureOutcome& outcome) {
    const CaptureRequest& req = job.req;
    if (!session.prepare() || !createFile(job, file)) return kExitFailure;
    installInterruptHandler();
    const std::size_t frameBytes = req.inputs.size() * job.layout.streamBytes;
    // Blocks of about 50 ms, two and a half seconds of them at most and 32 MiB:
    // with the stream's ring, the slack the writer has when the disk stalls.
    const auto blockFrames = static_cast<std::uint32_t>(std::max(256.0, job.rate / 20));
    const auto blockCount =
        static_cast<std::uint32_t>(std::clamp<std::size_t>((32u << 20) / (blockFrames * frameBytes), 4, 50));
    WavFrameSink sink(file);
    CapturePipeline pipeline({frameBytes, job.layout.streamBytes, job.layout.swap, job.layout.fileBytes, blockFrames,
                              blockCount, job.frames, ASIOCHAN_REQUEST_SAMPLE_RATE},
                             sink);
    if (!pipeline.start()) {
        std::fprintf(stderr, "error: %s\n", pipeline.failure().c_str());
        return kExitFailure;
    }
    std::unique_ptr<StreamFeeder> feeder;
    std::vector<unsigned> outputs;
    if (!req.playFile.empty()) {
        feeder = std::make_unique<StreamFeeder>(job.play, job.layout.samples == StreamSamples::float32, blockFrames);
        for (const Route& route : job.play.routes) outputs.push_back(route.output);
    }
    const std::int32_t format = job.layout.samples == StreamSamples::native  ? ASIOCHAN_STREAM_NATIVE
                                : job.layout.samples == StreamSamples::int32 ? ASIOCHAN_STREAM_INT32
                                                                             : ASIOCHAN_STREAM_FLOAT32;
    const AsiochanStreamConfig config = streamConfig(
        format, req.inputs, outputs, captureRingFrames(job.rate, std::max(frameBytes, outputs.size() * 4)));
    StreamRun stream(config, &pipeline, feeder.get(), [&job] { return sameShape(job); });
    if (!stream.open()) return kExitFailure;
    printInputs("capturing ", req.inputs);
    if (req.seconds > 0)
        std::printf(" of %s: %g s", session.driverName().c_str(), req.seconds);
    else
        std::printf(" of %s until Ctrl+C", session.driverName().c_str());
    std::printf(", %s at %.0f Hz (%.1f MiB of buffers)\n", job.format.name, job.rate,
                static_cast<double>(pipeline.bytesHeld() + static_cast<std::size_t>(config.ringFrames) * frameBytes) /
                    (1024.0 * 1024.0));
    std::fflush(stdout);
    followCapture(session, job, pipeline, stream, outcome);
    pipeline.finish();
    reportGaps(pipeline, job.rate);
    reportEvents(pipeline, job.rate);
    outcome.complete = pipeline.complete();
    outcome.dropped = pipeline.framesDropped();
    showCaptureProgress(pipeline, job);
    endProgress();
    if (pipeline.failed()) {
        std::fprintf(stderr, "error: %s; the capture stops here\n", pipeline.failure().c_str());
        outcome.failed = true;
    }
    if (pipeline.readEnd() == ReadEnd::sourceFailed) {
        std::fprintf(stderr, "error: the stream could not be read: %s\n", streamCodeText(pipeline.sourceError()).c_str());
        outcome.failed = true;
    }
    if (pipeline.unlistedGaps() > 0)
        std::fprintf(stderr, "warning: %llu more gaps were not listed\n", (unsigned long long)pipeline.unlistedGaps());
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
    const CaptureRequest& req = job.req;
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
    if (const int code = openCapture(session, job.req.driver, job); code != kGoOn) return code;
    FineTimer timer;
    CaptureOutcome outcome;
    if (const int code = streamCapture(session, job, file, outcome); code != kGoOn) return code;
    return finishCapture(job, file, outcome);
}

}  // namespace cli
