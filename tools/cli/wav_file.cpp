#include "wav_file.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

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

void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
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

bool readFirstChannel(const std::string& path, const WavInfo& info, std::vector<std::int32_t>* samples,
                      std::string* error) {
    const unsigned width = info.bitsPerSample / 8u;
    const unsigned frame = width * (info.channels ? info.channels : 1u);
    if (width < 1 || width > 3) {
        *error = "only 8-, 16- and 24-bit files are compared";
        return false;
    }
    std::vector<std::uint8_t> bytes;
    if (!readSampleData(path, info, &bytes)) {
        *error = "cannot read " + path;
        return false;
    }
    samples->clear();
    for (std::size_t at = 0; at + frame <= bytes.size(); at += frame) {
        const unsigned char* p = &bytes[at];
        std::int32_t v = 0;
        if (width == 1) v = (static_cast<std::int32_t>(p[0]) - 128) * 256;
        if (width == 2) v = static_cast<std::int16_t>(le16(p));
        if (width == 3)
            v = static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0]) << 8 |
                                          static_cast<std::uint32_t>(p[1]) << 16 |
                                          static_cast<std::uint32_t>(p[2]) << 24) >>
                8;
        samples->push_back(v);
    }
    return true;
}

bool writeWav(const std::string& path, std::uint16_t formatTag, std::uint32_t sampleRate, std::uint16_t bitsPerSample,
              const std::vector<std::uint8_t>& bytes, std::string* error) {
    std::vector<std::uint8_t> head;
    const std::uint16_t blockAlign = static_cast<std::uint16_t>(bitsPerSample / 8);
    head.insert(head.end(), {'R', 'I', 'F', 'F'});
    put32(head, static_cast<std::uint32_t>(36 + bytes.size()));
    head.insert(head.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put32(head, 16);
    put16(head, formatTag);
    put16(head, 1);
    put32(head, sampleRate);
    put32(head, sampleRate * blockAlign);
    put16(head, blockAlign);
    put16(head, bitsPerSample);
    head.insert(head.end(), {'d', 'a', 't', 'a'});
    put32(head, static_cast<std::uint32_t>(bytes.size()));
    File f(std::fopen(path.c_str(), "wb"));
    if (!f || std::fwrite(head.data(), 1, head.size(), f.get()) != head.size() ||
        std::fwrite(bytes.data(), 1, bytes.size(), f.get()) != bytes.size()) {
        *error = "cannot write " + path;
        return false;
    }
    return true;
}

}  // namespace cli
