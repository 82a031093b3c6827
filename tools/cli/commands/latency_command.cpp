// asiochan latency: the round trip from an output to an input, measured by playing
// a maximum-length sequence while the input is recorded from the same frame, and
// finding it in the recording.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "asiochan.h"
#include "commands/command_requests.h"
#include "commands/commands.h"
#include "measure/delay_search.h"
#include "measure/mls.h"
#include "wav/sample_codec.h"
#include "streaming/session.h"
#include "streaming/stream_calls.h"
#include "streaming/stream_take.h"

namespace cli {

namespace {
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

// The sequence is played at half of full scale (-6 dBFS): exact in every sample type.
constexpr float kLevel = 0.5f;
// Many interfaces keep their outputs muted for a moment after their stream starts.
constexpr double kSettleSeconds = 1.0;
// Measurements made again because the driver skipped periods during them.
constexpr int kMaxRetakes = 10;

// The sequence is looked for up to half a second late, or twice what the driver
// reports and four periods more, but no more than ten seconds.
std::size_t maxDelayFrames(const LoopShape& shape) {
    const auto frames = static_cast<std::size_t>(shape.frames);
    const auto second = static_cast<std::size_t>(shape.rate);
    const auto reported = static_cast<std::size_t>(std::max(GetInputLatency() + GetOutputLatency(), 0));
    return std::max(second / 2, std::min(2 * reported + 4 * frames, 10 * second));
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
int measureRoundTrips(Session& session, const LatencyRequest& req, LoopShape& shape) {
    const std::vector<double> sequence = maximumLengthSequence(kLatencySequenceOrder);
    std::vector<float> played(sequence.size());
    for (std::size_t i = 0; i < sequence.size(); ++i) played[i] = sequence[i] > 0 ? kLevel : -kLevel;
    std::vector<float> recording;
    std::vector<double> decoded;
    std::vector<std::size_t> delays;
    ExportsRunDriver driver(session.driverName());
    RunFollower follower(driver, {false, kStallMs});
    follower.begin();
    bool settled = false;
    std::uint32_t skippedWhileMeasuring = 0;
    int retakes = 0;
    // Skips outside the measurements leave the figures whole, but say the machine
    // could not keep up.
    const auto finish = [&] {
        printSummary(delays, shape, GetInputLatency(), GetOutputLatency());
        reportSkips(follower.skippedPeriods() - skippedWhileMeasuring, "not while measuring");
    };
    while (delays.size() < req.repeat) {
        const std::uint32_t framesBefore = static_cast<std::uint32_t>(shape.frames);
        TakeEnd end = settled ? TakeEnd::whole : settle(follower, kSettleSeconds);
        settled = end == TakeEnd::whole;
        const std::uint32_t skippedBefore = follower.skippedPeriods();
        const std::size_t maxDelay = maxDelayFrames(shape);
        if (end == TakeEnd::whole)
            end = takeOnce({req.out, req.in, shape.rate}, played, sequence.size() + maxDelay, follower, &recording);
        if (end == TakeEnd::interrupted) {
            std::printf("stopped\n");
            finish();
            return kExitOk;
        }
        if (end == TakeEnd::lost || end == TakeEnd::failed) return kExitFailure;
        const std::uint32_t skipped = follower.skippedPeriods() - skippedBefore;
        if (end == TakeEnd::retake && skipped == 0) {
            // The driver's reset or rate change: the run was restarted; measure afresh.
            if (!readShape(req, &shape)) return kExitFailure;
            settled = false;
            if (!delays.empty() && static_cast<std::uint32_t>(shape.frames) != framesBefore)
                std::printf("measuring again at %d frames\n", int(shape.frames));
            delays.clear();
            if (++retakes > kMaxRetakes) {
                std::fprintf(stderr, "error: no measurement was whole in %d takes\n", retakes);
                return kExitFailure;
            }
            continue;
        }
        // Periods the driver skipped while measuring moved one stream against the
        // other by whole periods: that repetition is made again.
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
        decoded.assign(recording.begin(), recording.end());
        const DelaySearch found = findDelay(sequence, decoded, maxDelay);
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
    Session session;
    LoopShape shape;
    if (const int code = openLatency(session, req.driver, req, &shape); code != kGoOn)
        return code;
    installInterruptHandler();
    return measureRoundTrips(session, req, shape);
}

}  // namespace cli
