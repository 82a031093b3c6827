// How a capture asks the stream for its inputs so that the frames it gets are the
// file's bytes, or become them on the way. Alone, types whose samples fill their
// bytes (and floats) come as the driver's own bytes, straight into the file where
// they are little-endian and turned around where not; a type that holds fewer bits
// low in a 32-bit word comes as a full-scale 32-bit integer, its true level. With
// a file playing in the same stream (one format for both directions), integer
// types come as 32-bit integers whose top bytes are the file's samples, float
// types as 32-bit floats.
#pragma once

#include <cstdint>

namespace cli {

enum class StreamSamples { native, int32, float32 };

struct CaptureFrames {
    StreamSamples samples = StreamSamples::native;
    unsigned streamBytes = 0;  // bytes of a sample in the stream's frames
    unsigned fileBytes = 0;    // in the file: the last (most significant) ones of the stream's
    bool swap = false;         // each sample turned around on its way to the file
};

// False for a type without a width (DSD) or one the table does not list.
bool captureFrames(std::int32_t type, bool withPlayback, CaptureFrames* frames);

}  // namespace cli
