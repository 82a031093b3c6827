#include <cstdio>

#include "commands.h"

namespace cli {

void printUsage(const std::string& command) {
    if (command == "drivers") {
        std::printf("usage: asiochan drivers\n\nLists the installed ASIO drivers, numbered.\n");
    } else if (command == "info") {
        std::printf(
            "usage: asiochan info [DRIVER]\n\n"
            "Shows a driver's channel counts, buffer sizes, sample rate, latencies and\n"
            "sample formats. Without DRIVER, the first installed driver.\n");
    } else if (command == "play") {
        std::printf(
            "usage: asiochan play FILE.wav [--driver NAME] [--channels 0,2 | --channel N]\n"
            "                    [--volume V] [--loop]\n\n"
            "Plays the first channel of a PCM WAV file (8, 16 or 24 bits) on one output\n"
            "channel (default 0) or on several (0..31), at a volume (default 1.0), once or\n"
            "in a loop, until it ends or Ctrl+C stops it. When the driver asks for a\n"
            "reset, restarts the run and plays on from where the file was. Warns when\n"
            "the driver skipped periods.\n");
    } else if (command == "capture") {
        std::printf(
            "usage: asiochan capture OUT.wav [--driver NAME] --channel N --seconds S\n"
            "                        [--play FILE.wav --play-channels 0,1]\n\n"
            "Records input channel N for S seconds into a mono WAV file in the driver's\n"
            "input format. With --play, plays FILE.wav on the given outputs meanwhile and\n"
            "checks that the capture holds what was played (for loopback set-ups).\n"
            "When the driver asks for a reset, restarts the run and captures on into\n"
            "the same file, with the gap of the restart. When the driver skipped periods\n"
            "the file has gaps: it is written, with a warning, and the exit code is 1.\n");
    } else if (command == "tone") {
        std::printf(
            "usage: asiochan tone OUT.wav [--seconds S] [--hz F] [--rate R]\n\n"
            "Writes a mono 16-bit sine tone (default 2 s of 440 Hz at 48000 Hz) to try\n"
            "the players with.\n");
    } else if (command == "latency") {
        std::printf(
            "usage: asiochan latency [--driver NAME] [--out N] [--in M] [--repeat K]\n\n"
            "Measures the round trip from output N to input M (default 0 and 0, which\n"
            "must be connected: a cable, or the driver's loopback): plays a short\n"
            "maximum-length sequence at -6 dBFS K times (default 5) and finds it in\n"
            "the input by cross-correlation. Prints each round trip in frames and ms,\n"
            "their min, median and max, and the driver's reported input + output\n"
            "latency beside them. Capture and playback start in the same period, so the\n"
            "figure does not depend on when the calls land. Says \"no signal came\n"
            "back\" and exits 1 when the sequence is not found in the input. When the\n"
            "driver skipped periods during a repetition, warns and measures it again.\n");
    } else if (command == "monitor") {
        std::printf(
            "usage: asiochan monitor [--driver NAME] [--channels LIST] [--seconds S]\n"
            "                        [--play FILE.wav --play-channels 0,1]\n\n"
            "Shows the peak and RMS level in dBFS of the inputs in LIST (default all),\n"
            "about ten times a second: on a console one bar per input, redrawn in\n"
            "place; in a file or pipe one line a second. Runs for S seconds or until\n"
            "Ctrl+C. With --play, loops FILE.wav on the given outputs meanwhile. Warns\n"
            "when the driver skipped periods.\n");
    } else {
        std::printf(
            "asiochan - channel-oriented access to ASIO audio interfaces\n\n"
            "usage: asiochan <command> [options]\n\n"
            "commands:\n"
            "  drivers                  list the installed ASIO drivers\n"
            "  info [DRIVER]            show a driver's capabilities\n"
            "  play FILE.wav ...        play a WAV file to output channels\n"
            "  capture OUT.wav ...      record an input channel to a WAV file\n"
            "  tone OUT.wav ...         write a test tone WAV file\n"
            "  latency ...              measure the round trip from an output to an input\n"
            "  monitor ...              show the live levels of inputs\n\n"
            "'asiochan <command> --help' tells more. Without --driver, the first\n"
            "installed driver is used.\n");
    }
}

}  // namespace cli
