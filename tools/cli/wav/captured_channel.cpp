#include "wav/captured_channel.h"

#include <algorithm>
#include <cstdio>
#include <memory>

namespace cli {

bool readCapturedChannel(const std::string& path, std::size_t dataOffset, std::size_t channels, int width,
                         std::size_t index, std::uint64_t frames, std::vector<std::uint8_t>* samples,
                         std::string* error) {
    const auto sample = static_cast<std::size_t>(width);
    const std::size_t frameBytes = sample * channels;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!f || frameBytes == 0 || std::fseek(f.get(), static_cast<long>(dataOffset), SEEK_SET) != 0) {
        *error = "cannot read " + path + " back";
        return false;
    }
    samples->clear();
    // A piece at a time: the frames of every input are never all in memory.
    constexpr std::size_t kPieceFrames = 1 << 14;
    std::vector<std::uint8_t> piece(kPieceFrames * frameBytes);
    for (std::uint64_t done = 0; done < frames;) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(kPieceFrames, frames - done));
        const std::size_t got = std::fread(piece.data(), frameBytes, want, f.get());
        for (std::size_t i = 0; i < got; ++i) {
            const std::uint8_t* at = piece.data() + i * frameBytes + index * sample;
            samples->insert(samples->end(), at, at + sample);
        }
        if (got < want) break;
        done += got;
    }
    return true;
}

}  // namespace cli
