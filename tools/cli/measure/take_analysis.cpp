#include "measure/take_analysis.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#include "measure/noise.h"
#include "measure/sweep_deconvolution.h"
#include "measure/sweep_harmonics.h"
#include "measure/sweep_response.h"
#include "measure/thdn.h"
#include "system/worker_thread.h"

namespace cli {

namespace {
constexpr double kFullScale = 2147483648.0;
// A level within 6 dB of its floor (twice the floor's RMS) is not told apart from it.
constexpr double kResolveMargin = 2.0;
// A bin of noise alone passes 13 dB above its mean with a chance of e^-20.
constexpr double kNarrowbandMarginDb = 13.0;
// The response curve's points: 1/24 octave, and the band's two ends.
constexpr int kResponsePointsPerOctave = 24;

double db(double ratio) { return 20.0 * std::log10(ratio); }

bool windowed(SegmentKind kind) { return kind != SegmentKind::settle && kind != SegmentKind::sweep; }

// The mean power of a noise bin near the tones: the median of the band's bins
// with no tone, over ln 2 (the median of a noise bin's power is ln 2 of its mean).
double noisePerBin(const BinSpectrum& s, const Band& band, const std::vector<std::size_t>& tones) {
    const BinRange bins = binsWithin(s, band.fromHz, band.toHz);
    std::vector<double> rest;
    for (std::size_t k = bins.first; k <= bins.last; ++k)
        if (std::find(tones.begin(), tones.end(), k) == tones.end()) rest.push_back(s.power[k]);
    if (rest.empty()) return 0.0;
    auto middle = rest.begin() + static_cast<std::ptrdiff_t>(rest.size() / 2);
    std::nth_element(rest.begin(), middle, rest.end());
    return *middle / std::log(2.0);
}

Figure levelFigure(double value, double floor) {
    Figure f;
    if (value > floor + db(kResolveMargin))
        f.value = value;
    else
        f.floor = floor + db(kResolveMargin);
    return f;
}
}  // namespace

TakeAnalysis::TakeAnalysis(const Timeline& timeline, std::vector<PairChannels> pairs)
    : timeline_(timeline), channels_(std::move(pairs)), state_(channels_.size()), figures_(channels_.size()) {
    for (std::size_t i = 0; i < timeline_.segments.size(); ++i)
        if (timeline_.segments[i].kind == SegmentKind::sweep) sweepSegment_ = i;
    for (std::size_t p = 0; p < channels_.size(); ++p) {
        figures_[p].output = channels_[p].output;
        figures_[p].input = channels_[p].input;
        state_[p].tonePower.assign(channels_.size(), 0.0);
        state_[p].noisePerBin.assign(channels_.size(), 0.0);
        for (std::size_t i = 0; i < timeline_.segments.size(); ++i) {
            const Segment& s = timeline_.segments[i];
            if (windowed(s.kind)) state_[p].windows.push_back({i, s.start + timeline_.guard, {}, 0});
        }
    }
}

bool TakeAnalysis::frames(std::uint64_t position, const std::int32_t* interleaved, std::size_t count) {
    const std::size_t n = channels_.size();
    const Segment& sweep = timeline_.segments[sweepSegment_];
    const std::size_t stretch = stretchFrames();
    for (std::size_t p = 0; p < n; ++p) {
        PairState& st = state_[p];
        // The sweep's stretch, from its first frame on, in order.
        const std::uint64_t sweepFrom = std::max(position, sweep.start + st.sweepRecording.size());
        const std::uint64_t sweepTo = std::min(position + count, sweep.start + sweep.frames);
        if (st.sweepRecording.empty() && sweepFrom < sweepTo) st.sweepRecording.reserve(sweep.frames);
        for (std::uint64_t q = sweepFrom; q < sweepTo; ++q)
            st.sweepRecording.push_back(static_cast<float>(interleaved[(q - position) * n + p] / kFullScale));
        for (Window& w : st.windows) {
            if (w.filled == stretch) continue;
            const std::uint64_t from = std::max(position, w.start + w.filled);
            const std::uint64_t to = std::min(position + count, w.start + stretch);
            if (from >= to) continue;
            if (w.values.empty()) w.values.resize(stretch);
            for (std::uint64_t q = from; q < to; ++q) w.values[q - w.start] = interleaved[(q - position) * n + p];
            w.filled = to - w.start;
        }
    }
    return !complete();
}

bool TakeAnalysis::complete() const {
    const Segment& sweep = timeline_.segments[sweepSegment_];
    for (const PairState& st : state_) {
        if (st.sweepRecording.size() != sweep.frames) return false;
        for (const Window& w : st.windows)
            if (w.filled != stretchFrames()) return false;
    }
    return true;
}

std::uint64_t TakeAnalysis::keptBytes(const Timeline& timeline, std::size_t pairs) {
    std::uint64_t windows = 0, sweep = 0;
    for (const Segment& s : timeline.segments) {
        if (windowed(s.kind)) ++windows;
        if (s.kind == SegmentKind::sweep) sweep = s.frames;
    }
    const std::uint64_t stretch = timeline.window + timeline.maxDelay;
    return pairs * (windows * stretch * sizeof(std::int32_t) + sweep * sizeof(float));
}

bool TakeAnalysis::analyseSweep(std::size_t p) {
    PairState& st = state_[p];
    PairFigures& f = figures_[p];
    const std::vector<double> recording(st.sweepRecording.begin(), st.sweepRecording.end());
    std::vector<float>().swap(st.sweepRecording);
    const SweepPlan& plan = timeline_.sweepPlan;
    const std::vector<double> response = (*deconvolver_)(recording);
    const ResponseStart start = findResponseStart(response, static_cast<std::size_t>(timeline_.maxDelay));
    f.signal = start.found;
    if (!start.found) return false;  // nothing came back: no window of this pair is read
    f.latencyFrames = static_cast<long long>(start.delay);
    f.polarity = response[start.delay] < 0.0 ? -1 : 1;
    const SweepHarmonics harmonics(plan, response, start.delay);
    // The curve written and drawn, from the band's one end to the other, and the
    // deviation over those same points.
    const double reference = measurePoint(plan, harmonics, kAnalysisToneHz).responseDb;
    for (const SweepPoint& point : measureBand(plan, harmonics, kResponsePointsPerOctave, BandEnds::included)) {
        f.response.emplace_back(point.hz, point.responseDb - reference);
        f.responseDeviationDb = std::max(f.responseDeviationDb, std::fabs(point.responseDb - reference));
    }
    return true;
}

void TakeAnalysis::analyseWindow(std::size_t p, Window& w, std::size_t delay) {
    // The window proper: the pair's delay into the stretch.
    std::vector<double> values(timeline_.window);
    for (std::size_t i = 0; i < values.size(); ++i) values[i] = w.values[delay + i] / kFullScale;
    std::vector<std::int32_t>().swap(w.values);
    const BinSpectrum s = (*spectrum_)(values, timeline_.rate);
    const Segment& seg = timeline_.segments[w.segment];
    const PairChannels& ch = channels_[p];
    PairFigures& f = figures_[p];
    const Band& band = timeline_.band;
    const BinRange bins = binsWithin(s, band.fromHz, band.toHz);
    const double bandShare = static_cast<double>(bins.last + 1 - bins.first) /
                             static_cast<double>(std::max<std::size_t>(1, s.power.size() - 1));
    // What quantisation alone leaves of a tone played and recorded, in the band.
    const double quantisation =
        quantisationMeanSquare(ch.outputBits, bandShare) + quantisationMeanSquare(ch.inputBits, bandShare);
    switch (seg.kind) {
        case SegmentKind::gain:
            f.gainDb = db(toneAmplitude(s, kAnalysisToneHz) / kGainLevel);
            break;
        case SegmentKind::thdn:
        case SegmentKind::dynamicRange: {
            const bool dr = seg.kind == SegmentKind::dynamicRange;
            const ThdN t = measureThdN(s, kAnalysisToneHz, band, dr);
            const double floorDb =
                t.signalMeanSquare > 0.0 ? 10.0 * std::log10(quantisation / t.signalMeanSquare) : 0.0;
            const Figure inDb = levelFigure(t.db(), floorDb);
            if (dr) {
                if (inDb.value)
                    f.dynamicRangeDb.value = 60.0 - *inDb.value;
                else
                    f.dynamicRangeDb.floor = 60.0 - *inDb.floor;
            } else {
                f.thdnDb = inDb;
                if (inDb.value)
                    f.thdnPercent.value = t.percent();
                else
                    f.thdnPercent.floor = 100.0 * std::pow(10.0, *inDb.floor / 20.0);
            }
            break;
        }
        case SegmentKind::noise:
            for (const bool weighted : {false, true}) {
                const NoiseLevel n = measureNoise(s, band, weighted, ch.inputBits);
                (weighted ? f.noiseADbfs : f.noiseDbfs) = levelFigure(n.dbfs, n.floorDbfs);
            }
            break;
        case SegmentKind::crosstalkAll:
        case SegmentKind::crosstalkOne: {
            PairState& st = state_[p];
            const double noise = noisePerBin(s, band, timeline_.crosstalkBins);
            for (std::size_t j = 0; j < channels_.size(); ++j) {
                if (seg.kind == SegmentKind::crosstalkOne && j != seg.driven) continue;
                st.tonePower[j] = s.power[timeline_.crosstalkBins[j]];
                st.noisePerBin[j] = noise;
            }
            break;
        }
        case SegmentKind::settle:
        case SegmentKind::sweep:
            break;
    }
}

void TakeAnalysis::analysePair(std::size_t p) {
    if (!analyseSweep(p)) return;
    const auto delay = static_cast<std::size_t>(figures_[p].latencyFrames);
    for (Window& w : state_[p].windows) analyseWindow(p, w, delay);
}

// Each pair on its own: its state and figures are its own, and the deconvolver
// and the spectrum's plan are only read. The threads take the next pair as they
// come free; this thread takes its share too, and all of them when no thread starts.
void TakeAnalysis::analysePairs() {
    std::atomic<std::size_t> next{0};
    const auto work = [this, &next] {
        for (std::size_t p = next++; p < state_.size(); p = next++) analysePair(p);
    };
    const std::size_t helpers = std::min<std::size_t>(processorCount(), state_.size()) - 1;
    std::vector<WorkerThread> threads(helpers);
    for (WorkerThread& t : threads) t.start(work);
    work();
    for (WorkerThread& t : threads) t.join();
}

AnalysisResults TakeAnalysis::finish() {
    const bool whole = complete();
    if (whole) {
        deconvolver_.emplace(timeline_.sweepPlan, timeline_.sweep, timeline_.segments[sweepSegment_].frames);
        spectrum_.emplace(timeline_.window);
    }
    if (whole) analysePairs();
    AnalysisResults r;
    r.rate = timeline_.rate;
    r.pairs = figures_;
    const std::size_t n = channels_.size();
    r.crosstalkOneByOne = false;
    for (const Segment& s : timeline_.segments)
        if (s.kind == SegmentKind::crosstalkOne) r.crosstalkOneByOne = true;
    for (std::size_t j = 0; j < n; ++j) r.crosstalkHz.push_back(timeline_.crosstalkHz(j));
    r.crosstalkDb.assign(n, std::vector<Figure>(n));
    for (std::size_t j = 0; j < n; ++j) {
        const double driven = state_[j].tonePower[j];
        if (!figures_[j].signal || !(driven > 0.0)) continue;
        for (std::size_t k = 0; k < n; ++k) {
            if (k == j || !figures_[k].signal || !whole) continue;
            // The floor: a bin of noise's mean and the margin, or a sine of one LSB of the input.
            const double lsb = std::ldexp(1.0, 1 - channels_[k].inputBits);
            const double floorPower =
                std::max(state_[k].noisePerBin[j] * std::pow(10.0, kNarrowbandMarginDb / 10.0), lsb * lsb / 2.0);
            const double level = 10.0 * std::log10(std::max(state_[k].tonePower[j], 1e-300) / driven);
            const double floor = 10.0 * std::log10(floorPower / driven);
            Figure& cell = r.crosstalkDb[j][k];
            if (state_[k].tonePower[j] > floorPower)
                cell.value = level;
            else
                cell.floor = floor;
        }
    }
    return r;
}

}  // namespace cli
