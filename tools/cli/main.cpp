// asiochan.exe: a command-line host built on asiochan.dll's exports only.
#include "commands/commands.h"
#include "console/console_events.h"

int main(int argc, char** argv) {
    const int code = cli::runCommandLine(argc, argv);
    // Everything the command held is let go by now: a close or a logoff waiting
    // for it may end the process.
    cli::commandEnded();
    return code;
}
