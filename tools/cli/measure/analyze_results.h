// What `asiochan analyze` measured on each pair and between pairs.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace cli {

// A figure, or none when it lies below what the take resolves: then `floor` is
// the bound it lies beyond (lower for levels, higher for dynamic range).
struct Figure {
    std::optional<double> value;
    std::optional<double> floor;
    bool measured() const { return value.has_value() || floor.has_value(); }
};

struct PairFigures {
    int output = 0, input = 0;
    bool signal = false;  // the sweep came back on the input
    double gainDb = 0.0;
    int polarity = 1;
    long long latencyFrames = 0;
    double responseDeviationDb = 0.0;
    std::vector<std::pair<double, double>> response;  // (Hz, dB re 997 Hz), 1/24 octave and the band's ends
    Figure thdnPercent, thdnDb;
    Figure noiseDbfs, noiseADbfs;
    Figure dynamicRangeDb;
};

struct AnalysisResults {
    double rate = 0.0;
    bool crosstalkOneByOne = false;
    std::vector<PairFigures> pairs;
    std::vector<double> crosstalkHz;               // the tone of each row
    std::vector<std::vector<Figure>> crosstalkDb;  // [driven][measured]; the diagonal not measured
};

}  // namespace cli
