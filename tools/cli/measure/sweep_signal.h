// The exponential sine sweep: its plan (the band reported and the wider band
// played, so that the fades lie outside the one reported) and its samples.
#pragma once

#include <cstddef>
#include <vector>

namespace cli {

struct SweepPlan {
    double rate = 48000.0;
    double from = 20.0;     // the band reported, Hz
    double to = 20000.0;
    double seconds = 5.0;   // the whole sweep, fades included
    double level = 0.25;    // peak, full scale 1.0
    // The band played: an octave and a half lower and a third of an octave higher,
    // below 0.48 x rate.
    double playedFrom() const;
    double playedTo() const;
    // The sweep's time constant: seconds per natural-log unit of frequency.
    double timeConstant() const;
    std::size_t frames() const;
};

// Null for a plan that can be played, else a message saying what is wrong with it
// (a band outside 1 Hz..0.48 x rate or under an octave, a sweep too short or too long).
const char* checkSweepPlan(const SweepPlan& plan);

// The sweep's samples, with raised-cosine fades (at least 5 ms each): in over the
// first half octave played, out over the part played above the band reported.
std::vector<double> makeSweep(const SweepPlan& plan);

}  // namespace cli
