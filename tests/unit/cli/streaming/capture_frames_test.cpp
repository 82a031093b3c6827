#include "streaming/capture_frames.h"

#include <gtest/gtest.h>

#include "asiochan.h"

namespace {

// Alone, full-width types come as the driver's bytes (big-endian ones turned
// around) and low-justified ones as 32-bit integers at their true level; beside a
// playing file every integer type comes as 32-bit integers cut to its width and
// floats as 32-bit floats; types without a width are refused.
TEST(CliCaptureFrames, EachTypeComesAsTheFilesBytesOrAtItsTrueLevel) {
    using cli::StreamSamples;
    const struct {
        std::int32_t type;
        bool playing, ok;
        StreamSamples samples;
        unsigned streamBytes, fileBytes;
        bool swap;
    } cases[] = {
        {ASIOCHAN_SAMPLE_INT16LSB, false, true, StreamSamples::native, 2, 2, false},
        {ASIOCHAN_SAMPLE_INT24MSB, false, true, StreamSamples::native, 3, 3, true},
        {ASIOCHAN_SAMPLE_FLOAT64MSB, false, true, StreamSamples::native, 8, 8, true},
        {ASIOCHAN_SAMPLE_INT32LSB24, false, true, StreamSamples::int32, 4, 4, false},
        {ASIOCHAN_SAMPLE_INT32MSB16, false, true, StreamSamples::int32, 4, 4, false},
        {ASIOCHAN_SAMPLE_INT24MSB, true, true, StreamSamples::int32, 4, 3, false},
        {ASIOCHAN_SAMPLE_INT32LSB20, true, true, StreamSamples::int32, 4, 4, false},
        {ASIOCHAN_SAMPLE_FLOAT64LSB, true, true, StreamSamples::float32, 4, 4, false},
        {ASIOCHAN_SAMPLE_DSD_INT8NER8, false, false, StreamSamples::native, 0, 0, false},
        {7, true, false, StreamSamples::native, 0, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.type) + (c.playing ? " playing" : ""));
        cli::CaptureFrames frames;
        ASSERT_EQ(cli::captureFrames(c.type, c.playing, &frames), c.ok);
        if (!c.ok) continue;
        EXPECT_EQ(frames.samples, c.samples);
        EXPECT_EQ(frames.streamBytes, c.streamBytes);
        EXPECT_EQ(frames.fileBytes, c.fileBytes);
        EXPECT_EQ(frames.swap, c.swap);
    }
}

}  // namespace
