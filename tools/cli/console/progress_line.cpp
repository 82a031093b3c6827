#include "console/progress_line.h"

#include <cstdio>

namespace cli {

namespace {
std::string clock(double seconds) {
    if (seconds < 0) seconds = 0;
    const int minutes = static_cast<int>(seconds / 60);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%04.1f", minutes, seconds - minutes * 60.0);
    return text;
}
}  // namespace

std::string ProgressLine::show(const char* label, double elapsedSeconds, double totalSeconds, const char* note,
                               std::uint32_t nowMs) {
    pending_ = std::string(label) + " " + clock(elapsedSeconds);
    if (totalSeconds > 0) pending_ += " / " + clock(totalSeconds);
    if (note) pending_ += std::string(", ") + note;
    shown_ = false;
    if (console_) {
        shown_ = true;
        lineOpen_ = true;
        return "\r" + pending_;
    }
    if (!anyLine_ || nowMs - lastLineMs_ >= kLogLineMs) return logLine(nowMs);
    return "";
}

std::string ProgressLine::interrupt(std::uint32_t nowMs) {
    if (console_ && lineOpen_) {
        lineOpen_ = false;
        return "\n";
    }
    return !console_ && !shown_ ? logLine(nowMs) : "";
}

std::string ProgressLine::end(std::uint32_t nowMs) {
    if (console_) {
        lineOpen_ = false;
        return "\n";
    }
    return shown_ ? "" : logLine(nowMs);
}

std::string ProgressLine::logLine(std::uint32_t nowMs) {
    shown_ = true;
    anyLine_ = true;
    lastLineMs_ = nowMs;
    return pending_ + "\n";
}

}  // namespace cli
