// What each command is asked to do, read from its arguments (the sweep's in
// sweep_options.h). The parsers are portable (the host build tests them against
// the table of commands); each prints its reason on stderr and answers false for
// arguments it refuses. Every option a command's help lists is read here,
// --driver included.
#pragma once

#include <string>
#include <vector>

#include "console/arguments.h"

namespace cli {

struct InfoRequest {
    std::string driver;
};

struct PlayRequest {
    std::string driver;
    std::string file;
    std::vector<unsigned> channels{0};
    bool single = true;  // --channel N, or no channel option
    std::string map;     // --map
    double volume = 1.0;
    bool loop = false;
};

struct CaptureRequest {
    std::string driver;
    std::string out;
    std::vector<unsigned> inputs;
    double seconds = 0;  // 0: until Ctrl+C
    std::string playFile;
    std::vector<unsigned> playChannels;  // --play-channels
    std::string playMap;                 // --play-map, instead
    bool checkLoopback = false;          // --check-loopback: a mismatch fails the command
};

struct ToneRequest {
    std::string out;
    double seconds = 2.0;
    double hz = 440.0;
    double rate = 48000.0;
    unsigned channels = 1;
};

struct LatencyRequest {
    std::string driver;
    unsigned out = 0;
    unsigned in = 0;
    unsigned repeat = 5;
};

struct MonitorRequest {
    std::string driver;
    std::vector<unsigned> channels;  // empty: every input
    double seconds = 0;              // 0: until Ctrl+C
    std::string playFile;
    std::vector<unsigned> playChannels;
};

bool parseInfo(const Arguments& args, InfoRequest* req);
bool parsePlay(const Arguments& args, PlayRequest* req);
bool parseCapture(const Arguments& args, CaptureRequest* req);
bool parseTone(const Arguments& args, ToneRequest* req);
bool parseLatency(const Arguments& args, LatencyRequest* req);
bool parseMonitor(const Arguments& args, MonitorRequest* req);

// An option that only means something with another one (--play-channels without
// --play): refused with a message rather than ignored.
bool needsOption(const Arguments& args, const char* option, const char* needed);

}  // namespace cli
