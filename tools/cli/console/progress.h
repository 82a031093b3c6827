// The progress display of the long-running commands: on a console one line,
// rewritten in place; otherwise (a CI log, a file) at most one plain line a second.
#pragma once

namespace cli {

// Shows "<label> 00:03.2 / 00:10.0", without " / ..." for a total of 0 or less,
// and ", <note>" after it when a note is given.
void showProgress(const char* label, double elapsedSeconds, double totalSeconds, const char* note = nullptr);
// Ends the progress display: its last state is shown.
void endProgress();
// Before a message in the middle of the progress: on a console ends the line, in
// a log writes the last state not yet shown.
void breakProgress();

}  // namespace cli
