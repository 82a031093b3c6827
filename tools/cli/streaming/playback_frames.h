// The frames a WAV file plays through a stream: one sample per route, in the
// routes' order (the stream's outputs are the routes' outputs), at the volume,
// as the 32-bit words the library's file players make of them (the stream takes
// them as full-scale 32-bit integers) or as floats of full scale 1.0. A float
// file played as floats gives a float driver the file's own values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "streaming/file_playback.h"

namespace cli {

class PlaybackFrames {
public:
    PlaybackFrames(const PlaybackPlan& plan, bool floats) : plan_(plan), floats_(floats) {}

    bool floats() const { return floats_; }
    std::size_t frameBytes() const { return plan_.routes.size() * 4; }
    // Frames the file plays once.
    std::uint64_t fileFrames() const { return plan_.wav.frames(); }
    // Fills `out` with up to `count` frames from play position `at` (a looping
    // file goes round and round) and answers how many: fewer, and 0 at last, once
    // a file that does not loop has played. -1 when the file cannot be read, with
    // the reason in `error`.
    std::int64_t fill(std::uint64_t at, std::size_t count, std::uint8_t* out, std::string* error);

private:
    const PlaybackPlan& plan_;
    bool floats_;
    std::vector<std::uint8_t> read_;
};

}  // namespace cli
