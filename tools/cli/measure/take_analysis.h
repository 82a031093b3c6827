// The analysis of a take as it comes. frames() only copies: the sweep's stretch
// is kept whole, and for every later segment the stretch in which its window can
// lie, whatever the pair's delay up to the longest searched (the guard after the
// segment's start, then a window and that delay). Frames outside those are never
// kept. finish() does the work: each pair's delay from its sweep, then each window
// cut at that delay and its spectrum. So the reader of the take never stops to
// search (about 70 ms a pair) and keeps up with the driver.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "measure/analyze_results.h"
#include "measure/analyze_take.h"
#include "measure/analyze_timeline.h"
#include "measure/window_dft.h"
#include "measure/sweep_deconvolution.h"

namespace cli {

struct PairChannels {
    int output = 0, input = 0;
    int outputBits = 32, inputBits = 32;  // the resolution of each side's samples (24 for floats)
};

class TakeAnalysis : public TakeSink {
public:
    TakeAnalysis(const Timeline& timeline, std::vector<PairChannels> pairs);
    bool frames(std::uint64_t position, const std::int32_t* interleaved, std::size_t count) override;
    // Whether every window has come.
    bool complete() const;
    // What the analysis of `pairs` pairs keeps of a take until its end, in bytes.
    static std::uint64_t keptBytes(const Timeline& timeline, std::size_t pairs);
    // The figures; pairs whose windows never came are left unmeasured.
    AnalysisResults finish();

private:
    struct Window {
        std::size_t segment = 0;
        std::uint64_t start = 0;  // position of the stretch's first frame
        std::vector<std::int32_t> values;
        std::size_t filled = 0;
    };
    struct PairState {
        std::vector<float> sweepRecording;
        std::vector<Window> windows;
        // Crosstalk: the power on each pair's tone bin, and the noise per bin around it.
        std::vector<double> tonePower;
        std::vector<double> noisePerBin;
    };

    // The pair's delay, polarity and response; false when nothing came back.
    bool analyseSweep(std::size_t pair);
    void analyseWindow(std::size_t pair, Window& w, std::size_t delay);
    void analysePair(std::size_t pair);
    // Every pair, on as many threads as there are processors.
    void analysePairs();
    std::size_t stretchFrames() const { return timeline_.window + static_cast<std::size_t>(timeline_.maxDelay); }

    const Timeline& timeline_;
    std::vector<PairChannels> channels_;
    std::vector<PairState> state_;
    std::vector<PairFigures> figures_;
    std::size_t sweepSegment_ = 0;
    // Made at finish(): the sweep's transform and the windows' chirp, each once.
    std::optional<Deconvolver> deconvolver_;
    std::optional<BinSpectrumPlan> spectrum_;
};

}  // namespace cli
