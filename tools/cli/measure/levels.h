// Input levels for `asiochan monitor`: the peak and RMS of a stretch of samples in
// dBFS, and the text that shows them.
#pragma once

#include <cstddef>
#include <string>

namespace cli {

// Collects the samples of one channel (full scale 1.0) between two readings.
class LevelMeter {
public:
    void add(const double* samples, std::size_t count);
    // Both are -infinity before a sample was added, and for silence.
    double peakDbfs() const;
    double rmsDbfs() const;
    std::size_t samples() const { return count_; }
    void clear() { *this = LevelMeter(); }

private:
    double peak_ = 0.0;
    double squares_ = 0.0;
    std::size_t count_ = 0;
};

// 20 log10 of a magnitude: 0 dBFS at full scale, -infinity for 0.
double toDbfs(double magnitude);
// "-12.3", " -0.0" shows as "  0.0", -infinity as " -inf"; five characters wide.
std::string formatDbfs(double dbfs);

// The lowest level the bar shows: its left end.
constexpr double kBarFloorDbfs = -60.0;

// A bar `width` characters wide from kBarFloorDbfs to 0 dBFS: '=' up to the RMS
// level, '|' at the peak, '-' for the rest.
std::string levelBar(double peakDbfs, double rmsDbfs, int width);

}  // namespace cli
