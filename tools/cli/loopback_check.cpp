#include "loopback_check.h"

#include <algorithm>

namespace cli {

namespace {
// The 32-bit word the player writes for one file sample at volume 1.0.
std::int32_t playerWord(std::int32_t sample, unsigned bits) {
    if (bits == 24) return static_cast<std::int32_t>(static_cast<std::uint32_t>(sample) << 8);
    if (bits == 8) {
        // 8-bit samples map to a 16-bit value whose low byte is 0xFF below the midpoint.
        const std::int32_t b = sample / 256 + 128;
        const std::int32_t v16 = (b - 128) * 256 + (b < 128 ? 255 : 0);
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(v16) << 16);
    }
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(sample) << 16);
}
}  // namespace

bool compareLoopback(const std::string& playedPath, const WavInfo& played, const std::vector<std::uint8_t>& captured,
                     std::int32_t inputType, LoopbackResult* result, std::string* error) {
    if (inputType != 18) {
        result->reason = "the comparison needs 32-bit little-endian inputs";
        return true;
    }
    std::vector<std::int32_t> file;
    if (!readFirstChannel(playedPath, played, &file, error)) return false;
    std::vector<std::int32_t> expected;
    expected.reserve(file.size());
    for (std::int32_t s : file) expected.push_back(playerWord(s, played.bitsPerSample));

    std::vector<std::int32_t> got(captured.size() / 4);
    for (std::size_t i = 0; i < got.size(); ++i)
        got[i] = static_cast<std::int32_t>(static_cast<std::uint32_t>(captured[4 * i]) |
                                           static_cast<std::uint32_t>(captured[4 * i + 1]) << 8 |
                                           static_cast<std::uint32_t>(captured[4 * i + 2]) << 16 |
                                           static_cast<std::uint32_t>(captured[4 * i + 3]) << 24);
    const auto firstSound = std::find_if(expected.begin(), expected.end(), [](std::int32_t v) { return v != 0; });
    if (firstSound == expected.end()) {
        result->reason = "the played file is silent";
        return true;
    }
    const std::size_t lead = static_cast<std::size_t>(firstSound - expected.begin());
    const auto heard = std::find_if(got.begin(), got.end(), [](std::int32_t v) { return v != 0; });
    if (heard == got.end()) {
        result->reason = "the capture is silent";
        return true;
    }
    const std::size_t heardAt = static_cast<std::size_t>(heard - got.begin());
    if (heardAt < lead) {
        result->reason = "the capture starts before the played sound";
        return true;
    }
    const std::size_t delay = heardAt - lead;
    const std::size_t n = std::min(expected.size(), got.size() - delay);
    for (std::size_t i = 0; i < n; ++i) {
        if (got[delay + i] != expected[i]) {
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
