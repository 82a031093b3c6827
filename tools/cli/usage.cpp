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
            "usage: asiochan play FILE.wav [--driver NAME] [--channel N | --channels 0,2 | --map 0:4,1:5]\n"
            "                    [--volume V] [--loop]\n\n"
            "Plays a WAV or RF64 file (8, 16 or 24 bits, or 32-bit integer or float) at a\n"
            "volume (default 1.0), once or in a loop, until it ends or Ctrl+C stops it.\n"
            "  --channel N        the file's first channel on output N (default 0)\n"
            "  --channels LIST    file channel i on the i-th output listed, in that order\n"
            "                     (the file has as many channels as LIST); a mono file\n"
            "                     on every output listed; anything else is refused\n"
            "  --map F:O,...      file channel F on output O, for any other layout\n"
            "When the driver asks for a reset, restarts the run and plays on from where\n"
            "the file was. Warns when the driver skipped periods.\n");
    } else if (command == "capture") {
        std::printf(
            "usage: asiochan capture OUT.wav [--driver NAME] (--channel N | --channels 0,1,2,3)\n"
            "                        --seconds S [--play FILE.wav [--play-channels 0,1 | --play-map 0:4]]\n\n"
            "Records input channels for S seconds into one WAV file in the driver's input\n"
            "format, channel i of the file from the i-th input listed; all inputs start in\n"
            "the same period, so sample k of every channel is the same instant. A capture\n"
            "that would not fit in memory or in one WAV file is refused, naming the longest\n"
            "that fits. With --play, plays FILE.wav meanwhile (--play-channels and\n"
            "--play-map as play's --channels and --map) and checks that the i-th input\n"
            "holds the file channel played on the i-th output listed (a loopback from\n"
            "each output to the input in its place).\n"
            "When the driver asks for a reset, restarts the run and captures on into\n"
            "the same file, with the gap of the restart. When the driver skipped periods\n"
            "the file has gaps: it is written, with a warning, and the exit code is 1.\n");
    } else if (command == "tone") {
        std::printf(
            "usage: asiochan tone OUT.wav [--seconds S] [--hz F] [--rate R] [--channels C]\n\n"
            "Writes a 16-bit sine tone (default 2 s of 440 Hz at 48000 Hz, mono) to try\n"
            "the players with; channel c at c+1 times the frequency.\n");
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
            "  capture OUT.wav ...      record input channels to a WAV file\n"
            "  tone OUT.wav ...         write a test tone WAV file\n"
            "  latency ...              measure the round trip from an output to an input\n"
            "  monitor ...              show the live levels of inputs\n\n"
            "'asiochan <command> --help' tells more. Without --driver, the first\n"
            "installed driver is used.\n");
    }
}

}  // namespace cli
