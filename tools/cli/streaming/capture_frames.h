// How a capture asks the stream for its inputs so that the frames it gets are the
// file's bytes, or become them by turning each sample around: types whose samples
// fill their bytes (and floats) come as the driver's own bytes, straight into the
// file where they are little-endian; a type that holds fewer bits low in a 32-bit
// word comes as a full-scale 32-bit integer, its true level, which the stream
// shifts up.
#pragma once

#include <cstdint>

namespace cli {

struct CaptureFrames {
    bool native = true;       // the driver's bytes; otherwise the stream's 32-bit integers
    unsigned sampleBytes = 0;  // bytes of a sample in the stream's frames and in the file
    unsigned swapWidth = 0;    // above 0: each sample is turned around on its way to the file
};

// False for a type without a width (DSD) or one the table does not list.
bool captureFrames(std::int32_t type, CaptureFrames* frames);

}  // namespace cli
