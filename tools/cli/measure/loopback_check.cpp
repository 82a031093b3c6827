#include "measure/loopback_check.h"

#include <algorithm>

#include "wav/sample_codec.h"

namespace cli {

bool compareLoopback(const std::string& playedPath, const WavInfo& played, unsigned fileChannel,
                     const std::vector<std::uint8_t>& captured, std::int32_t outputType, std::int32_t inputType,
                     LoopbackResult* result, std::string* error) {
    std::uint8_t scratch[8];
    const int width = encodeSample(0, inputType, scratch);
    if (width == 0 || encodeSample(0, outputType, scratch) == 0) {
        result->reason = "the outputs or the inputs have a sample type without a width";
        return true;
    }
    std::vector<std::int32_t> file;
    if (!readChannelWords(playedPath, played, fileChannel, 1.0f, &file, error)) return false;
    // What the input should hold: the player's value as the output type carries it,
    // in the input's type, as the capture file lays that type out.
    std::vector<std::uint8_t> expected(file.size() * static_cast<std::size_t>(width));
    for (std::size_t i = 0; i < file.size(); ++i) {
        encodeSample(file[i], outputType, scratch);
        encodeSample(decodeSample(scratch, outputType), inputType, &expected[i * static_cast<std::size_t>(width)]);
    }
    toWavLayout(expected.data(), file.size(), inputType);
    const auto sample = [width](const std::vector<std::uint8_t>& bytes, std::size_t i) {
        return bytes.begin() + static_cast<std::ptrdiff_t>(i * static_cast<std::size_t>(width));
    };
    const auto silentAt = [&](const std::vector<std::uint8_t>& bytes, std::size_t i) {
        return std::all_of(sample(bytes, i), sample(bytes, i + 1), [](std::uint8_t b) { return b == 0; });
    };
    const std::size_t expectedCount = file.size();
    const std::size_t gotCount = captured.size() / static_cast<std::size_t>(width);
    std::size_t lead = 0;
    while (lead < expectedCount && silentAt(expected, lead)) ++lead;
    if (lead == expectedCount) {
        result->reason = "the played file is silent";
        return true;
    }
    std::size_t heardAt = 0;
    while (heardAt < gotCount && silentAt(captured, heardAt)) ++heardAt;
    if (heardAt == gotCount) {
        result->reason = "the capture is silent";
        return true;
    }
    if (heardAt < lead) {
        result->reason = "the capture starts before the played sound";
        return true;
    }
    const std::size_t delay = heardAt - lead;
    const std::size_t n = std::min(expectedCount, gotCount - delay);
    for (std::size_t i = 0; i < n; ++i) {
        if (!std::equal(sample(expected, i), sample(expected, i + 1), sample(captured, delay + i))) {
            result->reason = "sample " + std::to_string(i) + " differs";
            return true;
        }
    }
    result->matches = n > 0;
    result->compared = static_cast<unsigned>(n);
    result->delayFrames = static_cast<unsigned>(delay);
    if (n == 0) result->reason = "nothing to compare";
    return true;
}

}  // namespace cli
