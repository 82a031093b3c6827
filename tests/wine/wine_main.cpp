// Entry point of the Windows test host: runs one group of tests, named on the
// command line, or all of them; or, with "pattern_runs FILE.wav CHANNEL ALIGNMENT", the
// command-line tests' check of a capture of the simulated driver's input.
#include <cstdlib>
#include <cstring>

#include "wine/pattern_runs.h"
#include "wine/wine_check.h"

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "pattern_runs") == 0)
        return printPatternRuns(argv[2], std::atoi(argv[3]), static_cast<std::uint32_t>(std::atoi(argv[4])));
    return winecheck::runGroup(argc > 1 ? argv[1] : nullptr);
}
