#include "streaming/capture_frames.h"

#include "wav/sample_codec.h"

namespace cli {

bool captureFrames(std::int32_t type, bool withPlayback, CaptureFrames* frames) {
    const SampleType* t = findSampleType(type);
    if (t == nullptr || t->bytes == 0) return false;
    const auto bytes = static_cast<unsigned>(t->bytes);
    const bool fullWidth = t->isFloat || t->bits == t->bytes * 8;
    if (!withPlayback && fullWidth) {
        *frames = {StreamSamples::native, bytes, bytes, t->msbFirst};
    } else if (t->isFloat) {
        *frames = {StreamSamples::float32, 4, 4, false};
    } else {
        *frames = {StreamSamples::int32, 4, fullWidth ? bytes : 4u, false};
    }
    return true;
}

}  // namespace cli
