#include "measure/analyze_run.h"

#include <cmath>
#include <cstdio>

namespace cli {

namespace {
void printSummary(const AnalysisResults& r, const Judgement& j) {
    std::printf("pair    gain dB  pol  latency  resp dB  THD+N %%   noise dBFS  noise(A)  DR dB   verdict\n");
    const auto show = [](const Figure& f, int decimals, bool higher) {
        char text[32];
        if (f.value)
            std::snprintf(text, sizeof text, "%.*f", decimals, *f.value);
        else if (f.floor && std::fabs(*f.floor) < 0.1)
            std::snprintf(text, sizeof text, higher ? ">%.1g" : "<%.1g", *f.floor);
        else if (f.floor)
            std::snprintf(text, sizeof text, higher ? ">%.1f" : "<%.1f", *f.floor);
        else
            std::snprintf(text, sizeof text, "-");
        return std::string(text);
    };
    for (std::size_t p = 0; p < r.pairs.size(); ++p) {
        const PairFigures& f = r.pairs[p];
        bool passed = true;
        for (const Verdict& v : j.pairs[p]) passed = passed && v.passed;
        if (!f.signal) {
            std::printf("%2d:%-2d   no signal came back on input %d\n", f.output, f.input, f.input);
            continue;
        }
        std::printf("%2d:%-2d  %8.3f  %3d  %7lld  %7.3f  %-9s %-11s %-9s %-7s %s\n", f.output, f.input, f.gainDb,
                    f.polarity, f.latencyFrames, f.responseDeviationDb, show(f.thdnPercent, 4, false).c_str(),
                    show(f.noiseDbfs, 2, false).c_str(), show(f.noiseADbfs, 2, false).c_str(),
                    show(f.dynamicRangeDb, 2, true).c_str(), !j.judged ? "-" : passed ? "pass" : "FAIL");
    }
    for (std::size_t p = 0; p < j.pairs.size(); ++p)
        for (const Verdict& v : j.pairs[p])
            if (!v.passed) std::printf("FAIL %d:%d %s\n", r.pairs[p].output, r.pairs[p].input, v.detail.c_str());
}
}  // namespace

int runAnalysis(Take& take, const Timeline& timeline, const std::vector<PairChannels>& pairs, const Limits& limits,
                TakeFacts facts, const AnalyzeFiles& files, const FileWriter& write) {
    for (int attempt = 0;; ++attempt) {
        TakeAnalysis analysis(timeline, pairs);
        const TakeOutcome outcome = take.run(timeline, analysis);
        if (outcome.kind == TakeOutcome::Kind::skipped && attempt == 0) {
            std::printf("warning: %s; the take is made again\n", outcome.message.c_str());
            continue;
        }
        if (outcome.kind == TakeOutcome::Kind::interrupted) {
            std::printf("stopped\n");
            return kExitTakeInvalid;
        }
        if (outcome.kind == TakeOutcome::Kind::failed) {
            std::fprintf(stderr, "error: %s\n", outcome.message.c_str());
            return 1;
        }
        if (outcome.kind != TakeOutcome::Kind::whole || !analysis.complete()) {
            std::fprintf(stderr, "error: the take is not valid: %s\n",
                         outcome.message.empty() ? "it ended before every window came" : outcome.message.c_str());
            return kExitTakeInvalid;
        }
        // The delay searches and spectra take about a second a pair on a slow machine.
        std::printf("the take is whole; analysing %u pairs\n", unsigned(pairs.size()));
        std::fflush(stdout);
        const AnalysisResults results = analysis.finish();
        const Judgement judgement = judge(results, limits);
        facts.takeSeconds = static_cast<double>(timeline.recordedFrames()) / timeline.rate;
        printSummary(results, judgement);
        std::printf("crosstalk measured with %s; take %.1f s; %s\n",
                    results.crosstalkOneByOne ? "one output driven at a time" : "every output driven at once",
                    facts.takeSeconds,
                    !judgement.judged ? "not judged (no limits file)" : judgement.passed ? "PASSED" : "FAILED");
        bool written = true;
        if (!files.json.empty()) written = write(files.json, analysisJson(facts, results, judgement)) && written;
        if (!files.junit.empty()) written = write(files.junit, analysisJUnit(facts, results, judgement)) && written;
        if (!files.report.empty()) written = write(files.report, analysisHtml(facts, results, judgement)) && written;
        return judgement.passed && written ? 0 : 1;
    }
}

}  // namespace cli
