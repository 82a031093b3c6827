#include "commands/analyze_options.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "console/exit_codes.h"

#include "measure/sha256.h"

namespace cli {

const CommandHelp& analyzeHelp() {
    static const CommandHelp help{
        "analyze",
        "analyze ...",
        "measure every output-to-input pair against limits",
        "usage: asiochan analyze [--driver NAME] [--pairs O:I,...] [--limits FILE.json]\n"
        "                        [--json FILE] [--junit FILE] [--report FILE.html] [--crosstalk all|one]",
        "Measures every output-to-input pair at once in one take of about fifteen seconds:\n"
        "gain (997 Hz at -20 dBFS), polarity, latency, the frequency response's largest\n"
        "deviation from 997 Hz over the band (20 Hz to the lower of 20 kHz and 0.45 x\n"
        "the rate), THD+N (997 Hz at -1 dBFS), noise unweighted and A-weighted (dBFS,\n"
        "0 dBFS the RMS of a full-scale sine), dynamic range (60 dB minus the A-weighted\n"
        "THD+N of 997 Hz at -60 dBFS) and the crosstalk between every two pairs. A\n"
        "figure below what the take resolves is shown as its floor (<x, or >x for the\n"
        "dynamic range). Each figure is checked against the limits file (without one,\n"
        "the figures are shown and not judged). Exit codes: 0\n"
        "every figure passed, 1 one failed (or the driver refused), 2 bad usage or a bad\n"
        "limits file, 3 the take was not valid (frames dropped, a reset, a stall, or the\n"
        "driver skipped periods in the take and in its one retry): test again on 3.\n",
        {{"--driver", "NAME", "the driver (default: the first installed)"},
         {"--pairs", "O:I,...",
          "output O to input I, each output and input once\n"
          "(default: output i to input i for every channel both have)"},
         {"--limits", "FILE.json", "limits per figure, for every pair or one (see README)"},
         {"--json", "FILE", "writes every figure, its limits and verdict as JSON"},
         {"--junit", "FILE", "writes JUnit XML: a testcase per pair and measurement"},
         {"--report", "FILE.html", "writes a self-contained HTML report with plots"},
         {"--crosstalk", "all|one",
          "all: every output at once, each its own frequency\n"
          "(default); one: one output at a time, the others silent"}}};
    return help;
}

bool parseAnalyze(const Arguments& args, AnalyzeRequest* req) {
    if (!args.positional.empty()) {
        std::fprintf(stderr, "error: analyze takes no file (\"%s\"); use --json, --junit or --report\n",
                     args.positional[0].c_str());
        return false;
    }
    if (const auto text = args.value("--pairs")) {
        std::vector<ChannelPair> pairs;
        std::string error;
        if (!parsePairs(*text, &pairs, &error)) {
            std::fprintf(stderr, "error: bad --pairs \"%s\": %s\n", text->c_str(), error.c_str());
            return false;
        }
        req->pairs = pairs;
    }
    if (const auto text = args.value("--crosstalk")) {
        if (*text != "all" && *text != "one") {
            std::fprintf(stderr, "error: bad --crosstalk \"%s\" (expected all or one)\n", text->c_str());
            return false;
        }
        req->crosstalkOneByOne = *text == "one";
    }
    req->driver = args.value("--driver").value_or("");
    req->limitsPath = args.value("--limits").value_or("");
    req->json = args.value("--json").value_or("");
    req->junit = args.value("--junit").value_or("");
    req->report = args.value("--report").value_or("");
    return true;
}

bool loadLimits(const std::string& path, Limits* limits) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        std::fprintf(stderr, "error: the limits file \"%s\" cannot be read\n", path.c_str());
        return false;
    }
    std::string text;
    char chunk[4096];
    bool tooLarge = false;
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) {
        text.append(chunk, n);
        if (text.size() > (1u << 24)) {
            tooLarge = true;
            break;
        }
    }
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed || tooLarge) {
        std::fprintf(stderr, "error: the limits file \"%s\" %s\n", path.c_str(),
                     tooLarge ? "is larger than 16 MiB" : "cannot be read");
        return false;
    }
    std::string error;
    if (!parseLimits(text, limits, &error)) {
        std::fprintf(stderr, "error: bad limits file \"%s\": %s\n", path.c_str(), error.c_str());
        return false;
    }
    limits->fileSha256 = sha256Hex(text);
    return true;
}

