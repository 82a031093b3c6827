// From a recording of the sweep to an impulse response, by dividing the
// recording's spectrum by the sweep's (the sweep's inverse filter), weighted to
// the band played.
#pragma once

#include <complex>
#include <cstddef>
#include <vector>

#include "measure/fft.h"
#include "measure/sweep_signal.h"

namespace cli {

// The gain of the high-pass that the deconvolution puts at the band's low edge
// (see deconvolve); the gains read from the response are divided by it.
double lowEdgeGain(const SweepPlan& plan, double hz);

// The impulse response, circular: the linear one starts at the delay, the k-th
// harmonic's timeConstant x ln k seconds before it (wrapped round to the end).
// Its length is a power of two at least the recording's and the sweep's together.
std::vector<double> deconvolve(const SweepPlan& plan, const std::vector<double>& sweep,
                               const std::vector<double>& recording);

// The same for many recordings of one length: what every recording is multiplied
// by (the sweep's inverse filter and the band's weight) and the transform's plan
// are made once and only read after, so that threads share one deconvolver.
class Deconvolver {
public:
    Deconvolver(const SweepPlan& plan, const std::vector<double>& sweep, std::size_t recordingLength);
    // `recording` holds at most the length given.
    std::vector<double> operator()(const std::vector<double>& recording) const;

private:
    std::size_t n_;
    RealFftPlan transform_;
    std::vector<std::complex<double>> filter_;  // bins 0..n/2
};

}  // namespace cli

namespace cli {

struct ResponseStart {
    bool found = false;       // the peak stands out from the rest of the delays searched
    std::size_t delay = 0;    // frames from the recording's start to the response's peak
    double prominence = 0.0;  // the peak over the RMS of the other delays
};

// Where the linear response peaks, at delays 0 to maxDelay.
ResponseStart findResponseStart(const std::vector<double>& response, std::size_t maxDelay);

}  // namespace cli
