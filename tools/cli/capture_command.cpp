#include <windows.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>

#include "asiochan.h"
#include "commands.h"
#include "loopback_check.h"
#include "progress.h"
#include "resumable_capture.h"
#include "resumable_player.h"
#include "session.h"
#include "stream_watch.h"
#include "wav_file.h"

namespace cli {

namespace {
struct CaptureRequestArgs {
    std::string out;
    unsigned channel = 0;
    double seconds = 0;
    std::string playFile;
    std::vector<unsigned> playChannels;
};

// What the capture needs once the driver is open.
struct CaptureJob {
    CaptureRequestArgs req;
    WavInfo played;
    std::int32_t inputType = 0;
    SampleFormat format{};
    double rate = 0;
    std::uint32_t playMask = 0;
    std::vector<std::uint8_t> bytes;
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
    auto channel = args.value("--channel");
    if (!channel || !parseUnsigned(*channel, &req->channel)) {
        std::fprintf(stderr, "error: capture needs --channel N (an input channel number)\n");
        return false;
    }
    auto seconds = args.value("--seconds");
    if (!seconds || !parseDouble(*seconds, &req->seconds) || req->seconds <= 0 || req->seconds > 3600) {
        std::fprintf(stderr, "error: capture needs --seconds S (more than 0, at most 3600)\n");
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

// Reads the file to play, opens the driver and checks the channels against it;
// sizes the capture buffer. An exit code, or kGoOn.
int openCapture(Session& session, const std::string& driver, CaptureJob& job) {
    const CaptureRequestArgs& req = job.req;
    std::string error;
    if (!req.playFile.empty() && !readWavInfo(req.playFile, &job.played, &error)) {
        std::fprintf(stderr, "error: %s\n", error.c_str());
        return kExitUsage;
    }
    if (!session.open(driver)) return kExitUsage;
    if (static_cast<std::int32_t>(req.channel) >= GetInputChannelCount()) {
        std::fprintf(stderr, "error: input channel %u does not exist (the driver has %d inputs)\n", req.channel,
                     int(GetInputChannelCount()));
        return kExitUsage;
    }
    for (unsigned c : req.playChannels) {
        if (c > 31 || static_cast<std::int32_t>(c) >= GetOutputChannelCount()) {
            std::fprintf(stderr, "error: output channel %u does not exist (the driver has %d outputs)\n", c,
                         int(GetOutputChannelCount()));
            return kExitUsage;
        }
        job.playMask |= 1u << c;
    }
    AsiochanChannelInfo info{};
    info.channel = static_cast<std::int32_t>(req.channel);
    info.isInput = 1;
    const std::int32_t infoResult = ASIOGetChannelInfo(&info);
    job.inputType = info.type;
    job.format = describeSampleType(info.type);
    if (infoResult != ASIOCHAN_OK || job.format.wavTag == 0) {
        std::fprintf(stderr, "error: input channel %u has a sample format that cannot be written as WAV (%s)\n",
                     req.channel, job.format.name);
        return kExitFailure;
    }
    job.rate = GetCurrentSampleRate();
    const double frames = req.seconds * job.rate;
    if (!(frames >= 1) || frames * job.format.bytes > INT_MAX) {
        std::fprintf(stderr, "error: %.1f s at %.0f Hz is more than one capture can hold\n", req.seconds, job.rate);
        return kExitUsage;
    }
    job.bytes.resize(static_cast<std::size_t>(frames) * static_cast<std::size_t>(job.format.bytes));
    return kGoOn;
}

// Prepares the run, arms the capture (before the player starts, so it hears the
// played sound whole) and follows the run until the capture is complete, through
// the driver's resets. An exit code, or kGoOn with `outcome` filled in.
int streamCapture(Session& session, CaptureJob& job, CaptureOutcome& outcome) {
    const CaptureRequestArgs& req = job.req;
    if (!session.prepare()) return kExitFailure;
    installInterruptHandler();
    ResumableCapture capture(job.bytes, req.channel, job.inputType, job.format.bytes, job.rate);
    const std::int32_t armed = capture.arm();
    if (armed != ASIOCHAN_OK) {
        std::fprintf(stderr, "error: input channel %u could not be armed (code %d)\n", req.channel, int(armed));
        return kExitFailure;
    }
    std::unique_ptr<ResumablePlayer> player;
    if (!req.playFile.empty()) {
        player = std::make_unique<ResumablePlayer>(
            PlayerSetup{req.playFile, job.played, true, job.playMask, 0, false, 1.0f});
        if (!player->start()) {
            std::fprintf(stderr, "error: the player refused %s\n", req.playFile.c_str());
            StopCapture();
            return kExitFailure;
        }
    }
    std::printf("capturing input %u of %s: %.1f s, %s at %.0f Hz\n", req.channel, session.driverName().c_str(),
                req.seconds, job.format.name, job.rate);
    const DWORD begin = GetTickCount();
    StreamWatch watch;
    watch.restart();
    while (IsPortCaptureRunning(req.channel) && !interrupted()) {
        const StreamWatch::Step step = watch.follow(session.driverName().c_str(), {&capture, player.get()});
        if (step == StreamWatch::Step::stalled || step == StreamWatch::Step::runLost) {
            session.close();
            return kExitFailure;
        }
        if (step == StreamWatch::Step::restarted || step == StreamWatch::Step::partLost) {
            outcome.restarted = true;
            if (step == StreamWatch::Step::partLost) {
                outcome.failed = true;
                break;
            }
            continue;
        }
        showProgress("  ", std::min((GetTickCount() - begin) / 1000.0, req.seconds), req.seconds);
        Sleep(100);
    }
    // Read as soon as the capture ended: a skip after it leaves the file whole.
    outcome.skipped = watch.skippedPeriods();
    if (IsPortCaptureRunning(req.channel)) StopCapture();
    capture.settle(static_cast<std::size_t>(GetBufferSizePreferred()) * job.format.bytes);
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

// Writes the file, says what went wrong on the way and checks the loopback.
int finishCapture(CaptureJob& job, const CaptureOutcome& outcome) {
    const CaptureRequestArgs& req = job.req;
    std::string error;
    if (job.format.bigEndian) toLittleEndian(job.bytes, job.format.bytes);
    if (!writeWav(req.out, job.format.wavTag, static_cast<std::uint32_t>(job.rate), job.format.wavBits, job.bytes,
                  &error)) {
        std::fprintf(stderr, "error: %s\n", error.c_str());
        return kExitFailure;
    }
    std::printf("wrote %s (%u bytes of samples)%s%s\n", req.out.c_str(), unsigned(job.bytes.size()),
                outcome.restarted ? ", with the gap of the driver's reset" : "",
                outcome.complete ? "" : ", stopped early");
    reportSkips(outcome.skipped, "the capture has gaps");
    if (outcome.failed || outcome.skipped != 0) return kExitFailure;
    if (req.playFile.empty()) return kExitOk;
    if (outcome.restarted) {
        std::printf("loopback check: skipped, the capture holds the gap of the driver's reset\n");
        return kExitOk;
    }

    LoopbackResult check;
    AsiochanChannelInfo output{};
    output.channel = static_cast<std::int32_t>(req.playChannels.empty() ? 0 : req.playChannels[0]);
    output.isInput = 0;
    ASIOGetChannelInfo(&output);
    if (!compareLoopback(req.playFile, job.played, job.bytes, output.type, job.inputType, &check, &error)) {
        std::fprintf(stderr, "error: %s\n", error.c_str());
        return kExitFailure;
    }
    if (check.matches)
        std::printf("loopback check: the capture matches the played file (%u samples compared, delay %u frames)\n",
                    check.compared, check.delayFrames);
    else
        std::printf("loopback check: the capture does NOT match the played file (%s)\n", check.reason.c_str());
    return check.matches ? kExitOk : kExitFailure;
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
