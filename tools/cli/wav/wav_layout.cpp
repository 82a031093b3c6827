#include "wav/wav_layout.h"

#include <cstring>

namespace cli {

namespace {
// Writes fields one after another, little-endian.
class Fields {
public:
    explicit Fields(std::uint8_t* at) : at_(at) {}
    void tag(const char* text) {
        std::memcpy(at_, text, 4);
        at_ += 4;
    }
    void le(std::uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) *at_++ = static_cast<std::uint8_t>(value >> (8 * i));
    }
    void zeros(std::size_t count) {
        std::memset(at_, 0, count);
        at_ += count;
    }
    // The "fmt " chunk of a PCM or float file, 16 bytes.
    void format(const WavFormat& f) {
        tag("fmt ");
        le(16, 4);
        le(f.formatTag, 2);
        le(f.channels, 2);
        le(f.sampleRate, 4);
        le(std::uint64_t{f.sampleRate} * f.frameBytes(), 4);
        le(f.frameBytes(), 2);
        le(f.bitsPerSample, 2);
    }

private:
    std::uint8_t* at_;
};

constexpr std::uint64_t kReservedRiffOverhead = kReservedHeaderBytes - 8;
constexpr std::uint64_t kSizeInDs64 = 0xFFFFFFFFu;
}  // namespace

std::array<std::uint8_t, kPlainHeaderBytes> plainHeader(const WavFormat& format, std::uint32_t dataBytes) {
    std::array<std::uint8_t, kPlainHeaderBytes> head{};
    Fields out(head.data());
    out.tag("RIFF");
    out.le(36u + dataBytes, 4);
    out.tag("WAVE");
    out.format(format);
    out.tag("data");
    out.le(dataBytes, 4);
    return head;
}

bool isRf64(const WavSizes& sizes, std::uint64_t limit) { return kReservedRiffOverhead + sizes.dataBytes > limit; }

std::array<std::uint8_t, kReservedHeaderBytes> reservedHeader(const WavFormat& format, const WavSizes& sizes,
                                                              std::uint64_t limit) {
    std::array<std::uint8_t, kReservedHeaderBytes> head{};
    Fields out(head.data());
    const std::uint64_t riffBytes = kReservedRiffOverhead + sizes.dataBytes;
    const bool rf64 = isRf64(sizes, limit);
    out.tag(rf64 ? "RF64" : "RIFF");
    out.le(rf64 ? kSizeInDs64 : riffBytes, 4);
    out.tag("WAVE");
    out.tag(rf64 ? "ds64" : "JUNK");
    out.le(kDs64Bytes, 4);
    if (rf64) {
        out.le(riffBytes, 8);
        out.le(sizes.dataBytes, 8);
        out.le(sizes.frames, 8);
        out.le(0, 4);  // no table of other chunks' sizes
    } else {
        out.zeros(kDs64Bytes);
    }
    out.format(format);
    out.tag("data");
    out.le(rf64 ? kSizeInDs64 : sizes.dataBytes, 4);
    return head;
}

}  // namespace cli
