#include "measure/level_display.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>

namespace cli {

namespace {
// The characters of a bar's line besides the bar itself.
constexpr int kLineOverhead = 40;
}  // namespace

LevelDisplay::LevelDisplay(std::vector<unsigned> channels) : channels_(std::move(channels)) {
    DWORD mode = 0;
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    console_ = GetConsoleMode(out, &mode) != 0;
    // A line that wrapped would take two rows and spoil the redrawing.
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (console_ && GetConsoleScreenBufferInfo(out, &info))
        barWidth_ = std::clamp(info.dwSize.X - kLineOverhead, 10, barWidth_);
}

bool LevelDisplay::offer(const std::vector<LevelMeter>& meters, double elapsedSeconds) {
    if (console_) {
        draw(meters);
        return true;
    }
    if (elapsedSeconds - lastLineSeconds_ < 1.0) return false;
    printLine(meters, elapsedSeconds);
    return true;
}

void LevelDisplay::finish(const std::vector<LevelMeter>& meters, double elapsedSeconds) {
    if (console_) {
        if (!drawn_) draw(meters);
        return;
    }
    bool pending = false;
    for (const LevelMeter& m : meters) pending = pending || m.samples() > 0;
    if (pending) printLine(meters, elapsedSeconds);
}

void LevelDisplay::draw(const std::vector<LevelMeter>& meters) {
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    std::fflush(stdout);
    if (drawn_) SetConsoleCursorPosition(out, COORD{0, top_});
    for (std::size_t i = 0; i < channels_.size() && i < meters.size(); ++i) {
        const double peak = meters[i].peakDbfs(), rms = meters[i].rmsDbfs();
        std::printf("in %2u [%s] peak %s  rms %s dBFS\n", channels_[i], levelBar(peak, rms, barWidth_).c_str(),
                    formatDbfs(peak).c_str(), formatDbfs(rms).c_str());
    }
    std::fflush(stdout);
    if (!drawn_) {
        // The rows the bars landed on, after any scrolling the first drawing caused.
        CONSOLE_SCREEN_BUFFER_INFO info;
        if (GetConsoleScreenBufferInfo(out, &info))
            top_ = static_cast<short>(info.dwCursorPosition.Y - static_cast<short>(channels_.size()));
        drawn_ = true;
    }
}

void LevelDisplay::printLine(const std::vector<LevelMeter>& meters, double elapsedSeconds) {
    const int tenths = static_cast<int>(elapsedSeconds * 10 + 0.5);
    std::printf("%02d:%02d.%d ", tenths / 600, tenths / 10 % 60, tenths % 10);
    for (std::size_t i = 0; i < channels_.size() && i < meters.size(); ++i)
        std::printf(" in %u peak %s rms %s%s", channels_[i], formatDbfs(meters[i].peakDbfs()).c_str(),
                    formatDbfs(meters[i].rmsDbfs()).c_str(), i + 1 < channels_.size() ? " |" : " dBFS\n");
    std::fflush(stdout);
    lastLineSeconds_ = elapsedSeconds;
}

}  // namespace cli
