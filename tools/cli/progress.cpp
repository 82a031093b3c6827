#include "progress.h"

#include <cstdio>

namespace cli {

namespace {
void clock(char* out, std::size_t size, double seconds) {
    if (seconds < 0) seconds = 0;
    const int minutes = static_cast<int>(seconds / 60);
    std::snprintf(out, size, "%02d:%04.1f", minutes, seconds - minutes * 60.0);
}
}  // namespace

void showProgress(const char* label, double elapsedSeconds, double totalSeconds) {
    char elapsed[32], total[32];
    clock(elapsed, sizeof elapsed, elapsedSeconds);
    clock(total, sizeof total, totalSeconds);
    std::printf("\r%s %s / %s", label, elapsed, total);
    std::fflush(stdout);
}

void endProgress() {
    std::printf("\n");
    std::fflush(stdout);
}

}  // namespace cli
