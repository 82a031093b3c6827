// asiochan sweep: the frequency response and harmonic distortion from an output to
// an input, by playing an exponential sine sweep and deconvolving its recording.
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "asiochan.h"
#include "commands/commands.h"
#include "commands/sweep_options.h"
#include "console/exit_codes.h"
#include "measure/sweep_csv.h"
#include "measure/sweep_deconvolution.h"
#include "measure/sweep_response.h"
#include "measure/sweep_signal.h"
#include "measure/sweep_svg.h"
#include "streaming/session.h"
#include "streaming/stream_watch.h"
#include "wav/sample_codec.h"

namespace cli {

namespace {
struct LoopShape {
    std::int32_t frames = 0;
    double rate = 0.0;
    std::int32_t outType = 0, inType = 0;
    int outWidth = 0, inWidth = 0;
};

std::int32_t channelType(unsigned channel, bool input) {
    AsiochanChannelInfo info{};
    info.channel = static_cast<std::int32_t>(channel);
    info.isInput = input ? 1 : 0;
    return ASIOGetChannelInfo(&info) == ASIOCHAN_OK ? info.type : -1;
}

// The run's shape and the sweep planned for it; read again after every restart.
bool readShape(const SweepRequest& req, LoopShape* shape, SweepPlan* plan) {
    std::uint8_t scratch[8];
    shape->frames = GetBufferSizePreferred();
    shape->rate = GetCurrentSampleRate();
    shape->outType = channelType(req.out, false);
    shape->inType = channelType(req.in, true);
    shape->outWidth = encodeSample(0, shape->outType, scratch);
    shape->inWidth = encodeSample(0, shape->inType, scratch);
    if (shape->outWidth == 0 || shape->inWidth == 0) {
        std::fprintf(stderr, "error: output %u or input %u has a sample type sweep cannot use\n", req.out, req.in);
        return false;
    }
    if (!(shape->rate >= 1000 && shape->rate <= 1e6) || shape->frames <= 0 || shape->frames > shape->rate) {
        std::fprintf(stderr, "error: the driver reports a period of %d frames at %.0f Hz, which cannot be measured\n",
                     int(shape->frames), shape->rate);
        return false;
    }
    *plan = sweepPlanFor(req, shape->rate);
    if (const char* problem = checkSweepPlan(*plan)) {
        std::fprintf(stderr, "error: %g Hz to %g Hz in %g s at %.0f Hz: %s\n", plan->from, plan->to, plan->seconds,
                     plan->rate, problem);
        return false;
    }
    return true;
}

enum class Step { ok, reset, stalled, interrupted, failed };

Step waitForPeriods(StreamWatch& watch, std::uint32_t since, std::uint32_t periods) {
    for (;;) {
        if (interrupted()) return Step::interrupted;
        const StreamWatch::Event event = watch.poll();
        if (event == StreamWatch::Event::reset) return Step::reset;
        if (event == StreamWatch::Event::stalled) return Step::stalled;
        if (GetPeriodCount() - since >= periods) return Step::ok;
        Sleep(2);
    }
}

// As latency: outputs often stay muted a moment after the stream starts.
constexpr double kSettleSeconds = 1.0;
// After the sweep the capture runs on for the response's tail and the delay.
constexpr double kTailSeconds = 0.6;
constexpr double kMaxDelaySeconds = 0.5;

// The buffers outlive every attempt: nothing the library may hold goes early.
struct Buffers {
    std::vector<std::uint8_t> played, captured;
    std::vector<double> sweep, recording;
};

std::size_t maxDelayFrames(const LoopShape& shape) {
    const auto reported = static_cast<std::size_t>(std::max(GetInputLatency() + GetOutputLatency(), 0));
    return std::max(static_cast<std::size_t>(kMaxDelaySeconds * shape.rate),
                    std::min(2 * reported + 4 * static_cast<std::size_t>(shape.frames),
                             static_cast<std::size_t>(5 * shape.rate)));
}

Step sweepOnce(const SweepRequest& req, const LoopShape& shape, const SweepPlan& plan, StreamWatch& watch,
               Buffers& b) {
    const auto outWidth = static_cast<std::size_t>(shape.outWidth), inWidth = static_cast<std::size_t>(shape.inWidth);
    b.sweep = makeSweep(plan);
    b.played.assign(b.sweep.size() * outWidth, 0);
    for (std::size_t i = 0; i < b.sweep.size(); ++i)
        encodeSample(static_cast<std::int32_t>(std::lround(b.sweep[i] * 2147483647.0)), shape.outType,
                     &b.played[i * outWidth]);
    const auto frames = static_cast<std::size_t>(shape.frames);
    const std::size_t recorded =
        b.sweep.size() + maxDelayFrames(shape) + static_cast<std::size_t>(kTailSeconds * shape.rate);
    const auto periods = static_cast<std::uint32_t>((recorded + frames - 1) / frames);
    // Room for more periods than are waited for: the capture is stopped before it fills.
    const std::size_t capturedBytes = (periods + 8 + static_cast<std::size_t>(shape.rate) / frames) * frames * inWidth;
    if (capturedBytes > INT32_MAX || b.played.size() > INT32_MAX) {
        std::fprintf(stderr, "error: a sweep of %g s is more than the library takes at this rate\n", plan.seconds);
        return Step::failed;
    }
    b.captured.assign(capturedBytes, 0);
    const std::int32_t armed =
        SetCaptureBuffer(b.captured.data(), static_cast<std::int32_t>(b.captured.size()), req.in);
    const std::int32_t queued =
        armed == ASIOCHAN_OK ? SetPlayBuffer(b.played.data(), static_cast<std::int32_t>(b.played.size()), req.out)
                             : armed;
    if (queued != ASIOCHAN_OK) {
        StopCapture();
        std::fprintf(stderr, "error: input %u could not be armed or output %u not fed (code %d)\n", req.in, req.out,
                     int(queued));
        return Step::failed;
    }
    // Both begin in one period; once the one after the last needed has begun,
    // the recording is whole.
    const std::uint32_t before = GetPeriodCount();
    StartCaptureAndPlayback();
    const Step step = waitForPeriods(watch, before, periods + 2);
    StopCapture();
    StopPlayback();
    if (step != Step::ok) return step;
    b.recording.resize(recorded);
    decodeUnitSamples(b.captured.data(), recorded, shape.inType, b.recording.data());
    return Step::ok;
}

bool writeText(const std::string& path, const std::string& text, const char* what) {
    FILE* f = std::fopen(path.c_str(), "wb");
    const bool ok = f != nullptr && std::fwrite(text.data(), 1, text.size(), f) == text.size();
    if (f != nullptr && std::fclose(f) != 0) return false;
    if (!ok) std::fprintf(stderr, "error: the %s could not be written to \"%s\"\n", what, path.c_str());
    return ok;
}

std::string thdText(const SweepPoint& p) {
    if (std::isnan(p.thdPercent)) return "not measured (a harmonic up to the 5th lies above the band)";
    char text[96];
    std::snprintf(text, sizeof text, "%.3f %% (h2 %.1f dB, h3 %.1f dB)", p.thdPercent, p.harmonicDb[0],
                  p.harmonicDb[1]);
    return text;
}

void printReport(const SweepPlan& plan, const SweepHarmonics& harmonics, const std::vector<SweepPoint>& points,
                 std::size_t delay, double peakDb) {
    std::printf("delay: %u frames (%.2f ms)\n", unsigned(delay), 1000.0 * static_cast<double>(delay) / plan.rate);
    std::printf("peak recorded: %.2f dBFS\n", peakDb);
    double lo = points.front().responseDb, hi = lo, worstThd = 0.0, worstHz = 0.0;
    for (const auto& p : points) {
        lo = std::min(lo, p.responseDb);
        hi = std::max(hi, p.responseDb);
        if (!std::isnan(p.thdPercent) && p.thdPercent >= worstThd) {
            worstThd = p.thdPercent;
            worstHz = p.hz;
        }
    }
    const SweepSummary s = summarise(points);
    std::printf("response: %.3f to %.3f dB re the level played; %.3f dB at %.0f Hz\n", lo, hi,
                measurePoint(plan, harmonics, s.referenceHz).responseDb, s.referenceHz);
    if (std::isnan(s.cornerHz))
        std::printf("corner: none (never 3 dB below %g Hz's level)\n", points.front().hz);
    else
        std::printf("corner: %.1f Hz (3 dB below %g Hz's level)\n", s.cornerHz, points.front().hz);
    std::printf("within 1 dB of %.0f Hz: %.0f Hz to %.0f Hz\n", s.referenceHz, s.within1dB[0], s.within1dB[1]);
    std::printf("within 3 dB of %.0f Hz: %.0f Hz to %.0f Hz\n", s.referenceHz, s.within3dB[0], s.within3dB[1]);
    const double thdTo = thdMeasuredTo(plan), harmonicsTo = harmonicsMeasuredTo(plan);
    if (thdTo < plan.from) {
        std::printf("distortion: not measured (the 5th harmonic of every frequency lies above the band)\n");
        return;
    }
    std::printf("distortion measured up to %.0f Hz (above it the 5th harmonic leaves the band); no harmonic read "
                "above %.0f Hz (a tenth of the rate: the 5th would fold back)\n",
                thdTo, harmonicsTo);
    for (double hz : {100.0, 1000.0})
        if (hz >= plan.from && hz <= thdTo)
            std::printf("THD (2nd to 5th) at %.0f Hz: %s\n", hz, thdText(measurePoint(plan, harmonics, hz)).c_str());
    std::printf("THD (2nd to 5th), highest: %.4f %% at %.0f Hz\n", worstThd, worstHz);
}

// Analyses a whole recording, prints and writes the results. An exit code.
int analyse(const SweepRequest& req, const LoopShape& shape, const SweepPlan& plan, const Buffers& b,
            const std::string& driver) {
    double peak = 0.0;
    for (double v : b.recording) peak = std::max(peak, std::fabs(v));
    const std::vector<double> response = deconvolve(plan, b.sweep, b.recording);
    const ResponseStart start = findResponseStart(response, maxDelayFrames(shape));
    if (!start.found) {
        std::fprintf(stderr, "error: no signal came back on input %u (is output %u connected to it?)\n", req.in,
                     req.out);
        return kExitFailure;
    }
    const double peakDb = 20.0 * std::log10(peak);
    if (peakDb > -0.1) std::fprintf(stderr, "warning: input %u clipped (peak %.2f dBFS): lower --level\n", req.in, peakDb);
    const SweepHarmonics harmonics(plan, response, start.delay);
    const std::vector<SweepPoint> fine = measureBand(plan, harmonics, 48, BandEnds::included);
    printReport(plan, harmonics, fine, start.delay, peakDb);
    const std::vector<SweepPoint> table = measureBand(plan, harmonics, 12);
    if (!req.csv.empty() && !writeText(req.csv, sweepCsv(table), "table")) return kExitFailure;
    char title[200];
    std::snprintf(title, sizeof title, "output %u to input %u, %.0f Hz, %.1f dBFS - ", req.out, req.in, plan.rate,
                  req.levelDb);
    if (!req.plot.empty() && !writeText(req.plot, sweepSvg(fine, title + driver), "plot")) return kExitFailure;
    return kExitOk;
}

int openSweep(Session& session, const SweepRequest& req, LoopShape* shape, SweepPlan* plan) {
    if (!session.open(req.driver)) return kExitUsage;
    if (static_cast<std::int32_t>(req.out) >= GetOutputChannelCount() ||
        static_cast<std::int32_t>(req.in) >= GetInputChannelCount()) {
        std::fprintf(stderr, "error: output %u or input %u does not exist (the driver has %d outputs, %d inputs)\n",
                     req.out, req.in, int(GetOutputChannelCount()), int(GetInputChannelCount()));
        return kExitUsage;
    }
    if (!session.prepare()) return kExitFailure;
    if (!readShape(req, shape, plan)) return kExitUsage;
    std::printf("sweep from output %u to input %u of %s: %g Hz to %g Hz in %g s at %.1f dBFS, %.0f Hz, %d frames\n",
                req.out, req.in, session.driverName().c_str(), plan->from, plan->to, plan->seconds, req.levelDb,
                plan->rate, int(shape->frames));
    std::fflush(stdout);
    return kGoOn;
}
}  // namespace

int runSweep(const Arguments& args) {
    SweepRequest req;
    if (!parseSweep(args, &req)) return kExitUsage;
    Buffers buffers;  // outlives the session
    Session session;
    LoopShape shape;
    SweepPlan plan;
    if (const int code = openSweep(session, req, &shape, &plan); code != kGoOn)
        return code;
    installInterruptHandler();
    StreamWatch watch;
    watch.restart();
    for (int attempt = 0;;) {
        Step step = waitForPeriods(watch, GetPeriodCount(),
                                   static_cast<std::uint32_t>(kSettleSeconds * shape.rate / shape.frames) + 1);
        const std::uint32_t skippedBefore = watch.skippedPeriods();
        if (step == Step::ok) step = sweepOnce(req, shape, plan, watch, buffers);
        if (step == Step::reset) {
            if (!watch.restartRun(session.driverName().c_str()) || !readShape(req, &shape, &plan))
                return kExitFailure;
            std::printf("the driver was reset: sweeping again at %d frames, %.0f Hz\n", int(shape.frames), shape.rate);
            continue;
        }
        if (step == Step::stalled) {
            reportStall();
            session.close();
            return kExitFailure;
        }
        if (step == Step::interrupted) {
            std::printf("stopped\n");
            return kExitOk;
        }
        if (step == Step::failed) return kExitFailure;
        // Skipped periods moved one stream against the other: the sweep is made once more.
        const std::uint32_t skipped = watch.skippedPeriods() - skippedBefore;
        if (skipped != 0) {
            reportSkips(skipped, attempt == 0 ? "the sweep is made again" : "no sweep is whole");
            if (attempt++ == 0) continue;
            return kExitFailure;
        }
        return analyse(req, shape, plan, buffers, session.driverName());
    }
}

}  // namespace cli
