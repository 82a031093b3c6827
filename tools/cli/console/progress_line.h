// The state of the progress display, apart from the console and the clock: each
// call answers the text to write now ("" for nothing), so that the throttle of a
// log can be tried without either.
#pragma once

#include <cstdint>
#include <string>

namespace cli {

class ProgressLine {
public:
    // A log gets at most one line in this many milliseconds.
    static constexpr std::uint32_t kLogLineMs = 1000;

    explicit ProgressLine(bool console) : console_(console) {}

    // "<label> 00:03.2 / 00:10.0, <note>" (no " / ..." for a total of 0 or less, no
    // note for null) at `nowMs`: on a console rewritten in place, in a log written
    // when no line was in the last kLogLineMs.
    std::string show(const char* label, double elapsedSeconds, double totalSeconds, const char* note,
                     std::uint32_t nowMs);
    // Before a message in the middle of the progress: on a console ends the line,
    // in a log writes the last state not yet shown.
    std::string interrupt(std::uint32_t nowMs);
    // At the end: the last state is shown and the line ended.
    std::string end(std::uint32_t nowMs);

private:
    std::string logLine(std::uint32_t nowMs);

    bool console_;
    std::string pending_;    // the last state shown or to be shown
    bool shown_ = true;      // `pending_` is on the screen or in the log
    bool lineOpen_ = false;  // a console line is being rewritten
    std::uint32_t lastLineMs_ = 0;
    bool anyLine_ = false;
};

}  // namespace cli
