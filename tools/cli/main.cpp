// asiochan.exe: a command-line host built on asiochan.dll's exports only.
#include <cstdio>

#include "commands.h"
#include "session.h"

int main(int argc, char** argv) {
    std::string error;
    const cli::Arguments args =
        cli::parseArguments(argc, argv,
                            {"--driver", "--channels", "--channel", "--map", "--volume", "--seconds", "--play",
                             "--play-channels", "--play-map", "--hz", "--rate", "--out", "--in", "--repeat", "--from", "--to", "--level", "--csv", "--plot"},
                            &error);
    if (!error.empty()) {
        std::fprintf(stderr, "error: %s\n", error.c_str());
        return cli::kExitUsage;
    }
    if (args.command.empty()) {
        cli::printUsage("");
        return args.has("--help") ? cli::kExitOk : cli::kExitUsage;
    }
    if (args.command == "help") {
        cli::printUsage(args.positional.empty() ? "" : args.positional[0]);
        return cli::kExitOk;
    }
    if (args.command == "drivers") return cli::runDrivers(args);
    if (args.command == "info") return cli::runInfo(args);
    if (args.command == "play") return cli::runPlay(args);
    if (args.command == "capture") return cli::runCapture(args);
    if (args.command == "tone") return cli::runTone(args);
    if (args.command == "latency") return cli::runLatency(args);
    if (args.command == "monitor") return cli::runMonitor(args);
    if (args.command == "sweep") return cli::runSweep(args);
    std::fprintf(stderr, "error: unknown command \"%s\"\n\n", args.command.c_str());
    cli::printUsage("");
    return cli::kExitUsage;
}
