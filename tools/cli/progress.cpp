#include "progress.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace cli {

namespace {
constexpr DWORD kLogLineMs = 1000;

struct Display {
    bool console = false;
    char pending[160] = {};  // the last state shown or to be shown
    bool shown = true;       // `pending` is on the screen or in the log
    bool lineOpen = false;   // a console line is being rewritten
    DWORD lastLine = 0;
    bool anyLine = false;
};

Display& display() {
    static Display d = [] {
        Display made;
        DWORD mode = 0;
        made.console = GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
        return made;
    }();
    return d;
}

void clock(char* out, std::size_t size, double seconds) {
    if (seconds < 0) seconds = 0;
    const int minutes = static_cast<int>(seconds / 60);
    std::snprintf(out, size, "%02d:%04.1f", minutes, seconds - minutes * 60.0);
}

void writeLogLine(Display& d) {
    std::printf("%s\n", d.pending);
    std::fflush(stdout);
    d.shown = true;
    d.anyLine = true;
    d.lastLine = GetTickCount();
}
}  // namespace

void showProgress(const char* label, double elapsedSeconds, double totalSeconds, const char* note) {
    Display& d = display();
    char elapsed[32], total[40] = "";
    clock(elapsed, sizeof elapsed, elapsedSeconds);
    if (totalSeconds > 0) {
        std::strcpy(total, " / ");
        clock(total + 3, sizeof total - 3, totalSeconds);
    }
    std::snprintf(d.pending, sizeof d.pending, "%s %s%s%s%s", label, elapsed, total, note ? ", " : "",
                  note ? note : "");
    d.shown = false;
    if (d.console) {
        std::printf("\r%s", d.pending);
        std::fflush(stdout);
        d.shown = true;
        d.lineOpen = true;
    } else if (!d.anyLine || GetTickCount() - d.lastLine >= kLogLineMs) {
        writeLogLine(d);
    }
}

void breakProgress() {
    Display& d = display();
    if (d.console && d.lineOpen) {
        std::printf("\n");
        std::fflush(stdout);
        d.lineOpen = false;
    } else if (!d.console && !d.shown) {
        writeLogLine(d);
    }
}

void endProgress() {
    Display& d = display();
    if (d.console) {
        std::printf("\n");
        std::fflush(stdout);
        d.lineOpen = false;
    } else if (!d.shown) {
        writeLogLine(d);
    }
}

}  // namespace cli
