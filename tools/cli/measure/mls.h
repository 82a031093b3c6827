// A maximum-length sequence: the wideband signal `asiochan latency` plays. Its
// values are +1 and -1; its autocorrelation has one sharp peak, so the place where
// it comes back in a capture stands out even at a low level or under noise.
#pragma once

#include <vector>

namespace cli {

// The order `asiochan latency` plays: 8191 values, 0.17 s at 48000 Hz.
constexpr int kLatencySequenceOrder = 13;

// The 2^order - 1 values (+1 or -1) of the sequence a maximal linear feedback
// shift register of `order` bits (10 to 16) gives from the all-ones state; empty
// for another order.
std::vector<double> maximumLengthSequence(int order);

}  // namespace cli
