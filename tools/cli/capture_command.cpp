#include <windows.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

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

// A capture goes on in one file only while the input's sample type and the rate
// stay what its first part had.
bool sameInputFormat(unsigned channel, std::int32_t type, double rate) {
    AsiochanChannelInfo info{};
    info.channel = static_cast<std::int32_t>(channel);
    info.isInput = 1;
    if (ASIOGetChannelInfo(&info) == ASIOCHAN_OK && info.type == type && GetCurrentSampleRate() == rate) return true;
    std::fprintf(stderr, "error: after its reset the driver changed the format of input %u; the capture ends here\n",
                 channel);
    return false;
}

void toLittleEndian(std::vector<std::uint8_t>& bytes, int width) {
    for (std::size_t at = 0; at + static_cast<std::size_t>(width) <= bytes.size();
         at += static_cast<std::size_t>(width))
        std::reverse(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                     bytes.begin() + static_cast<std::ptrdiff_t>(at) + width);
}
}  // namespace

int runCapture(const Arguments& args) {
    if (args.has("--help")) {
        printUsage("capture");
        return kExitOk;
    }
    CaptureRequestArgs req;
    if (!parseCapture(args, &req)) return kExitUsage;
    WavInfo played;
    std::string error;
    if (!req.playFile.empty() && !readWavInfo(req.playFile, &played, &error)) {
        std::fprintf(stderr, "error: %s\n", error.c_str());
        return kExitUsage;
    }

    Session session;
    if (!session.open(args.value("--driver").value_or(""))) return kExitUsage;
    if (static_cast<std::int32_t>(req.channel) >= GetInputChannelCount()) {
        std::fprintf(stderr, "error: input channel %u does not exist (the driver has %d inputs)\n", req.channel,
                     int(GetInputChannelCount()));
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
    AsiochanChannelInfo info{};
    info.channel = static_cast<std::int32_t>(req.channel);
    info.isInput = 1;
    const std::int32_t infoResult = ASIOGetChannelInfo(&info);
    const SampleFormat format = describeSampleType(info.type);
    if (infoResult != ASIOCHAN_OK || format.wavTag == 0) {
        std::fprintf(stderr, "error: input channel %u has a sample format that cannot be written as WAV (%s)\n",
                     req.channel, format.name);
        return kExitFailure;
    }
    const double rate = GetCurrentSampleRate();
    const double frames = req.seconds * rate;
    if (!(frames >= 1) || frames * format.bytes > INT_MAX) {
        std::fprintf(stderr, "error: %.1f s at %.0f Hz is more than one capture can hold\n", req.seconds, rate);
        return kExitUsage;
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(frames) * static_cast<std::size_t>(format.bytes));

    if (!session.prepare()) return kExitFailure;
    installInterruptHandler();
    ResumableCapture capture(bytes, req.channel);
    const std::int32_t armed = capture.arm();
    if (armed != ASIOCHAN_OK) {
        std::fprintf(stderr, "error: input channel %u could not be armed (code %d)\n", req.channel, int(armed));
        return kExitFailure;
    }
    // The capture runs before the player starts, so it hears the played sound whole.
    PlayerSetup setup{req.playFile, played, true, mask, 0, false, 1.0f};
    ResumablePlayer player(setup);
    const bool playing = !req.playFile.empty();
    if (playing && !player.start()) {
        std::fprintf(stderr, "error: the player refused %s\n", req.playFile.c_str());
        StopCapture();
        return kExitFailure;
    }
    std::printf("capturing input %u of %s: %.1f s, %s at %.0f Hz\n", req.channel, session.driverName().c_str(),
                req.seconds, format.name, rate);
    const DWORD begin = GetTickCount();
    bool restarted = false;
    bool failed = false;
    StreamWatch watch;
    watch.restart();
    while (IsPortCaptureRunning(req.channel) && !interrupted()) {
        const StreamWatch::Event event = watch.poll();
        if (event == StreamWatch::Event::stalled) {
            if (playing) player.stop();
            reportStall();
            session.close();
            return kExitFailure;
        }
        if (event == StreamWatch::Event::reset) {
            const std::size_t periodBytes = static_cast<std::size_t>(GetBufferSizePreferred()) * format.bytes;
            const bool more = playing && player.stopAfter(watch.periodsAtReset(), GetBufferSizePreferred());
            if (!restartRun(session.driverName().c_str())) return kExitFailure;
            watch.restart();
            restarted = true;
            capture.settle(periodBytes);
            if (!sameInputFormat(req.channel, info.type, rate)) {
                failed = true;
                break;
            }
            if (capture.complete()) break;
            const std::int32_t rearmed = capture.arm();
            if (rearmed != ASIOCHAN_OK) {
                std::fprintf(stderr, "error: input channel %u could not be armed again (code %d)\n", req.channel,
                             int(rearmed));
                failed = true;
                break;
            }
            if (more && !player.start())
                std::fprintf(stderr, "error: the player did not start again after the reset\n");
            continue;
        }
        showProgress("  ", std::min((GetTickCount() - begin) / 1000.0, req.seconds), req.seconds);
        Sleep(100);
    }
    // Read as soon as the capture ended: a skip after it leaves the file whole.
    const std::uint32_t skipped = watch.skippedPeriods();
    if (IsPortCaptureRunning(req.channel)) StopCapture();
    capture.settle(static_cast<std::size_t>(GetBufferSizePreferred()) * format.bytes);
    const bool complete = capture.complete();
    showProgress("  ", complete ? req.seconds : (GetTickCount() - begin) / 1000.0, req.seconds);
    endProgress();
    if (playing) player.stop();

    if (format.bigEndian) toLittleEndian(bytes, format.bytes);
    if (!writeWav(req.out, format.wavTag, static_cast<std::uint32_t>(rate), format.wavBits, bytes, &error)) {
        std::fprintf(stderr, "error: %s\n", error.c_str());
        return kExitFailure;
    }
    std::printf("wrote %s (%u bytes of samples)%s%s\n", req.out.c_str(), unsigned(bytes.size()),
                restarted ? ", with the gap of the driver's reset" : "", complete ? "" : ", stopped early");
    reportSkips(skipped, "the capture has gaps");
    if (failed || skipped != 0) return kExitFailure;
    if (req.playFile.empty()) return kExitOk;
    if (restarted) {
        std::printf("loopback check: skipped, the capture holds the gap of the driver's reset\n");
        return kExitOk;
    }

    LoopbackResult check;
    AsiochanChannelInfo output{};
    output.channel = static_cast<std::int32_t>(req.playChannels.empty() ? 0 : req.playChannels[0]);
    output.isInput = 0;
    ASIOGetChannelInfo(&output);
    if (!compareLoopback(req.playFile, played, bytes, output.type, info.type, &check, &error)) {
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

}  // namespace cli
