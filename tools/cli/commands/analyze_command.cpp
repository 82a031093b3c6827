// asiochan analyze: every output-to-input pair measured in one take through the
// library's stream, judged against a limits file, written as JSON, JUnit XML and
// an HTML report.
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "asiochan.h"
#include "commands/analyze_options.h"
#include "commands/commands.h"
#include "console/console_events.h"
#include "console/exit_codes.h"
#include "measure/analyze_run.h"
#include "measure/analyze_timeline.h"
#include "measure/take_analysis.h"
#include "streaming/session.h"
#include "streaming/stream_port.h"
#include "streaming/analysis_take.h"
#include "wav/sample_codec.h"

namespace cli {

namespace {
// The resolution of a channel's samples as the take reads them (32-bit integers):
// an integer type's bits, a float's mantissa.
int channelBits(unsigned channel, bool input) {
    AsiochanChannelInfo info{};
    info.channel = static_cast<std::int32_t>(channel);
    info.isInput = input ? 1 : 0;
    if (ASIOGetChannelInfo(&info) != ASIOCHAN_OK) return 0;
    const SampleType* type = findSampleType(info.type);
    if (type == nullptr || type->bytes == 0) return 0;
    if (type->isFloat) return type->bytes == 4 ? 24 : 32;
    return std::min(type->bits, 32);
}

// The longest loop delay searched: half a second, or more where the driver's
// reported latencies ask for it (up to five seconds).
std::uint64_t maxDelayFrames(double rate, std::int32_t period) {
    const auto reported = static_cast<std::uint64_t>(std::max(GetInputLatency() + GetOutputLatency(), 0));
    const auto halfSecond = static_cast<std::uint64_t>(0.5 * rate);
    return std::max(halfSecond, std::min(2 * reported + 4 * static_cast<std::uint64_t>(std::max(period, 0)),
                                         static_cast<std::uint64_t>(5 * rate)));
}

std::string isoDate() {
    const std::time_t now = std::time(nullptr);
    char text[32] = "";
    if (const std::tm* utc = std::gmtime(&now)) std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", utc);
    return text;
}

bool writeFile(const std::string& path, const std::string& text) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    bool ok = f != nullptr && std::fwrite(text.data(), 1, text.size(), f) == text.size();
    if (f != nullptr && std::fclose(f) != 0) ok = false;
    if (!ok) std::fprintf(stderr, "error: \"%s\" could not be written\n", path.c_str());
    return ok;
}

// The driver's channel counts and each channel's sample width.
DriverChannels driverChannels() {
    DriverChannels d;
    d.outputs = GetOutputChannelCount();
    d.inputs = GetInputChannelCount();
    for (const bool input : {false, true}) {
        std::vector<int>& widths = input ? d.inputWidths : d.outputWidths;
        for (int c = 0; c < (input ? d.inputs : d.outputs) && c < 64; ++c) {
            AsiochanChannelInfo info{};
            info.channel = c;
            info.isInput = input ? 1 : 0;
            const SampleType* type = ASIOGetChannelInfo(&info) == ASIOCHAN_OK ? findSampleType(info.type) : nullptr;
            widths.push_back(type != nullptr ? static_cast<int>(type->bytes) : 0);
        }
    }
    return d;
}
}  // namespace

int runAnalyze(const Arguments& args) {
    AnalyzeRequest req;
    if (!parseAnalyze(args, &req)) return kExitUsage;
    Limits limits;
    if (!req.limitsPath.empty() && !loadLimits(req.limitsPath, &limits)) return kExitUsage;
    if (const int code = checkOutputFolders(req); code != kGoOn) return code;
    Session session;
    if (!session.open(req.driver)) return kExitUsage;
    std::vector<ChannelPair> pairs;
    if (const int code = choosePairs(req, limits, driverChannels(), &pairs); code != kGoOn) return code;
    std::vector<PairChannels> channels;
    for (const ChannelPair& p : pairs) {
        const int outBits = channelBits(p.output, false), inBits = channelBits(p.input, true);
        if (outBits == 0 || inBits == 0) {
            std::fprintf(stderr, "error: output %u or input %u has a sample type analyze cannot use\n", p.output,
                         p.input);
            return kExitUsage;
        }
        channels.push_back({int(p.output), int(p.input), outBits, inBits});
    }
    if (!session.prepare()) return kExitFailure;
    const double rate = GetCurrentSampleRate();
    const std::int32_t period = GetBufferSizePreferred();
    Timeline timeline;
    if (const char* problem =
            planTimeline(rate, pairs.size(), req.crosstalkOneByOne, maxDelayFrames(rate, period), &timeline)) {
        std::fprintf(stderr, "error: %u pairs at %.0f Hz cannot be measured: %s\n", unsigned(pairs.size()), rate,
                     problem);
        return kExitUsage;
    }
    // What the analysis keeps of the take must fit beside everything else in a
    // 32-bit process (2 GiB): crosstalk one output at a time keeps a window per
    // pair and output.
    const std::uint64_t kept = TakeAnalysis::keptBytes(timeline, pairs.size());
    const std::uint64_t budget = sizeof(void*) == 4 ? 768ull << 20 : 16ull << 30;
    if (kept > budget) {
        std::fprintf(stderr,
                     "error: %u pairs with --crosstalk %s keep %.0f MiB of the take, more than this %d-bit process "
                     "takes (%.0f MiB): measure fewer pairs at once (--pairs) or drive every output at once\n",
                     unsigned(pairs.size()), req.crosstalkOneByOne ? "one" : "all", double(kept) / 1048576.0,
                     int(8 * sizeof(void*)), double(budget) / 1048576.0);
        return kExitUsage;
    }
    std::printf("analyze %u pairs of %s at %.0f Hz, %d frames: a take of %.1f s\n", unsigned(pairs.size()),
                session.driverName().c_str(), rate, int(period), static_cast<double>(timeline.recordedFrames()) / rate);
    std::fflush(stdout);
    installInterruptHandler();
    StreamTakeOptions options;
    options.interrupted = [] { return interrupted(); };
    options.beforeRetake = [&] {
        Finish();
        return session.prepare() && GetCurrentSampleRate() == rate && GetBufferSizePreferred() == period;
    };
    StreamTake take(libraryStream(), pairs, options);
    TakeFacts facts;
    facts.driver = session.driverName();
    facts.rate = rate;
    facts.period = period;
    facts.date = isoDate();
    facts.limitsFile = req.limitsPath;
    facts.limitsSha256 = limits.fileSha256;
    facts.responseMask = limits.responseMask;
    facts.version = ASIOCHAN_VERSION;
    return runAnalysis(take, timeline, channels, limits, facts, {req.json, req.junit, req.report}, writeFile);
}

}  // namespace cli
