// asiochan.exe: a command-line host built on asiochan.dll's exports only.
#include "commands/commands.h"

int main(int argc, char** argv) { return cli::runCommandLine(argc, argv); }
