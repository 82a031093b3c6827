#include "capture_check/capture_check.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "simdriver/core/input_pattern.h"

namespace asiochan {
namespace {

using Bytes = std::vector<std::uint8_t>;

void put(Bytes& b, const char* id) { b.insert(b.end(), id, id + 4); }
void put(Bytes& b, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// A capture of `inputs` from period `period` of their streams, `frames` long: a
// plain WAV file, or an RF64 one whose 32-bit sizes say "see ds64".
Bytes captureFile(const std::vector<std::int32_t>& inputs, std::uint64_t period, std::size_t frames, bool rf64) {
    const std::size_t data = frames * inputs.size() * 4;
    Bytes b;
    put(b, rf64 ? "RF64" : "RIFF");
    put(b, rf64 ? 0xffffffffu : 4 + 8 + 16 + 8 + data, 4);
    put(b, "WAVE");
    put(b, rf64 ? "ds64" : "JUNK");
    put(b, 28, 4);
    put(b, 4 + 8 + 28 + 8 + 16 + 8 + data, 8);
    put(b, data, 8);
    put(b, frames, 8);
    put(b, 0, 4);
    put(b, "fmt ");
    put(b, 16, 4);
    put(b, 1, 2);
    put(b, inputs.size(), 2);
    put(b, 48000, 4);
    put(b, 48000 * inputs.size() * 4, 4);
    put(b, inputs.size() * 4, 2);
    put(b, 32, 2);
    put(b, "data");
    put(b, rf64 ? 0xffffffffu : data, 4);
    Bytes stream(frames * 4);
    const std::size_t start = b.size();
    b.resize(start + data);
    for (std::size_t c = 0; c < inputs.size(); ++c) {
        sim::fillInputPattern(inputs[c], period * capture_check::kPeriodBytes, stream.data(), stream.size());
        for (std::size_t f = 0; f < frames; ++f)
            std::memcpy(&b[start + (f * inputs.size() + c) * 4], &stream[f * 4], 4);
    }
    return b;
}

// One capture of two inputs, written out whole or spoiled, and what the checker
// answers and says.
TEST(CaptureCheckTest, EveryByteOfEveryChannelIsChecked) {
    struct Case {
        const char* what;
        bool rf64;
        std::vector<std::int32_t> checkedAs;
        long flipByte;       // in the data, -1 for none
        std::size_t cutBytes;  // taken off the file's end
        int exitCode;
        const char* says;
    };
    const std::vector<std::int32_t> inputs = {3, 60};
    const std::size_t frames = 40000;  // more than one read of the checker
    const Case cases[] = {
        {"a whole WAV file", false, inputs, -1, 0, 0, "40000 frames checked: every byte"},
        {"a whole RF64 file", true, inputs, -1, 0, 0, "first frame at period 1234 (all alike)"},
        {"one flipped byte", true, inputs, 8 * 33000 + 5, 0, 1, "mismatch at frame 33000, channel 1 (input 60), byte 1"},
        {"a file shorter than its data chunk", false, inputs, -1, 8 * 100, 1, "ends 100 frames before its data chunk"},
        {"inputs in another order", false, {60, 3}, -1, 0, 2, "continue no period of the pattern"},
        {"another channel count", false, {3}, -1, 0, 2, "not one 32-bit channel per input"},
    };
    const std::string path = ::testing::TempDir() + "capture_check_test.wav";
    for (const Case& c : cases) {
        Bytes file = captureFile(inputs, 1234, frames, c.rf64);
        const std::size_t dataStart = file.size() - frames * 8;
        if (c.flipByte >= 0) file[dataStart + static_cast<std::size_t>(c.flipByte)] ^= 0x10;
        file.resize(file.size() - c.cutBytes);
        std::FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(file.data(), 1, file.size(), f);
        std::fclose(f);
        std::FILE* out = std::tmpfile();
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(capture_check::checkCapture(path.c_str(), c.checkedAs, out), c.exitCode) << c.what;
        std::rewind(out);
        std::string said(4096, '\0');
        said.resize(std::fread(said.data(), 1, said.size(), out));
        std::fclose(out);
        EXPECT_NE(said.find(c.says), std::string::npos) << c.what << ":\n" << said;
    }
    std::remove(path.c_str());
}

}  // namespace
}  // namespace asiochan