namespace {
// The first two of `channels` whose widths differ, as "inputs 0 and 17 move at
// different widths (2 and 4 bytes a sample)"; empty when they agree.
std::string differentWidths(const char* side, const std::vector<unsigned>& channels, const std::vector<int>& widths) {
    const auto width = [&](unsigned c) { return c < widths.size() ? widths[c] : 0; };
    for (const unsigned c : channels) {
        if (width(c) == 0 || width(c) == width(channels.front()) || width(channels.front()) == 0) continue;
        return std::string(side) + " " + std::to_string(channels.front()) + " and " + std::to_string(c) +
               " move at different widths (" + std::to_string(width(channels.front())) + " and " +
               std::to_string(width(c)) + " bytes a sample): the library's stream carries one width each way, " +
               "so measure them in separate runs (--pairs)";
    }
    return "";
}
}  // namespace

int choosePairs(const AnalyzeRequest& req, const Limits& limits, const DriverChannels& driver,
                std::vector<ChannelPair>* pairs) {
    *pairs = req.pairs.value_or(defaultPairs(driver.outputs, driver.inputs));
    if (pairs->empty()) {
        std::fprintf(stderr, "error: the driver has no output and input to pair\n");
        return kExitUsage;
    }
    std::vector<unsigned> outputs, inputs;
    std::vector<std::string> keys;
    for (const ChannelPair& p : *pairs) {
        if (static_cast<int>(p.output) >= driver.outputs || static_cast<int>(p.input) >= driver.inputs) {
            std::fprintf(stderr, "error: pair %u:%u does not exist (the driver has %d outputs, %d inputs)\n", p.output,
                         p.input, driver.outputs, driver.inputs);
            return kExitUsage;
        }
        outputs.push_back(p.output);
        inputs.push_back(p.input);
        keys.push_back(std::to_string(p.output) + ":" + std::to_string(p.input));
    }
    for (const std::string& problem :
         {differentWidths("inputs", inputs, driver.inputWidths), differentWidths("outputs", outputs, driver.outputWidths)}) {
        if (problem.empty()) continue;
        std::fprintf(stderr, "error: %s\n", problem.c_str());
        return kExitUsage;
    }
    if (const std::string problem = unmeasuredLimitPair(limits, keys); !problem.empty()) {
        std::fprintf(stderr, "error: bad limits file \"%s\": %s\n", req.limitsPath.c_str(), problem.c_str());
        return kExitUsage;
    }
    return kGoOn;
}

int checkOutputFolders(const AnalyzeRequest& req) {
    namespace fs = std::filesystem;
    for (const std::string* path : {&req.json, &req.junit, &req.report}) {
        if (path->empty()) continue;
        std::error_code ec;
        const fs::path file(*path);
        const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
        bool ok = !fs::is_directory(file, ec);
        if (ok) {
            // A name not taken in the folder, made and removed again.
            fs::path probe;
            for (int n = 0; n < 100 && (probe.empty() || fs::exists(probe, ec)); ++n)
                probe = folder / (".asiochan-write-check-" + std::to_string(n) + ".tmp");
            std::FILE* f = fs::exists(probe, ec) ? nullptr : std::fopen(probe.string().c_str(), "wb");
            ok = f != nullptr && std::fclose(f) == 0;
            if (f != nullptr) std::remove(probe.string().c_str());
        }
        if (!ok) {
            std::fprintf(stderr, "error: \"%s\" cannot be written: %s\n", path->c_str(),
                         fs::is_directory(file, ec) ? "it is a folder" : "its folder takes no new file");
            return kExitUsage;
        }
    }
    return kGoOn;
}

}  // namespace cli
