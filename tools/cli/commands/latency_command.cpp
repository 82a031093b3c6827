// asiochan latency: the round trip from an output to an input, measured by playing
// a maximum-length sequence with the raw channel calls and finding it in a capture
// of the input.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "asiochan.h"
#include "commands/commands.h"
#include "measure/delay_search.h"
#include "measure/mls.h"
#include "wav/sample_codec.h"
#include "streaming/session.h"
#include "streaming/stream_watch.h"

namespace cli {

namespace {
struct LatencyRequest {
    unsigned out = 0;
    unsigned in = 0;
    unsigned repeat = 5;
};

bool parseLatency(const Arguments& args, LatencyRequest* req) {
    if (!args.positional.empty()) {
        std::fprintf(stderr, "error: latency takes no file (\"%s\")\n", args.positional[0].c_str());
        return false;
    }
    const struct {
        const char* name;
        unsigned* value;
        unsigned least, most;
    } numbers[] = {{"--out", &req->out, 0, 63}, {"--in", &req->in, 0, 63}, {"--repeat", &req->repeat, 1, 100}};
    for (const auto& n : numbers) {
        const auto text = args.value(n.name);
        if (text && (!parseUnsigned(*text, n.value) || *n.value < n.least || *n.value > n.most)) {
            std::fprintf(stderr, "error: bad %s \"%s\" (expected %u..%u)\n", n.name, text->c_str(), n.least, n.most);
            return false;
        }
    }
    return true;
}

// What the measurement needs from a run; read again after every restart.
struct LoopShape {
    std::int32_t frames = 0;
    double rate = 0.0;
    std::int32_t outType = 0;
    std::int32_t inType = 0;
    int outWidth = 0;
    int inWidth = 0;
};

std::int32_t channelType(unsigned channel, bool input) {
    AsiochanChannelInfo info{};
    info.channel = static_cast<std::int32_t>(channel);
    info.isInput = input ? 1 : 0;
    return ASIOGetChannelInfo(&info) == ASIOCHAN_OK ? info.type : -1;
}

bool readShape(const LatencyRequest& req, LoopShape* shape) {
    std::uint8_t scratch[8];
    shape->frames = GetBufferSizePreferred();
    shape->rate = GetCurrentSampleRate();
    shape->outType = channelType(req.out, false);
    shape->inType = channelType(req.in, true);
    shape->outWidth = encodeSample(0, shape->outType, scratch);
    shape->inWidth = encodeSample(0, shape->inType, scratch);
    if (shape->outWidth == 0 || shape->inWidth == 0) {
        std::fprintf(stderr, "error: output %u (%s) or input %u (%s) has a sample type latency cannot use\n", req.out,
                     describeSampleType(shape->outType).name, req.in, describeSampleType(shape->inType).name);
        return false;
    }
    if (!(shape->rate >= 1000 && shape->rate <= 1e6) || shape->frames <= 0 || shape->frames > shape->rate) {
        std::fprintf(stderr, "error: the driver reports a period of %d frames at %.0f Hz, which cannot be measured\n",
                     int(shape->frames), shape->rate);
        return false;
    }
    return true;
}

enum class Step { ok, reset, stalled, interrupted, failed };

Step watchStep(StreamWatch& watch) {
    if (interrupted()) return Step::interrupted;
    switch (watch.poll()) {
        case StreamWatch::Event::reset:
            return Step::reset;
        case StreamWatch::Event::stalled:
            return Step::stalled;
        case StreamWatch::Event::none:
            break;
    }
    return Step::ok;
}

// Waits until `periods` periods have begun since the count read `since`.
Step waitForPeriods(StreamWatch& watch, std::uint32_t since, std::uint32_t periods) {
    for (;;) {
        const Step step = watchStep(watch);
        if (step != Step::ok) return step;
        if (GetPeriodCount() - since >= periods) return Step::ok;
        Sleep(2);
    }
}

// The sequence is played at half of full scale (-6 dBFS): exact in every sample type.
constexpr std::int32_t kLevel = 1 << 30;
// Many interfaces keep their outputs muted for a moment after their stream starts.
constexpr double kSettleSeconds = 1.0;
// Measurements made again because the driver skipped periods during them.
constexpr int kMaxRetakes = 10;

// One measurement's buffers. They belong to the command, not to one attempt, so
// that nothing the library may still hold is freed before the run is finished.
struct Buffers {
    std::vector<std::uint8_t> played;
    std::vector<std::uint8_t> captured;
    std::vector<double> decoded;
};

Step measureOnce(const LatencyRequest& req, const LoopShape& shape, std::int32_t reportedFrames,
                 const std::vector<double>& sequence, StreamWatch& watch, Buffers& buffers, DelaySearch* found) {
    const auto outWidth = static_cast<std::size_t>(shape.outWidth);
    const auto inWidth = static_cast<std::size_t>(shape.inWidth);
    buffers.played.assign(sequence.size() * outWidth, 0);
    for (std::size_t i = 0; i < sequence.size(); ++i)
        encodeSample(sequence[i] > 0 ? kLevel : -kLevel, shape.outType, &buffers.played[i * outWidth]);
    // The sequence is looked for up to half a second late, or twice what the
    // driver reports and four periods more, but no more than ten seconds.
    const auto frames = static_cast<std::size_t>(shape.frames);
    const auto second = static_cast<std::size_t>(shape.rate);
    const std::size_t reported = static_cast<std::size_t>(std::max(reportedFrames, 0));
    const std::size_t maxDelay = std::max(second / 2, std::min(2 * reported + 4 * frames, 10 * second));
    const std::size_t captureFrames = sequence.size() + maxDelay;
    const auto periods = static_cast<std::uint32_t>((captureFrames + frames - 1) / frames);
    // The capture has room for more periods than are waited for: it is stopped
    // before it fills, so it never completes and leaves no dump files.
    const std::size_t capturedBytes = (periods + 8 + second / frames) * frames * inWidth;
    if (capturedBytes > INT32_MAX) {
        std::fprintf(stderr, "error: a capture of %u periods of %d frames is more than the library takes\n",
                     unsigned(periods), int(shape.frames));
        return Step::failed;
    }
    buffers.captured.assign(capturedBytes, 0);

    const std::int32_t armed =
        SetCaptureBuffer(buffers.captured.data(), static_cast<std::int32_t>(buffers.captured.size()), req.in);
    const std::int32_t queued =
        armed == ASIOCHAN_OK
            ? SetPlayBuffer(buffers.played.data(), static_cast<std::int32_t>(buffers.played.size()), req.out)
            : armed;
    if (queued != ASIOCHAN_OK) {
        StopCapture();
        std::fprintf(stderr, "error: input %u could not be armed or output %u not fed (code %d)\n", req.in, req.out,
                     int(queued));
        return Step::failed;
    }
    // Both streams begin in one period, the first or the second after this count
    // (one may begin while the call is made); once the period after the last one
    // needed has begun, those are all in the capture.
    const std::uint32_t before = GetPeriodCount();
    StartCaptureAndPlayback();
    const Step step = waitForPeriods(watch, before, periods + 2);
    StopCapture();
    StopPlayback();
    if (step != Step::ok) return step;
    buffers.decoded.resize(captureFrames);
    decodeUnitSamples(buffers.captured.data(), captureFrames, shape.inType, buffers.decoded.data());
    *found = findDelay(sequence, buffers.decoded, maxDelay);
    return Step::ok;
}

double ms(double frames, double rate) { return frames * 1000.0 / rate; }

void printSummary(std::vector<std::size_t> delays, const LoopShape& shape, std::int32_t inLatency,
                  std::int32_t outLatency) {
    if (delays.empty()) return;
    std::sort(delays.begin(), delays.end());
    const std::size_t n = delays.size();
    const double median = (static_cast<double>(delays[(n - 1) / 2]) + static_cast<double>(delays[n / 2])) / 2;
    const auto lo = static_cast<double>(delays.front());
    const auto hi = static_cast<double>(delays.back());
    std::printf("round trip: min %.0f, median %g, max %.0f frames (%.2f, %.2f, %.2f ms)\n", lo, median, hi,
                ms(lo, shape.rate), ms(median, shape.rate), ms(hi, shape.rate));
    const std::int32_t reported = inLatency + outLatency;
    std::printf(
        "driver reports: input %d + output %d = %d frames (%.2f ms); measured - reported = %g frames (%.2f ms)\n",
        int(inLatency), int(outLatency), int(reported), ms(reported, shape.rate), median - reported,
        ms(median - reported, shape.rate));
}

// Opens the driver, checks the channels, prepares the run and says what it
// measures. An exit code, or kGoOn.
int openLatency(Session& session, const std::string& driver, const LatencyRequest& req, LoopShape* shape) {
    if (!session.open(driver)) return kExitUsage;
    if (static_cast<std::int32_t>(req.out) >= GetOutputChannelCount() ||
        static_cast<std::int32_t>(req.in) >= GetInputChannelCount()) {
        std::fprintf(stderr, "error: output %u or input %u does not exist (the driver has %d outputs, %d inputs)\n",
                     req.out, req.in, int(GetOutputChannelCount()), int(GetInputChannelCount()));
        return kExitUsage;
    }
    if (!session.prepare()) return kExitFailure;
    if (!readShape(req, shape)) return kExitFailure;
    std::printf("latency from output %u to input %u of %s: buffer %d frames at %.0f Hz (%s out, %s in)\n", req.out,
                req.in, session.driverName().c_str(), int(shape->frames), shape->rate,
                describeSampleType(shape->outType).name, describeSampleType(shape->inType).name);
    std::fflush(stdout);
    return kGoOn;
}

// Measures the round trips one by one, through the driver's resets, and prints
// them and their summary. An exit code.
int measureRoundTrips(Session& session, const LatencyRequest& req, LoopShape& shape, Buffers& buffers) {
    const std::vector<double> sequence = maximumLengthSequence(kLatencySequenceOrder);
    std::vector<std::size_t> delays;
    StreamWatch watch;
    watch.restart();
    bool settled = false;
    std::uint32_t skippedWhileMeasuring = 0;
    int retakes = 0;
    // Skips outside the measurements leave the figures whole, but say the machine
    // could not keep up.
    const auto finish = [&] {
        printSummary(delays, shape, GetInputLatency(), GetOutputLatency());
        reportSkips(watch.skippedPeriods() - skippedWhileMeasuring, "not while measuring");
    };
    while (delays.size() < req.repeat) {
        Step step = Step::ok;
        DelaySearch found;
        if (!settled) {
            step = waitForPeriods(watch, GetPeriodCount(),
                                  static_cast<std::uint32_t>(kSettleSeconds * shape.rate / shape.frames) + 1);
            settled = step == Step::ok;
        }
        const std::uint32_t skippedBefore = watch.skippedPeriods();
        if (step == Step::ok)
            step = measureOnce(req, shape, GetInputLatency() + GetOutputLatency(), sequence, watch, buffers, &found);
        if (step == Step::reset) {
            if (!watch.restartRun(session.driverName().c_str()) || !readShape(req, &shape)) return kExitFailure;
            settled = false;
            if (!delays.empty()) std::printf("measuring again at %d frames\n", int(shape.frames));
            delays.clear();
            continue;
        }
        if (step == Step::stalled) {
            reportStall();
            session.close();
            return kExitFailure;
        }
        if (step == Step::interrupted) {
            std::printf("stopped\n");
            finish();
            return kExitOk;
        }
        if (step == Step::failed) return kExitFailure;
        // Periods the driver skipped while measuring moved one stream against the
        // other by whole periods: that repetition is made again.
        const std::uint32_t skipped = watch.skippedPeriods() - skippedBefore;
        if (skipped != 0) {
            skippedWhileMeasuring += skipped;
            const std::string consequence = "repetition " + std::to_string(delays.size() + 1) + " is measured again";
            reportSkips(skipped, consequence.c_str());
            if (++retakes > kMaxRetakes) {
                std::fprintf(stderr, "error: the driver skipped periods in %d measurements; no figure is whole\n",
                             retakes);
                return kExitFailure;
            }
            continue;
        }
        if (!found.found) {
            std::fprintf(stderr, "error: no signal came back on input %u (is output %u connected to it?)\n", req.in,
                         req.out);
            return kExitFailure;
        }
        delays.push_back(found.delay);
        std::printf("%3u: %u frames (%.2f ms)%s\n", unsigned(delays.size()), unsigned(found.delay),
                    ms(static_cast<double>(found.delay), shape.rate), found.inverted ? ", polarity inverted" : "");
        std::fflush(stdout);
    }
    finish();
    return kExitOk;
}

}  // namespace

int runLatency(const Arguments& args) {
    LatencyRequest req;
    if (!parseLatency(args, &req)) return kExitUsage;
    Buffers buffers;  // outlives the session: the run is finished before they go
    Session session;
    LoopShape shape;
    if (const int code = openLatency(session, args.value("--driver").value_or(""), req, &shape); code != kGoOn)
        return code;
    installInterruptHandler();
    return measureRoundTrips(session, req, shape, buffers);
}

}  // namespace cli
