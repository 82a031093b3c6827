#include "measure/analyze_timeline.h"

#include <algorithm>
#include <cmath>

#include "measure/crosstalk_plan.h"

namespace cli {

namespace {
constexpr double kSettleSeconds = 0.5;
constexpr double kSweepSeconds = 2.0;
constexpr double kSweepLevel = 0.25;  // -12 dBFS peak
constexpr double kResponseTailSeconds = 0.1;
// After each step of the level a device settles before the window opens: an
// AC-coupled input's DC blocker lets the step of its DC level (from even-order
// distortion) through as a decaying exponential, read as broadband noise by the
// window. In a second a first-order high-pass of 2 Hz decays by 109 dB, of 3 Hz
// by 164 dB (1 Hz: 55 dB); a limiter's release is over long before.
constexpr double kGuardSeconds = 1.0;
constexpr double kEndGuardSeconds = 0.02;   // a linear-phase filter's pre-ringing of the next
constexpr double kCrosstalkLowestHz = 40.0;
}  // namespace

std::uint64_t Timeline::playedFrames() const {
    return segments.empty() ? 0 : segments.back().start + segments.back().frames;
}

std::uint64_t Timeline::recordedFrames() const { return playedFrames() + maxDelay; }

double Timeline::crosstalkHz(std::size_t pair) const {
    return static_cast<double>(crosstalkBins[pair]) * rate / static_cast<double>(window);
}

void Timeline::render(std::uint64_t position, std::size_t count, double* out) const {
    std::fill(out, out + count * pairs, 0.0);
    for (const Segment& s : segments) {
        const std::uint64_t from = std::max(position, s.start), to = std::min(position + count, s.start + s.frames);
        for (std::uint64_t p = from; p < to; ++p) {
            double* frame = out + (p - position) * pairs;
            const std::uint64_t at = p - s.start;
            switch (s.kind) {
                case SegmentKind::sweep:
                    if (at < sweep.size()) std::fill(frame, frame + pairs, sweep[at]);
                    break;
                case SegmentKind::gain:
                case SegmentKind::thdn:
                case SegmentKind::dynamicRange: {
                    const double level = s.kind == SegmentKind::gain   ? kGainLevel
                                         : s.kind == SegmentKind::thdn ? kThdNLevel
                                                                       : kDynamicRangeLevel;
                    std::fill(frame, frame + pairs, toneSample(kAnalysisToneHz, rate, level, at));
                    break;
                }
                case SegmentKind::crosstalkAll:
                    for (std::size_t k = 0; k < pairs; ++k)
                        frame[k] = toneSample(crosstalkHz(k), rate, kCrosstalkLevel, at);
                    break;
                case SegmentKind::crosstalkOne:
                    frame[s.driven] = toneSample(crosstalkHz(s.driven), rate, kCrosstalkLevel, at);
                    break;
                case SegmentKind::settle:
                case SegmentKind::noise:
                    break;
            }
        }
    }
}

const char* planTimeline(double rate, std::size_t pairs, bool crosstalkOneByOne, std::uint64_t maxDelay,
                         Timeline* t) {
    if (!(rate >= 8000.0 && rate <= 768000.0)) return "the sample rate must lie within 8000 and 768000 Hz";
    if (pairs == 0 || pairs > 64) return "there must be 1 to 64 pairs";
    *t = Timeline{};
    t->rate = rate;
    t->band = bandFor(rate);
    t->pairs = pairs;
    t->maxDelay = maxDelay;
    t->window = toneWindowFrames(rate, 1.0);
    t->guard = static_cast<std::uint64_t>(kGuardSeconds * rate);
    t->crosstalkBins = planCrosstalkBins(pairs, t->window, rate, kCrosstalkLowestHz, t->band.toHz);
    if (t->crosstalkBins.size() != pairs) return "no crosstalk frequencies fit that many outputs at this rate";
    t->sweepPlan = SweepPlan{rate, t->band.fromHz, t->band.toHz, kSweepSeconds, kSweepLevel};
    if (const char* problem = checkSweepPlan(t->sweepPlan)) return problem;
    t->sweep = makeSweep(t->sweepPlan);
    const auto seconds = [&](double s) { return static_cast<std::uint64_t>(std::llround(s * rate)); };
    const std::uint64_t toneSegment = t->guard + t->window + seconds(kEndGuardSeconds);
    std::uint64_t at = 0;
    const auto add = [&](SegmentKind kind, std::uint64_t frames, std::size_t driven = 0) {
        t->segments.push_back({kind, at, frames, driven});
        at += frames;
    };
    add(SegmentKind::settle, seconds(kSettleSeconds));
    add(SegmentKind::sweep, t->sweep.size() + maxDelay + seconds(kResponseTailSeconds));
    for (SegmentKind kind : {SegmentKind::gain, SegmentKind::thdn, SegmentKind::dynamicRange, SegmentKind::noise})
        add(kind, toneSegment);
    if (crosstalkOneByOne) {
        for (std::size_t j = 0; j < pairs; ++j) add(SegmentKind::crosstalkOne, toneSegment, j);
    } else {
        add(SegmentKind::crosstalkAll, toneSegment);
    }
    return nullptr;
}

}  // namespace cli
