// The analysis of a take as it comes: the sweep's stretch is kept whole and,
// once it has come, gives each pair's delay; every later window is cut by
// position after its pair's delay and a guard and kept as recorded. Frames
// between the windows are never kept. The windows' spectra wait for finish(),
// so that the reader of the take keeps up with the driver.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "measure/analyze_results.h"
#include "measure/analyze_take.h"
#include "measure/analyze_timeline.h"
#include "measure/bin_spectrum.h"

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
    // The figures; pairs whose windows never came are left unmeasured.
    AnalysisResults finish();

private:
    struct Window {
        std::size_t segment = 0;
        std::uint64_t start = 0;  // position of the first frame
        std::vector<std::int32_t> values;
        std::size_t filled = 0;
        bool analysed = false;
    };
    struct PairState {
        std::vector<float> sweepRecording;
        bool delayKnown = false;
        std::vector<Window> windows;
        // Crosstalk: the power on each pair's tone bin, and the noise per bin around it.
        std::vector<double> tonePower;
        std::vector<double> noisePerBin;
    };

    void analyseSweep(std::size_t pair);
    void analyseWindow(std::size_t pair, Window& w);

    const Timeline& timeline_;
    std::vector<PairChannels> channels_;
    std::vector<PairState> state_;
    std::vector<PairFigures> figures_;
    std::size_t sweepSegment_ = 0;
};

}  // namespace cli
