// Entry point of the Windows test host: runs one group of tests, named on the
// command line, or all of them; or, with "pattern_runs FILE.wav INPUTS ALIGNMENT", the
// command-line tests' check of a capture of the simulated driver's input; or, with
// "played_files BITS FILE.wav ...", the check of WAV files written by other tools;
// or, with "end_session logoff|kill SECONDS", the end of a running asiochan.exe.
#include <cstdlib>
#include <cstring>

#include "wine/end_session.h"
#include "wine/pattern_runs.h"
#include "wine/played_files.h"
#include "wine/wine_check.h"

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "pattern_runs") == 0)
        return printPatternRuns(argv[2], argv[3], static_cast<std::uint32_t>(std::atoi(argv[4])));
    if (argc == 4 && std::strcmp(argv[1], "end_session") == 0) return endSession(argv[2], std::atof(argv[3]));
    if (argc > 1 && std::strcmp(argv[1], "played_files") == 0) return checkPlayedFiles(argc - 2, argv + 2);
    return winecheck::runGroup(argc > 1 ? argv[1] : nullptr);
}
