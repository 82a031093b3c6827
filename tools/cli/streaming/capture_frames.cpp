#include "streaming/capture_frames.h"

#include "wav/sample_codec.h"

namespace cli {

bool captureFrames(std::int32_t type, CaptureFrames* frames) {
    const SampleType* t = findSampleType(type);
    if (t == nullptr || t->bytes == 0) return false;
    const auto bytes = static_cast<unsigned>(t->bytes);
    frames->native = t->isFloat || t->bits == t->bytes * 8;
    frames->sampleBytes = frames->native ? bytes : 4u;
    frames->swapWidth = frames->native && t->msbFirst ? bytes : 0u;
    return true;
}

}  // namespace cli
