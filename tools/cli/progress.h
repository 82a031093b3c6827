// The one-line progress display of the long-running commands.
#pragma once

namespace cli {

// Rewrites the current console line: "<label> 00:03.2 / 00:10.0".
void showProgress(const char* label, double elapsedSeconds, double totalSeconds);
// Ends the progress line.
void endProgress();

}  // namespace cli
