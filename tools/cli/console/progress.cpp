#include "console/progress.h"

#include <windows.h>

#include <cstdio>
#include <string>

#include "console/progress_line.h"

namespace cli {

namespace {
ProgressLine& line() {
    static ProgressLine made = [] {
        DWORD mode = 0;
        return ProgressLine(GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0);
    }();
    return made;
}

void write(const std::string& text) {
    if (text.empty()) return;
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
}
}  // namespace

void showProgress(const char* label, double elapsedSeconds, double totalSeconds, const char* note) {
    write(line().show(label, elapsedSeconds, totalSeconds, note, GetTickCount()));
}

void breakProgress() { write(line().interrupt(GetTickCount())); }

void endProgress() { write(line().end(GetTickCount())); }

}  // namespace cli
