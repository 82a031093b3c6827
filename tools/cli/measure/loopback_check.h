// Checks a capture of a looped-back output against the WAV file channel that was
// played on it: the player turns each sample of the channel into a 32-bit value
// laid out in the output's sample type, so with a loopback the input carries that
// value in the input's type, delayed by the loop's latency; `captured` holds the
// input's samples as the capture file lays them out (sample_codec.h, toWavLayout).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "wav/wav_file.h"

namespace cli {

struct LoopbackResult {
    bool matches = false;
    unsigned compared = 0;
    unsigned delayFrames = 0;
    std::string reason;
};

bool compareLoopback(const std::string& playedPath, const WavInfo& played, unsigned fileChannel,
                     const std::vector<std::uint8_t>& captured, std::int32_t outputType, std::int32_t inputType,
                     LoopbackResult* result, std::string* error);

}  // namespace cli
