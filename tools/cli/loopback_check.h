// Checks a capture of a looped-back output against the WAV file that was played:
// the player puts each sample of the file's first channel into the top bytes of a
// 32-bit output sample, so with a loopback the input carries the same words,
// delayed by the loop's latency.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "wav_file.h"

namespace cli {

struct LoopbackResult {
    bool matches = false;
    unsigned compared = 0;
    unsigned delayFrames = 0;
    std::string reason;
};

bool compareLoopback(const std::string& playedPath, const WavInfo& played, const std::vector<std::uint8_t>& captured,
                     std::int32_t inputType, LoopbackResult* result, std::string* error);

}  // namespace cli
