#include "wav/wav_layout.h"

namespace cli {

namespace {
// Writes fields one after another, little-endian.
class Fields {
public:
    explicit Fields(std::vector<std::uint8_t>& out) : out_(out) {}
    void tag(const char* text) {
        for (int i = 0; i < 4; ++i) out_.push_back(static_cast<std::uint8_t>(text[i]));
    }
    void le(std::uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) out_.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
    void zeros(std::size_t count) { out_.resize(out_.size() + count, 0); }

private:
    std::vector<std::uint8_t>& out_;
};

constexpr std::uint16_t kExtensibleTag = 0xFFFE;
constexpr std::uint32_t kPcmFormatBytes = 16;
constexpr std::uint32_t kFloatFormatBytes = 18;  // with an extension of no bytes
constexpr std::uint32_t kExtensibleFormatBytes = 40;
constexpr std::uint32_t kFactBytes = 4;
constexpr std::uint64_t kSizeInDs64 = 0xFFFFFFFFu;
// The subformat GUID after its first two bytes (the format tag):
// xxxx0000-0000-0010-8000-00AA00389B71.
constexpr std::uint8_t kSubformatTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                             0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

std::uint32_t formatBytes(const WavFormat& f) {
    return f.extensible() ? kExtensibleFormatBytes : f.formatTag == 1 ? kPcmFormatBytes : kFloatFormatBytes;
}

// What the RIFF size counts besides the samples and their pad byte.
std::uint64_t riffOverhead(const WavFormat& f, bool reserved) { return headerBytes(f, reserved) - 8; }

std::uint64_t riffBytes(const WavFormat& f, bool reserved, std::uint64_t dataBytes) {
    return riffOverhead(f, reserved) + dataBytes + (dataBytes & 1);
}

void formatChunk(Fields& out, const WavFormat& f) {
    out.tag("fmt ");
    out.le(formatBytes(f), 4);
    out.le(f.extensible() ? kExtensibleTag : f.formatTag, 2);
    out.le(f.channels, 2);
    out.le(f.sampleRate, 4);
    out.le(std::uint64_t{f.sampleRate} * f.frameBytes(), 4);
    out.le(f.frameBytes(), 2);
    out.le(f.bitsPerSample, 2);
    if (!f.extensible()) {
        if (f.formatTag != 1) out.le(0, 2);  // the extension's size
        return;
    }
    out.le(kExtensibleFormatBytes - 18, 2);  // the extension's size
    out.le(f.bitsPerSample, 2);              // valid bits
    out.le(channelMask(f.channels), 4);
    out.le(f.formatTag, 2);
    for (std::uint8_t b : kSubformatTail) out.le(b, 1);
}

// The chunks from the format on: format, fact, the data chunk's header.
void chunksFromFormat(Fields& out, const WavFormat& f, std::uint64_t frames, std::uint64_t dataBytes) {
    formatChunk(out, f);
    if (f.hasFact()) {
        out.tag("fact");
        out.le(kFactBytes, 4);
        out.le(frames, 4);
    }
    out.tag("data");
    out.le(dataBytes, 4);
}
}  // namespace

bool WavFormat::extensible() const { return channels > 2 || (formatTag == 1 && bitsPerSample > 16); }

std::uint32_t channelMask(std::uint16_t channels) {
    if (channels == 1) return 0x4;  // front centre
    if (channels == 2) return 0x3;  // front left, front right
    return 0;
}

std::size_t headerBytes(const WavFormat& format, bool reserved) {
    return 12 + (reserved ? 8 + kDs64Bytes : 0) + 8 + formatBytes(format) + (format.hasFact() ? 8 + kFactBytes : 0) + 8;
}

bool fitsIn32Bits(const WavFormat& format, bool reserved, std::uint64_t dataBytes, std::uint64_t limit) {
    return dataBytes <= limit && riffBytes(format, reserved, dataBytes) <= limit;
}

std::vector<std::uint8_t> plainHeader(const WavFormat& format, const WavSizes& sizes) {
    std::vector<std::uint8_t> head;
    Fields out(head);
    out.tag("RIFF");
    out.le(riffBytes(format, false, sizes.dataBytes), 4);
    out.tag("WAVE");
    chunksFromFormat(out, format, sizes.frames, sizes.dataBytes);
    return head;
}

std::vector<std::uint8_t> reservedHeader(const WavFormat& format, const WavSizes& sizes, std::uint64_t limit) {
    std::vector<std::uint8_t> head;
    Fields out(head);
    const std::uint64_t riff = riffBytes(format, true, sizes.dataBytes);
    const bool rf64 = !fitsIn32Bits(format, true, sizes.dataBytes, limit);
    out.tag(rf64 ? "RF64" : "RIFF");
    out.le(rf64 ? kSizeInDs64 : riff, 4);
    out.tag("WAVE");
    out.tag(rf64 ? "ds64" : "JUNK");
    out.le(kDs64Bytes, 4);
    if (rf64) {
        out.le(riff, 8);
        out.le(sizes.dataBytes, 8);
        out.le(sizes.frames, 8);
        out.le(0, 4);  // no table of other chunks' sizes
    } else {
        out.zeros(kDs64Bytes);
    }
    chunksFromFormat(out, format, rf64 ? kSizeInDs64 : sizes.frames, rf64 ? kSizeInDs64 : sizes.dataBytes);
    return head;
}

}  // namespace cli
