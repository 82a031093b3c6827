#include "wav_file.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#include "player_word.h"

namespace cli {

namespace {
struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

std::uint32_t le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
std::uint16_t le16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

}  // namespace

double WavInfo::seconds() const {
    const unsigned frameBytes = (bitsPerSample / 8u) * (channels ? channels : 1u);
    if (frameBytes == 0 || sampleRate == 0) return 0.0;
    return static_cast<double>(dataBytes / frameBytes) / sampleRate;
}

bool readWavInfo(const std::string& path, WavInfo* info, std::string* error) {
    File f(std::fopen(path.c_str(), "rb"));
    if (!f) {
        *error = "cannot open " + path;
        return false;
    }
    unsigned char head[12];
    if (std::fread(head, 1, 12, f.get()) != 12 || std::memcmp(head, "RIFF", 4) != 0 ||
        std::memcmp(head + 8, "WAVE", 4) != 0) {
        *error = path + " is not a RIFF/WAVE file";
        return false;
    }
    // The first "fmt " chunk and the first "data" chunk after it, each chunk skipped
    // by its size (plus a pad byte after an odd size). Data beyond 2 GiB is not
    // reached: the players could not seek to it either.
    bool haveFormat = false;
    unsigned char chunk[8];
    for (std::uint64_t position = 12; position + 8 <= INT32_MAX;) {
        if (std::fseek(f.get(), static_cast<long>(position), SEEK_SET) != 0 || std::fread(chunk, 1, 8, f.get()) != 8)
            break;
        const std::uint32_t size = le32(chunk + 4);
        if (!haveFormat && std::memcmp(chunk, "fmt ", 4) == 0) {
            unsigned char fmt[16];
            if (size < 16 || std::fread(fmt, 1, 16, f.get()) != 16) break;
            info->formatTag = le16(fmt);
            info->channels = le16(fmt + 2);
            info->sampleRate = le32(fmt + 4);
            info->bitsPerSample = le16(fmt + 14);
            haveFormat = true;
        } else if (haveFormat && std::memcmp(chunk, "data", 4) == 0) {
            info->dataBytes = size;
            info->dataOffset = position + 8;
            return true;
        }
        position += 8 + std::uint64_t{size} + (size & 1);
    }
    *error = path + " has no readable format and data chunks";
    return false;
}

bool readSampleData(const std::string& path, const WavInfo& info, std::vector<std::uint8_t>* bytes) {
    File f(std::fopen(path.c_str(), "rb"));
    if (!f || std::fseek(f.get(), static_cast<long>(info.dataOffset), SEEK_SET) != 0) return false;
    // In pieces, so that a size field larger than the file allocates no more than
    // the file holds.
    constexpr std::size_t kPiece = 1 << 16;
    bytes->clear();
    while (bytes->size() < info.dataBytes) {
        const std::size_t at = bytes->size();
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(kPiece, info.dataBytes - at));
        bytes->resize(at + want);
        const std::size_t got = std::fread(bytes->data() + at, 1, want, f.get());
        bytes->resize(at + got);
        if (got < want) break;
    }
    return true;
}

bool readFrames(const std::string& path, const WavInfo& info, std::uint64_t first, std::size_t count,
                std::vector<std::uint8_t>* bytes) {
    const std::size_t frame = info.frameBytes();
    bytes->assign(count * frame, 0);
    File f(std::fopen(path.c_str(), "rb"));
    if (!f || frame == 0) return false;
    const std::uint64_t frames = info.frames();
    if (first >= frames) return true;
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(count, frames - first)) * frame;
    const std::uint64_t offset = info.dataOffset + first * frame;
#if defined(_WIN32)
    if (_fseeki64(f.get(), static_cast<__int64>(offset), SEEK_SET) != 0) return false;
#else
    if (fseeko(f.get(), static_cast<off_t>(offset), SEEK_SET) != 0) return false;
#endif
    std::fread(bytes->data(), 1, want, f.get());
    return true;
}

bool readChannelWords(const std::string& path, const WavInfo& info, unsigned channel, float volume,
                      std::vector<std::int32_t>* words, std::string* error) {
    const unsigned width = info.bitsPerSample / 8u;
    const unsigned frame = info.frameBytes();
    if (width < 1 || width > 3) {
        *error = "only 8-, 16- and 24-bit files are compared";
        return false;
    }
    std::vector<std::uint8_t> bytes;
    if (!readSampleData(path, info, &bytes)) {
        *error = "cannot read " + path;
        return false;
    }
    words->clear();
    for (std::size_t at = static_cast<std::size_t>(channel) * width; at + width <= bytes.size(); at += frame)
        words->push_back(playerWord(&bytes[at], width, volume));
    return true;
}

namespace {
// The 44-byte RIFF header of a file whose data chunk holds `dataBytes`.
std::array<std::uint8_t, 44> wavHeader(std::uint16_t formatTag, std::uint32_t sampleRate, std::uint16_t bitsPerSample,
                                       std::uint16_t channels, std::uint32_t dataBytes) {
    std::array<std::uint8_t, 44> head{};
    const auto blockAlign = static_cast<std::uint16_t>(bitsPerSample / 8 * channels);
    std::uint8_t* at = head.data();
    const auto tag = [&at](const char* text) {
        std::memcpy(at, text, 4);
        at += 4;
    };
    const auto le = [&at](std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) *at++ = static_cast<std::uint8_t>(v >> (8 * i));
    };
    tag("RIFF");
    le(36 + dataBytes, 4);
    tag("WAVE");
    tag("fmt ");
    le(16, 4);
    le(formatTag, 2);
    le(channels, 2);
    le(sampleRate, 4);
    le(sampleRate * blockAlign, 4);
    le(blockAlign, 2);
    le(bitsPerSample, 2);
    tag("data");
    le(dataBytes, 4);
    return head;
}
}  // namespace

bool writeWav(const std::string& path, std::uint16_t formatTag, std::uint32_t sampleRate, std::uint16_t bitsPerSample,
              const std::vector<std::uint8_t>& bytes, std::string* error, std::uint16_t channels) {
    const auto head =
        wavHeader(formatTag, sampleRate, bitsPerSample, channels, static_cast<std::uint32_t>(bytes.size()));
    File f(std::fopen(path.c_str(), "wb"));
    if (!f || std::fwrite(head.data(), 1, head.size(), f.get()) != head.size() ||
        std::fwrite(bytes.data(), 1, bytes.size(), f.get()) != bytes.size()) {
        *error = "cannot write " + path;
        return false;
    }
    return true;
}

}  // namespace cli
