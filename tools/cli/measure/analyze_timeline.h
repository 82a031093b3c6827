// The take of `asiochan analyze`: one timeline of segments played on every
// measured output at once, each read back on every measured input in a window
// placed after the loop's delay and a guard.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "measure/analyze_tones.h"
#include "measure/sweep_signal.h"

namespace cli {

enum class SegmentKind {
    settle,        // silence while the outputs come up
    sweep,         // the sweep on every output, then silence for the delay to pass
    gain,          // 997 Hz at -20 dBFS on every output
    thdn,          // 997 Hz at -1 dBFS
    dynamicRange,  // 997 Hz at -60 dBFS
    noise,         // silence
    crosstalkAll,  // every output its own tone at -1 dBFS
    crosstalkOne,  // one output its tone at -1 dBFS, the others silent
};

struct Segment {
    SegmentKind kind = SegmentKind::settle;
    std::uint64_t start = 0;
    std::uint64_t frames = 0;
    std::size_t driven = 0;  // crosstalkOne: the pair driven
};

constexpr double kAnalysisToneHz = 997.0;
constexpr double kGainLevel = 0.1;             // -20 dBFS
constexpr double kThdNLevel = 0.89125093813;   // -1 dBFS
constexpr double kDynamicRangeLevel = 0.001;   // -60 dBFS
constexpr double kCrosstalkLevel = 0.89125093813;

struct Timeline {
    double rate = 48000.0;
    Band band;
    std::size_t pairs = 0;
    std::size_t window = 0;        // frames of a tone or noise window
    std::uint64_t guard = 0;       // frames skipped after the delay at a segment's start
    std::uint64_t maxDelay = 0;    // the longest loop delay searched
    SweepPlan sweepPlan;
    std::vector<double> sweep;
    std::vector<std::size_t> crosstalkBins;  // one per pair, bins of the window
    std::vector<Segment> segments;

    std::uint64_t playedFrames() const;
    // What must be recorded for every window to be whole: the timeline and the longest delay.
    std::uint64_t recordedFrames() const;
    double crosstalkHz(std::size_t pair) const;
    // Frames [position, position + count) of every pair's output, interleaved in
    // pair order, as full-scale 1.0 values.
    void render(std::uint64_t position, std::size_t count, double* out) const;
};

// Null and a timeline, or a message why none can be made (a rate out of range,
// no pair, more than 64, or no frequency plan for that many tones).
const char* planTimeline(double rate, std::size_t pairs, bool crosstalkOneByOne, std::uint64_t maxDelay,
                         Timeline* timeline);

}  // namespace cli
