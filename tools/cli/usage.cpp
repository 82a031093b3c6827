#include <cstdio>

#include "commands.h"

namespace cli {

namespace {
struct Help {
    const char* command;
    const char* text;
};

// Each command's usage; the overview last, for the empty command and any other.
constexpr Help kHelp[] = {
    {"drivers", "usage: asiochan drivers\n\nLists the installed ASIO drivers, numbered.\n"},
    {"info",
     "usage: asiochan info [DRIVER]\n\n"
     "Shows a driver's channel counts, buffer sizes, sample rate, latencies and\n"
     "sample formats. Without DRIVER, the first installed driver.\n"},
    {"play",
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
     "the file was. Warns when the driver skipped periods.\n"},
    {"capture",
     "usage: asiochan capture OUT.wav [--driver NAME] (--channel N | --channels 0,1,2,3)\n"
     "                        [--seconds S] [--play FILE.wav [--play-channels 0,1 | --play-map 0:4]]\n\n"
     "Records input channels into one WAV file in the driver's input format,\n"
     "channel i of the file from the i-th input listed; all inputs start in the\n"
     "same period, so sample k of every channel is the same instant. It records for\n"
     "S seconds (any length), or without --seconds until Ctrl+C, which ends the\n"
     "file cleanly. The samples stream to disk as they come: memory stays at most\n"
     "64 MiB of buffers (8 per input of about half a second) whatever the\n"
     "length. A capture that fits in 4 GiB by its --seconds is a plain WAV file;\n"
     "any other becomes an RF64 file if it passes 4 GiB (a WAV file otherwise).\n"
     "With --play, plays FILE.wav meanwhile (--play-channels and --play-map as\n"
     "play's --channels and --map), starting with the capture in the same period,\n"
     "and checks that the i-th input holds the file channel played on the i-th\n"
     "output listed (a loopback from each output to the input in its place).\n"
     "Progress shows the time recorded, the size written and the frames dropped.\n"
     "When the disk does not keep up, the inputs drop frames: the file has silence\n"
     "in their place, each drop is reported with its time, and the exit code is 1.\n"
     "A full disk or a write error stops the capture (exit code 1), leaving a valid\n"
     "file of what was written.\n"
     "When the driver asks for a reset, restarts the run and captures on into\n"
     "the same file, with the gap of the restart. When the driver skipped periods\n"
     "the file has gaps: it is written, with a warning, and the exit code is 1.\n"},
    {"tone",
     "usage: asiochan tone OUT.wav [--seconds S] [--hz F] [--rate R] [--channels C]\n\n"
     "Writes a 16-bit sine tone (default 2 s of 440 Hz at 48000 Hz, mono) to try\n"
     "the players with; channel c at c+1 times the frequency.\n"},
    {"latency",
     "usage: asiochan latency [--driver NAME] [--out N] [--in M] [--repeat K]\n\n"
     "Measures the round trip from output N to input M (default 0 and 0, which\n"
     "must be connected: a cable, or the driver's loopback): plays a short\n"
     "maximum-length sequence at -6 dBFS K times (default 5) and finds it in\n"
     "the input by cross-correlation. Prints each round trip in frames and ms,\n"
     "their min, median and max, and the driver's reported input + output\n"
     "latency beside them. Capture and playback start in the same period\n"
     "(StartCaptureAndPlayback), so the figure does not depend on when the calls\n"
     "land. Says \"no signal came\n"
     "back\" and exits 1 when the sequence is not found in the input. When the\n"
     "driver skipped periods during a repetition, warns and measures it again.\n"},
    {"monitor",
     "usage: asiochan monitor [--driver NAME] [--channels LIST] [--seconds S]\n"
     "                        [--play FILE.wav --play-channels 0,1]\n\n"
     "Shows the peak and RMS level in dBFS of the inputs in LIST (default all),\n"
     "about ten times a second, from every sample of them (the inputs stream\n"
     "through short queued buffers): on a console one bar per input, redrawn in\n"
     "place; in a file or pipe one line a second. Runs for S seconds or until\n"
     "Ctrl+C. With --play, loops FILE.wav on the given outputs meanwhile. Warns\n"
     "when the driver skipped periods.\n"},
    {"sweep",
     "usage: asiochan sweep [--driver NAME] [--out N] [--in M] [--from HZ] [--to HZ]\n"
     "                      [--seconds S] [--level DBFS] [--csv FILE] [--plot FILE.svg]\n\n"
     "Measures the frequency response and harmonic distortion from output N to\n"
     "input M (default 0 and 0, which must be connected): plays an exponential\n"
     "sine sweep (default 20 Hz to the lower of 20 kHz and 0.45 x the rate, 5 s,\n"
     "-12 dBFS peak; it runs a third of an octave wider, where it fades) while\n"
     "recording, both started in one period, and deconvolves the recording into\n"
     "the linear and the 2nd to 5th harmonic responses. Prints the delay, the\n"
     "peak recorded, the response's range, the corner (3 dB below the lowest\n"
     "frequency's level), the bands within 1 and 3 dB of 1 kHz and the THD at\n"
     "100 Hz and 1 kHz. --csv writes a 1/12-octave table (frequency_hz,\n"
     "response_db, h2_db, h3_db, thd_percent); --plot an SVG of the response\n"
     "and the THD. Says \"no signal came back\" and exits 1 when nothing returns;\n"
     "a sweep during which the driver skipped periods is made again once.\n"},
    {"",
     "asiochan - channel-oriented access to ASIO audio interfaces\n\n"
     "usage: asiochan <command> [options]\n\n"
     "commands:\n"
     "  drivers                  list the installed ASIO drivers\n"
     "  info [DRIVER]            show a driver's capabilities\n"
     "  play FILE.wav ...        play a WAV file to output channels\n"
     "  capture OUT.wav ...      record input channels to a WAV file\n"
     "  tone OUT.wav ...         write a test tone WAV file\n"
     "  latency ...              measure the round trip from an output to an input\n"
     "  monitor ...              show the live levels of inputs\n"
     "  sweep ...                measure frequency response and distortion\n\n"
     "'asiochan <command> --help' tells more. Without --driver, the first\n"
     "installed driver is used.\n"},
};
}  // namespace

void printUsage(const std::string& command) {
    const Help* help = &kHelp[sizeof kHelp / sizeof kHelp[0] - 1];
    for (const Help& h : kHelp)
        if (command == h.command) help = &h;
    std::fputs(help->text, stdout);
}

}  // namespace cli
