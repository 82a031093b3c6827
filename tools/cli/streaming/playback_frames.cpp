#include "streaming/playback_frames.h"

#include <algorithm>
#include <cstring>

#include "wav/player_word.h"

namespace cli {

std::int64_t PlaybackFrames::fill(std::uint64_t at, std::size_t count, std::uint8_t* out, std::string* error) {
    const std::uint64_t frames = fileFrames();
    const unsigned width = plan_.wav.bitsPerSample / 8u;
    const unsigned fileFrame = plan_.wav.frameBytes();
    std::size_t done = 0;
    while (done < count && frames > 0) {
        const std::uint64_t place = plan_.loop ? (at + done) % frames : at + done;
        if (place >= frames) break;
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(count - done, frames - place));
        if (!readFrames(plan_.file, plan_.wav, place, n, &read_)) {
            *error = "cannot read " + plan_.file;
            return -1;
        }
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint8_t* frame = read_.data() + i * fileFrame;
            std::uint8_t* slot = out + (done + i) * frameBytes();
            for (const Route& route : plan_.routes) {
                const std::uint8_t* sample = frame + route.fileChannel * width;
                if (floats_ && plan_.wav.isFloat()) {
                    float f;
                    std::memcpy(&f, sample, 4);
                    f = static_cast<float>(static_cast<double>(f) * static_cast<double>(plan_.volume));
                    std::memcpy(slot, &f, 4);
                } else {
                    const std::int32_t word = playerWord(sample, width, plan_.volume, plan_.wav.isFloat());
                    const float f = static_cast<float>(word * (1.0 / 2147483648.0));
                    std::memcpy(slot, floats_ ? static_cast<const void*>(&f) : &word, 4);
                }
                slot += 4;
            }
        }
        done += n;
    }
    return static_cast<std::int64_t>(done);
}

}  // namespace cli
