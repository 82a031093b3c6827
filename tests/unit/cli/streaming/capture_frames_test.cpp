#include "streaming/capture_frames.h"

#include <gtest/gtest.h>

#include "asiochan.h"

namespace {

// Full-width types come as the driver's bytes (big-endian ones turned around on
// the way to the file); low-justified ones as 32-bit integers at their true level;
// types without a width are refused.
TEST(CliCaptureFrames, EachTypeComesAsTheFilesBytesOrAtItsTrueLevel) {
    const struct {
        std::int32_t type;
        bool ok, native;
        unsigned bytes, swap;
    } cases[] = {
        {ASIOCHAN_SAMPLE_INT16LSB, true, true, 2, 0},   {ASIOCHAN_SAMPLE_INT24MSB, true, true, 3, 3},
        {ASIOCHAN_SAMPLE_INT32LSB, true, true, 4, 0},   {ASIOCHAN_SAMPLE_FLOAT64MSB, true, true, 8, 8},
        {ASIOCHAN_SAMPLE_INT32LSB24, true, false, 4, 0}, {ASIOCHAN_SAMPLE_INT32MSB16, true, false, 4, 0},
        {ASIOCHAN_SAMPLE_DSD_INT8NER8, false, false, 0, 0}, {7, false, false, 0, 0},
    };
    for (const auto& c : cases) {
        cli::CaptureFrames frames;
        ASSERT_EQ(cli::captureFrames(c.type, &frames), c.ok) << c.type;
        if (!c.ok) continue;
        EXPECT_EQ(frames.native, c.native) << c.type;
        EXPECT_EQ(frames.sampleBytes, c.bytes) << c.type;
        EXPECT_EQ(frames.swapWidth, c.swap) << c.type;
    }
}

}  // namespace
