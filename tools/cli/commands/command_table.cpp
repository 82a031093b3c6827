// The one table of asiochan.exe's commands: `asiochan help`, `asiochan COMMAND
// --help` and the check of each command's options all read it.
#include <cstdio>

#include "commands/commands.h"
#include "commands/analyze_options.h"
#include "commands/sweep_options.h"
#include "console/exit_codes.h"

namespace cli {

namespace {
constexpr OptionHelp kDriver{"--driver", "NAME", "the driver (default: the first installed)"};

Command drivers() {
    return {{"drivers",
             "drivers",
             "list the installed ASIO drivers",
             "usage: asiochan drivers",
             "Lists the installed ASIO drivers, numbered.\n",
             {}},
            runDrivers};
}

Command info() {
    return {{"info",
             "info [DRIVER]",
             "show a driver's capabilities",
             "usage: asiochan info [DRIVER]",
             "Shows a driver's channel counts, buffer sizes, sample rate, latencies and\n"
             "sample formats. Without DRIVER, the first installed driver.\n",
             {kDriver}},
            runInfo};
}

Command play() {
    return {{"play",
             "play FILE.wav ...",
             "play a WAV file to output channels",
             "usage: asiochan play FILE.wav [--driver NAME] [--channel N | --channels 0,2 | --map 0:4,1:5]\n"
             "                    [--volume V] [--loop]",
             "Plays a WAV or RF64 file (8, 16 or 24 bits, or 32-bit integer or float) at a\n"
             "volume, once or in a loop, until it ends or Ctrl+C stops it.\n"
             "When the driver asks for a reset, restarts the run and plays on from where\n"
             "the file was. Warns when the driver skipped periods.\n",
             {kDriver,
              {"--channel", "N", "the file's first channel on output N (default 0)"},
              {"--channels", "LIST",
               "file channel i on the i-th output listed, in that order\n"
               "(the file has as many channels as LIST); a mono file\n"
               "on every output listed; anything else is refused"},
              {"--map", "F:O,...", "file channel F on output O, for any other layout"},
              {"--volume", "V", "the volume (default 1.0)"},
              {"--loop", nullptr, "plays the file again and again"}}},
            runPlay};
}

Command capture() {
    return {{"capture",
             "capture OUT.wav ...",
             "record input channels to a WAV file",
             "usage: asiochan capture OUT.wav [--driver NAME] (--channel N | --channels 0,1,2,3)\n"
             "                        [--seconds S] [--play FILE.wav [--play-channels 0,1 | --play-map 0:4]\n"
             "                        [--check-loopback]]",
             "Records input channels into one WAV file in the driver's input format,\n"
             "at its true level (a 24-bit sample in a 32-bit word fills the word's top\n"
             "bits): 16-bit or float samples on one or two channels in the plain format,\n"
             "anything else in the extensible format; float with a fact chunk.\n"
             "channel i of the file from the i-th input listed; all inputs start in the\n"
             "same period, so sample k of every channel is the same instant. It records for\n"
             "S seconds (any length), or without --seconds until Ctrl+C, which ends the\n"
             "file cleanly. The samples stream to disk as they come: memory stays the\n"
             "library's ring of about 3 s (at most 64 MiB) and 2.5 s of blocks (at most\n"
             "32 MiB) on their way to the disk, whatever the length. A capture that fits in 4 GiB by its --seconds is a plain WAV file;\n"
             "any other becomes an RF64 file if it passes 4 GiB (a WAV file otherwise).\n"
             "With --play, plays FILE.wav meanwhile, starting with the capture in the same\n"
             "period, and compares the i-th input with the file channel played on the\n"
             "i-th output listed (a loopback from each output to the input in its place):\n"
             "a mismatch is reported, and with --check-loopback it is a failure (exit\n"
             "code 1); without it the exit code speaks of the capture alone.\n"
             "Progress shows the time recorded, the size written and the frames dropped.\n"
             "When the disk does not keep up, the inputs drop frames: the file has silence\n"
             "in their place, each drop is reported with its time, and the exit code is 1.\n"
             "A full disk or a write error stops the capture (exit code 1), leaving a valid\n"
             "file of what was written.\n"
             "When the driver asks for a reset, restarts the run and captures on into\n"
             "the same file, with the gap of the restart. When it announces a new sample\n"
             "rate, ends the file there (a WAV file holds one rate), exit code 1. Closing\n"
             "the console, logging off or shutting down ends the file cleanly too. When\n"
             "the driver skipped periods the file has gaps: it is written, with a\n"
             "warning, and the exit code is 1.\n",
             {kDriver,
              {"--channel", "N", "records input N"},
              {"--channels", "LIST", "records the inputs listed, file channel i from the i-th"},
              {"--seconds", "S", "the length (default: until Ctrl+C)"},
              {"--play", "FILE.wav", "plays FILE.wav meanwhile"},
              {"--play-channels", "LIST", "the outputs it plays on, as play's --channels (default 0)"},
              {"--play-map", "F:O,...", "file channel F on output O, as play's --map"},
              {"--check-loopback", nullptr, "a capture that does not match the played file fails"}}},
            runCapture};
}

Command tone() {
    return {{"tone",
             "tone OUT.wav ...",
             "write a test tone WAV file",
             "usage: asiochan tone OUT.wav [--seconds S] [--hz F] [--rate R] [--channels C]",
             "Writes a 16-bit sine tone to try the players with; channel c at c+1 times\n"
             "the frequency.\n",
             {{"--seconds", "S", "the length (default 2)"},
              {"--hz", "F", "the frequency (default 440)"},
              {"--rate", "R", "the sample rate (default 48000)"},
              {"--channels", "C", "the number of channels (default 1)"}}},
            runTone};
}

Command latency() {
    return {{"latency",
             "latency ...",
             "measure the round trip from an output to an input",
             "usage: asiochan latency [--driver NAME] [--out N] [--in M] [--repeat K]",
             "Measures the round trip from output N to input M (which must be connected:\n"
             "a cable, or the driver's loopback): plays a short maximum-length sequence at\n"
             "-6 dBFS K times and finds it in the input by cross-correlation. Prints each\n"
             "round trip in frames and ms, their min, median and max, and the driver's\n"
             "reported input + output latency beside them. The sequence plays from the\n"
             "stream's first frame while the input is recorded from that same frame\n"
             "(PlayAndRecord), so the figure does not depend on when the calls land. Says \"no signal came back\" and exits 1 when the\n"
             "sequence is not found in the input. When the driver skipped periods during\n"
             "a repetition, warns and measures it again.\n",
             {kDriver,
              {"--out", "N", "the output played (default 0)"},
              {"--in", "M", "the input that hears it (default 0)"},
              {"--repeat", "K", "how many round trips to measure (default 5)"}}},
            runLatency};
}

Command monitor() {
    return {{"monitor",
             "monitor ...",
             "show the live levels of inputs",
             "usage: asiochan monitor [--driver NAME] [--channels LIST] [--seconds S]\n"
             "                        [--play FILE.wav --play-channels 0,1]",
             "Shows the peak and RMS level in dBFS of the inputs, about ten times a second,\n"
             "from every sample of them (the inputs come through the library's stream):\n"
             "on a console one bar per input, redrawn in place; in a file or pipe one line\n"
             "a second. Runs until the time is up or Ctrl+C. Warns when the driver\n"
             "skipped periods.\n",
             {kDriver,
              {"--channels", "LIST", "the inputs shown (default all)"},
              {"--seconds", "S", "the time it runs (default: until Ctrl+C)"},
              {"--play", "FILE.wav", "loops FILE.wav meanwhile"},
              {"--play-channels", "LIST", "the outputs it loops on"}}},
            runMonitor};
}

Command sweep() { return {sweepHelp(), runSweep}; }

Command analyze() { return {analyzeHelp(), runAnalyze}; }

std::vector<const CommandHelp*> helps() {
    std::vector<const CommandHelp*> all;
    for (const Command& command : commandTable()) all.push_back(&command.help);
    return all;
}

const Command* findCommand(const std::string& name) {
    for (const Command& command : commandTable())
        if (name == command.help.name) return &command;
    return nullptr;
}
}  // namespace

const std::vector<Command>& commandTable() {
    static const std::vector<Command> table{drivers(), info(),    play(),  capture(), tone(),
                                            latency(), monitor(), sweep(), analyze()};
    return table;
}

int runCommandLine(int argc, char** argv) {
    std::string error;
    const Arguments args = parseArguments(argc, argv, valueOptions(helps()), &error);
    if (!error.empty()) {
        std::fprintf(stderr, "error: %s\n", error.c_str());
        return kExitUsage;
    }
    if (args.command.empty() || args.command == "help") {
        const Command* asked = args.positional.empty() ? nullptr : findCommand(args.positional[0]);
        if (asked)
            printCommandHelp(asked->help, stdout);
        else
            printOverview(helps(), stdout);
        return args.command.empty() && !args.has("--help") ? kExitUsage : kExitOk;
    }
    const Command* command = findCommand(args.command);
    if (!command) {
        std::fprintf(stderr, "error: unknown command \"%s\"\n\n", args.command.c_str());
        printOverview(helps(), stdout);
        return kExitUsage;
    }
    if (const std::string unknown = unknownOption(args, command->help); !unknown.empty()) {
        std::fprintf(stderr, "error: unknown option %s for %s\n\n", unknown.c_str(), command->help.name);
        printCommandHelp(command->help, stderr);
        return kExitUsage;
    }
    if (args.has("--help")) {
        printCommandHelp(command->help, stdout);
        return kExitOk;
    }
    return command->run(args);
}

}  // namespace cli
