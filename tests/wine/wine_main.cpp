// Entry point of the Windows test host: runs one group of tests, named on the
// command line, or all of them.
#include "wine/wine_check.h"

int main(int argc, char** argv) { return winecheck::runGroup(argc > 1 ? argv[1] : nullptr); }
