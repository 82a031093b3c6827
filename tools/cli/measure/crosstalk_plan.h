// The frequencies of crosstalk measured with every output driven at once: one
// tone per output, each on an exact bin of the window, chosen so that no
// harmonic of a tone up to the 5th and no 2nd- or 3rd-order intermodulation
// product of any two tones (f1 +- f2, 2 f1 +- f2, f1 +- 2 f2), folded at half the
// rate where it lies above, lands on another tone's bin.
#pragma once

#include <cstddef>
#include <vector>

namespace cli {

// A product's bin as a window of `window` frames sees it: folded about 0 and
// about Nyquist.
std::size_t foldedBin(long long bin, std::size_t window);

// `count` bins (1 to 64 tones) for a window of `window` frames at `rate`, each
// within `fromHz`..`toHz` and at least 3 bins from another, spread evenly over
// log frequency where the products allow; empty when they do not fit.
std::vector<std::size_t> planCrosstalkBins(std::size_t count, std::size_t window, double rate, double fromHz,
                                           double toHz);

}  // namespace cli
