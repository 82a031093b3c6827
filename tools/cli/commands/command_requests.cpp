#include "commands/command_requests.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

namespace cli {

namespace {
bool parseInputs(const Arguments& args, CaptureRequest* req) {
    const auto channel = args.value("--channel");
    const auto channels = args.value("--channels");
    unsigned one = 0;
    if (channel && channels) {
        std::fprintf(stderr, "error: give --channel or --channels, not both\n");
        return false;
    }
    if (channel && !parseUnsigned(*channel, &one)) {
        std::fprintf(stderr, "error: bad channel \"%s\"\n", channel->c_str());
        return false;
    }
    if (channel) req->inputs = {one};
    if (channels && !parseChannelList(*channels, &req->inputs)) {
        std::fprintf(stderr, "error: bad channel list \"%s\" (expected e.g. 0,1,2,3)\n", channels->c_str());
        return false;
    }
    if (req->inputs.empty()) {
        std::fprintf(stderr, "error: capture needs --channel N or --channels LIST (input channel numbers)\n");
        return false;
    }
    for (std::size_t i = 0; i < req->inputs.size(); ++i) {
        if (std::find(req->inputs.begin(), req->inputs.begin() + static_cast<std::ptrdiff_t>(i), req->inputs[i]) !=
            req->inputs.begin() + static_cast<std::ptrdiff_t>(i)) {
            std::fprintf(stderr, "error: input channel %u is named twice\n", req->inputs[i]);
            return false;
        }
    }
    return true;
}
}  // namespace

bool needsOption(const Arguments& args, const char* option, const char* needed) {
    if (!args.has(option) || args.has(needed)) return true;
    std::fprintf(stderr, "error: %s needs %s\n", option, needed);
    return false;
}

bool parseInfo(const Arguments& args, InfoRequest* req) {
    req->driver = args.value("--driver").value_or("");
    if (args.positional.size() > 1) {
        std::fprintf(stderr, "error: info takes one DRIVER at most\n");
        return false;
    }
    if (!args.positional.empty()) req->driver = args.positional[0];
    return true;
}

bool parsePlay(const Arguments& args, PlayRequest* req) {
    if (args.positional.size() != 1) {
        std::fprintf(stderr, "error: play needs exactly one FILE.wav\n");
        return false;
    }
    req->file = args.positional[0];
    req->driver = args.value("--driver").value_or("");
    if (int(args.has("--channels")) + int(args.has("--channel")) + int(args.has("--map")) > 1) {
        std::fprintf(stderr, "error: give one of --channels, --channel and --map\n");
        return false;
    }
    if (auto v = args.value("--channels")) {
        req->single = false;
        if (!parseChannelList(*v, &req->channels)) {
            std::fprintf(stderr, "error: bad channel list \"%s\" (expected e.g. 0,2)\n", v->c_str());
            return false;
        }
    }
    if (auto v = args.value("--channel")) {
        unsigned channel = 0;
        if (!parseUnsigned(*v, &channel)) {
            std::fprintf(stderr, "error: bad channel \"%s\"\n", v->c_str());
            return false;
        }
        req->channels = {channel};
    }
    if (auto v = args.value("--map")) {
        req->single = false;
        req->map = *v;
    }
    if (auto v = args.value("--volume")) {
        if (!parseDouble(*v, &req->volume) || req->volume < 0) {
            std::fprintf(stderr, "error: bad volume \"%s\" (expected a number of 0 or more)\n", v->c_str());
            return false;
        }
    }
    req->loop = args.has("--loop");
    return true;
}

bool parseCapture(const Arguments& args, CaptureRequest* req) {
    if (args.positional.size() != 1) {
        std::fprintf(stderr, "error: capture needs exactly one OUT.wav\n");
        return false;
    }
    req->out = args.positional[0];
    req->driver = args.value("--driver").value_or("");
    if (!parseInputs(args, req)) return false;
    if (!needsOption(args, "--play-channels", "--play") || !needsOption(args, "--play-map", "--play")) return false;
    if (auto seconds = args.value("--seconds");
        seconds && (!parseDouble(*seconds, &req->seconds) || !(req->seconds > 0) || !std::isfinite(req->seconds))) {
        std::fprintf(stderr, "error: bad --seconds \"%s\" (a length in seconds, more than 0)\n", seconds->c_str());
        return false;
    }
    if (!needsOption(args, "--check-loopback", "--play")) return false;
    if (auto file = args.value("--play")) {
        req->playFile = *file;
        req->checkLoopback = args.has("--check-loopback");
        if (args.has("--play-channels") && args.has("--play-map")) {
            std::fprintf(stderr, "error: give --play-channels or --play-map, not both\n");
            return false;
        }
        req->playMap = args.value("--play-map").value_or("");
        const std::string list = args.value("--play-channels").value_or("0");
        if (req->playMap.empty() && !parseChannelList(list, &req->playChannels)) {
            std::fprintf(stderr, "error: bad channel list \"%s\"\n", list.c_str());
            return false;
        }
    }
    return true;
}

bool parseTone(const Arguments& args, ToneRequest* req) {
    if (args.positional.size() != 1) {
        std::fprintf(stderr, "error: tone needs exactly one OUT.wav\n");
        return false;
    }
    req->out = args.positional[0];
    const auto seconds = args.value("--seconds"), hz = args.value("--hz"), rate = args.value("--rate"),
               channels = args.value("--channels");
    if ((seconds && (!parseDouble(*seconds, &req->seconds) || req->seconds <= 0 || req->seconds > 600)) ||
        (hz && (!parseDouble(*hz, &req->hz) || req->hz <= 0)) ||
        (rate && (!parseDouble(*rate, &req->rate) || req->rate < 1000 || req->rate > 384000)) ||
        (channels && (!parseUnsigned(*channels, &req->channels) || req->channels < 1 || req->channels > 8))) {
        std::fprintf(stderr, "error: bad --seconds (0..600), --hz (>0), --rate (1000..384000) or --channels (1..8)\n");
        return false;
    }
    return true;
}

bool parseLatency(const Arguments& args, LatencyRequest* req) {
    if (!args.positional.empty()) {
        std::fprintf(stderr, "error: latency takes no file (\"%s\")\n", args.positional[0].c_str());
        return false;
    }
    req->driver = args.value("--driver").value_or("");
    const struct {
        const char* name;
        unsigned* value;
        unsigned least, most;
    } numbers[] = {{"--out", &req->out, 0, 63}, {"--in", &req->in, 0, 63}, {"--repeat", &req->repeat, 1, 100}};
    for (const auto& n : numbers) {
        const auto text = args.value(n.name);
        if (text && (!parseUnsigned(*text, n.value) || *n.value < n.least || *n.value > n.most)) {
            std::fprintf(stderr, "error: bad %s \"%s\" (expected %u..%u)\n", n.name, text->c_str(), n.least, n.most);
            return false;
        }
    }
    return true;
}

bool parseMonitor(const Arguments& args, MonitorRequest* req) {
    if (!args.positional.empty()) {
        std::fprintf(stderr, "error: monitor takes no file (\"%s\"); --play FILE.wav plays one\n",
                     args.positional[0].c_str());
        return false;
    }
    req->driver = args.value("--driver").value_or("");
    if (!needsOption(args, "--play-channels", "--play")) return false;
    if (auto list = args.value("--channels"); list && !parseChannelList(*list, &req->channels)) {
        std::fprintf(stderr, "error: bad channel list \"%s\" (expected e.g. 0,2)\n", list->c_str());
        return false;
    }
    if (auto seconds = args.value("--seconds");
        seconds && (!parseDouble(*seconds, &req->seconds) || req->seconds <= 0 || req->seconds > 86400)) {
        std::fprintf(stderr, "error: bad --seconds \"%s\" (more than 0, at most 86400)\n", seconds->c_str());
        return false;
    }
    if (auto file = args.value("--play")) {
        req->playFile = *file;
        const std::string list = args.value("--play-channels").value_or("0");
        if (!parseChannelList(list, &req->playChannels)) {
            std::fprintf(stderr, "error: bad channel list \"%s\"\n", list.c_str());
            return false;
        }
    }
    return true;
}

}  // namespace cli
