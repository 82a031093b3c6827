// How `asiochan monitor` shows its levels: on a console, one bar per channel,
// redrawn in place at every refresh; elsewhere (a file, a pipe), one line a second.
#pragma once

#include <string>
#include <vector>

#include "measure/levels.h"

namespace cli {

class LevelDisplay {
public:
    explicit LevelDisplay(std::vector<unsigned> channels);

    bool onConsole() const { return console_; }
    // After every refresh, with the levels gathered since they were last shown:
    // true when they were shown now (the caller then starts them afresh).
    bool offer(const std::vector<LevelMeter>& meters, double elapsedSeconds);
    // At the end: shows what has not been shown yet and leaves the cursor below.
    void finish(const std::vector<LevelMeter>& meters, double elapsedSeconds);

private:
    void draw(const std::vector<LevelMeter>& meters);
    void printLine(const std::vector<LevelMeter>& meters, double elapsedSeconds);

    std::vector<unsigned> channels_;
    bool console_ = false;
    int barWidth_ = 40;  // narrower on a narrow console
    bool drawn_ = false;
    short top_ = 0;               // console row of the first bar
    double lastLineSeconds_ = 0;  // when the last line was printed
};

}  // namespace cli
