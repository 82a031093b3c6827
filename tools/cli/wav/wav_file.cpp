#include "wav/wav_file.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "wav/player_word.h"
#include "wav/wav_layout.h"

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

namespace {
// A data size field that leaves the size to the ds64 chunk of an RF64 file.
constexpr std::uint32_t kSizeInDs64 = 0xFFFFFFFF;
// Sizes from here up that run past the end of the file are placeholders left by
// writers streaming to a pipe (0xFFFFFFFF, 0x7FFFF000): the data ends with the file.
constexpr std::uint64_t kPlaceholderSizes = 0x7FFF0000;

bool seekTo(std::FILE* f, std::uint64_t offset) {
#if defined(_WIN32)
    return _fseeki64(f, static_cast<__int64>(offset), SEEK_SET) == 0;
#else
    return fseeko(f, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

std::uint64_t fileLength(std::FILE* f) {
#if defined(_WIN32)
    const __int64 length = _fseeki64(f, 0, SEEK_END) == 0 ? _ftelli64(f) : -1;
#else
    const off_t length = fseeko(f, 0, SEEK_END) == 0 ? ftello(f) : -1;
#endif
    return length < 0 ? UINT64_MAX : static_cast<std::uint64_t>(length);
}

// The format fields of a "fmt " chunk's first 16 bytes (and of an extensible
// format's subformat when the chunk holds it).
void takeFormat(const unsigned char* fmt, std::size_t bytes, WavInfo* info) {
    info->formatTag = le16(fmt);
    info->channels = le16(fmt + 2);
    info->sampleRate = le32(fmt + 4);
    info->bitsPerSample = le16(fmt + 14);
    info->sampleFormat = info->formatTag == 0xFFFE && bytes >= 26 ? le16(fmt + 24) : info->formatTag;
}

// The first "fmt " chunk and the first "data" chunk after it, each chunk skipped
// by its size (plus a pad byte after an odd size); in an RF64 file a ds64 chunk's
// data size stands in for a data size field of 0xFFFFFFFF. Data beyond 2 GiB is
// not reached: the players could not seek to it either.
bool walkChunks(std::FILE* f, bool rf64, WavInfo* info) {
    bool haveFormat = false, haveDs64 = false;
    std::uint64_t ds64DataBytes = 0;
    unsigned char chunk[8];
    for (std::uint64_t position = 12; position + 8 <= INT32_MAX;) {
        if (!seekTo(f, position) || std::fread(chunk, 1, 8, f) != 8) return false;
        const std::uint32_t size = le32(chunk + 4);
        if (rf64 && !haveDs64 && std::memcmp(chunk, "ds64", 4) == 0) {
            unsigned char sizes[16];  // the RIFF size and the data size, of the 28 bytes at least
            haveDs64 = size >= 28 && std::fread(sizes, 1, 16, f) == 16;
            if (haveDs64) ds64DataBytes = le32(sizes + 8) | std::uint64_t{le32(sizes + 12)} << 32;
        } else if (!haveFormat && std::memcmp(chunk, "fmt ", 4) == 0) {
            unsigned char fmt[26];
            const std::size_t want = std::min<std::size_t>(size, sizeof fmt);
            if (size < 16 || std::fread(fmt, 1, want, f) != want) return false;
            takeFormat(fmt, want, info);
            haveFormat = true;
        } else if (haveFormat && std::memcmp(chunk, "data", 4) == 0) {
            info->dataBytes = haveDs64 && size == kSizeInDs64 ? ds64DataBytes : size;
            info->dataOffset = position + 8;
            return true;
        }
        position += 8 + std::uint64_t{size} + (size & 1);
    }
    return false;
}
}  // namespace

bool readWavInfo(const std::string& path, WavInfo* info, std::string* error) {
    File f(std::fopen(path.c_str(), "rb"));
    if (!f) {
        *error = "cannot open " + path;
        return false;
    }
    unsigned char head[12];
    const bool read = std::fread(head, 1, 12, f.get()) == 12;
    const bool rf64 = read && std::memcmp(head, "RF64", 4) == 0;
    if (!read || (!rf64 && std::memcmp(head, "RIFF", 4) != 0) || std::memcmp(head + 8, "WAVE", 4) != 0) {
        *error = path + " is not a RIFF/WAVE file";
        return false;
    }
    if (!walkChunks(f.get(), rf64, info)) {
        *error = path + " has no readable format and data chunks";
        return false;
    }
    const std::uint64_t fileBytes = fileLength(f.get());
    const std::uint64_t held = info->dataOffset < fileBytes ? fileBytes - info->dataOffset : 0;
    if (info->dataBytes > held && info->dataBytes >= kPlaceholderSizes) info->dataBytes = held;
    return true;
}

bool readSampleData(const std::string& path, const WavInfo& info, std::vector<std::uint8_t>* bytes) {
    File f(std::fopen(path.c_str(), "rb"));
    if (!f || std::fseek(f.get(), static_cast<long>(info.dataOffset), SEEK_SET) != 0) return false;
    // In pieces, so that a size field larger than the file allocates no more than
    // the file holds; a file larger than the memory the process can hold is refused.
    constexpr std::size_t kPiece = 1 << 16;
    bytes->clear();
    try {
        while (bytes->size() < info.dataBytes) {
            const std::size_t at = bytes->size();
            const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(kPiece, info.dataBytes - at));
            bytes->resize(at + want);
            const std::size_t got = std::fread(bytes->data() + at, 1, want, f.get());
            bytes->resize(at + got);
            if (got < want) break;
        }
    } catch (const std::bad_alloc&) {
        std::vector<std::uint8_t>().swap(*bytes);
        return false;
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
    if (!seekTo(f.get(), info.dataOffset + first * frame)) return false;
    std::fread(bytes->data(), 1, want, f.get());
    return true;
}

bool readChannelWords(const std::string& path, const WavInfo& info, unsigned channel, float volume,
                      std::vector<std::int32_t>* words, std::string* error) {
    const unsigned width = info.bitsPerSample / 8u;
    const unsigned frame = info.frameBytes();
    if (!hasPlayerWords(info.bitsPerSample, info.sampleFormat)) {
        *error = "only 8-, 16- and 24-bit files and 32-bit integer and float files are compared";
        return false;
    }
    std::vector<std::uint8_t> bytes;
    if (!readSampleData(path, info, &bytes)) {
        *error = "cannot read " + path + " into memory";
        return false;
    }
    words->clear();
    try {
        words->reserve(bytes.size() / frame);
    } catch (const std::bad_alloc&) {
        *error = "cannot read " + path + " into memory";
        return false;
    }
    for (std::size_t at = static_cast<std::size_t>(channel) * width; at + width <= bytes.size(); at += frame)
        words->push_back(playerWord(&bytes[at], width, volume, info.isFloat()));
    return true;
}

bool writeWav(const std::string& path, std::uint16_t formatTag, std::uint32_t sampleRate, std::uint16_t bitsPerSample,
              const std::vector<std::uint8_t>& bytes, std::string* error, std::uint16_t channels) {
    const WavFormat format{formatTag, channels, sampleRate, bitsPerSample};
    const std::size_t frameBytes = format.frameBytes();
    if (frameBytes == 0 || !fitsIn32Bits(format, false, bytes.size(), 0xFFFFFFFFu)) {
        *error = "cannot write " + path + ": " + (frameBytes == 0 ? "no sample width" : "more than 4 GiB");
        return false;
    }
    const auto head = plainHeader(format, {bytes.size(), bytes.size() / frameBytes});
    const std::uint8_t pad = 0;
    File f(std::fopen(path.c_str(), "wb"));
    if (!f || std::fwrite(head.data(), 1, head.size(), f.get()) != head.size() ||
        std::fwrite(bytes.data(), 1, bytes.size(), f.get()) != bytes.size() ||
        ((bytes.size() & 1) != 0 && std::fwrite(&pad, 1, 1, f.get()) != 1) || std::fflush(f.get()) != 0) {
        *error = "cannot write " + path;
        return false;
    }
    return true;
}

}  // namespace cli
