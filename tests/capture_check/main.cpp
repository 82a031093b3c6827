// capture_check FILE INPUTS: checks a capture of the simulated driver's inputs
// (INPUTS as the capture command took them, e.g. 0,1,2 or 0-63).
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "capture_check/capture_check.h"

namespace {
// "0,1,5-7" -> 0 1 5 6 7; false on anything else.
bool parseInputs(const char* text, std::vector<std::int32_t>* inputs) {
    for (const char* p = text;;) {
        char* end = nullptr;
        const long first = std::strtol(p, &end, 10);
        long last = first;
        if (end == p || first < 0) return false;
        if (*end == '-') {
            p = end + 1;
            last = std::strtol(p, &end, 10);
            if (end == p || last < first || last - first > 4096) return false;
        }
        for (long c = first; c <= last; ++c) inputs->push_back(static_cast<std::int32_t>(c));
        if (*end == '\0') return true;
        if (*end != ',') return false;
        p = end + 1;
    }
}
}  // namespace

int main(int argc, char** argv) {
    std::vector<std::int32_t> inputs;
    if (argc != 3 || !parseInputs(argv[2], &inputs)) {
        std::fprintf(stderr, "usage: capture_check FILE.wav INPUTS (as 0,1,2 or 0-63)\n");
        return 2;
    }
    return asiochan::capture_check::checkCapture(argv[1], inputs, stdout);
}
