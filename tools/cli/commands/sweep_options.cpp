#include "commands/sweep_options.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

namespace cli {

const CommandHelp& sweepHelp() {
    static const CommandHelp help{
        "sweep",
        "sweep ...",
        "measure frequency response and distortion",
        "usage: asiochan sweep [--driver NAME] [--out N] [--in M] [--from HZ] [--to HZ]\n"
        "                      [--seconds S] [--level DBFS] [--csv FILE] [--plot FILE.svg]",
        "Measures the frequency response and harmonic distortion from output N to\n"
        "input M (which must be connected): plays an exponential sine sweep (it starts\n"
        "an octave and a half below the band and ends a third of an octave above it,\n"
        "fading in and out there) while recording, both started in one period, and\n"
        "deconvolves the recording into the linear and the 2nd to 5th harmonic\n"
        "responses. Prints the delay, the peak recorded, the response's range, the\n"
        "corner (3 dB below the lowest frequency's level), the bands within 1 and 3 dB\n"
        "of 1 kHz, the THD (2nd to 5th harmonic) at 100 Hz and 1 kHz and its highest,\n"
        "and up to which frequency distortion is measured: a tenth of the rate (above it\n"
        "a harmonic folds back) and a fifth of the band's top for the THD. Says \"no\n"
        "signal came back\" and exits 1 when nothing returns; a sweep during which the\n"
        "driver skipped periods is made again once.\n",
        {{"--driver", "NAME", "the driver (default: the first installed)"},
         {"--out", "N", "the output played (default 0)"},
         {"--in", "M", "the input that hears it (default 0)"},
         {"--from", "HZ", "the lowest frequency reported (default 20)"},
         {"--to", "HZ", "the highest (default the lower of 20000 and 0.45 x the rate)"},
         {"--seconds", "S", "the sweep's length, 0.5 to 60 (default 5)"},
         {"--level", "DBFS", "its peak level (default -12)"},
         {"--csv", "FILE", "writes a 1/12-octave table: frequency_hz, response_db,\n"
                           "h2_db, h3_db, thd_2_5_percent (empty where not measured)"},
         {"--plot", "FILE.svg", "writes an SVG plot of the response and the THD"}}};
    return help;
}

bool parseSweep(const Arguments& args, SweepRequest* req) {
    if (!args.positional.empty()) {
        std::fprintf(stderr, "error: sweep takes no file (\"%s\"); use --csv or --plot\n", args.positional[0].c_str());
        return false;
    }
    for (const auto& [name, value] : {std::pair{"--out", &req->out}, std::pair{"--in", &req->in}}) {
        const auto text = args.value(name);
        if (text && (!parseUnsigned(*text, value) || *value > 63)) {
            std::fprintf(stderr, "error: bad %s \"%s\" (expected 0..63)\n", name, text->c_str());
            return false;
        }
    }
    double to = 0.0;
    const struct {
        const char* name;
        double* value;
        double least, most;
    } numbers[] = {{"--from", &req->from, 1, 1e6}, {"--to", &to, 1, 1e6}, {"--seconds", &req->seconds, 0.5, 60},
                   {"--level", &req->levelDb, -60, 0}};
    for (const auto& n : numbers) {
        const auto text = args.value(n.name);
        if (text && (!parseDouble(*text, n.value) || !(*n.value >= n.least && *n.value <= n.most))) {
            std::fprintf(stderr, "error: bad %s \"%s\" (expected %g..%g)\n", n.name, text->c_str(), n.least, n.most);
            return false;
        }
    }
    if (args.value("--to")) req->to = to;
    req->driver = args.value("--driver").value_or("");
    req->csv = args.value("--csv").value_or("");
    req->plot = args.value("--plot").value_or("");
    return true;
}

SweepPlan sweepPlanFor(const SweepRequest& req, double rate) {
    return SweepPlan{rate, req.from, req.to.value_or(std::min(20000.0, 0.45 * rate)), req.seconds,
                     std::pow(10.0, req.levelDb / 20.0)};
}

}  // namespace cli
