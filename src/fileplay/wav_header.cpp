#include "fileplay/wav_header.h"

#include <bit>
#include <climits>
#include <cstring>

#include "platform/platform.h"

namespace asiochan {

static_assert(std::endian::native == std::endian::little,
              "header fields are copied from the file's little-endian bytes as they stand");

namespace {

// Prints the failure message, closes the file and answers false. The messages go
// to standard output as they always have: existing callers read them there.
bool fail(WavHeader& header, const char* message) {
    std::fputs(message, stdout);
    if (header.file) std::fclose(header.file);
    header.file = nullptr;
    return false;
}

// One read request of `count` items of `itemSize` bytes; true when all arrived.
bool readItems(WavHeader& header, void* into, std::size_t itemSize, std::size_t count) {
    return std::fread(into, itemSize, count, header.file) == count;
}

// The size field of a data chunk whose true size is in the ds64 chunk.
constexpr std::uint32_t kSizeInDs64 = 0xFFFFFFFF;
// The fixed part of a ds64 chunk: the RIFF size, the data size and the sample
// count, 64 bits each, and the length of its table of further chunk sizes.
constexpr std::uint32_t kDs64Bytes = 28;
// Sizes from here up that run past the end of the file are a streaming writer's
// placeholders: ffmpeg leaves 0xFFFFFFFF, sox and espeak-ng 0x7FFFF000.
constexpr std::uint64_t kPlaceholderSizes = 0x7FFF0000;

// Walks the chunk list of a RIFF/WAVE or RF64/WAVE file from offset 12: each chunk
// is a 4-byte tag, a 4-byte size, its body and one pad byte after an odd size.
// Takes the format fields from the first "fmt " chunk and the data chunk from the
// first "data" chunk after it; every other chunk (and a "data" chunk before the
// format) is skipped by its size. In an RF64 file the data size of the first ds64
// chunk of full length stands in for a data size field of 0xFFFFFFFF. True when
// both were found; `header` is written only then. False when the format chunk is
// shorter than 16 bytes, or a chunk header cannot be read (a size ran past the end
// of the file, or there is no such chunk): the caller then falls back on the fixed
// offsets. The walk stays within the first 2 GiB, which is as far as the players
// can seek; every step moves forward by at least 8 bytes.
bool walkChunks(WavHeader& header, bool rf64) {
    std::FILE* const file = header.file;
    WavHeader found = header;
    bool haveFormat = false;
    bool haveDs64 = false;
    std::uint64_t ds64DataBytes = 0;
    for (std::uint64_t at = 12; at + 8 <= INT32_MAX;) {
        unsigned char chunk[8];
        if (std::fseek(file, static_cast<long>(at), SEEK_SET) != 0 || std::fread(chunk, 1, 8, file) != 8)
            return false;
        std::uint32_t size;
        std::memcpy(&size, chunk + 4, sizeof size);
        if (rf64 && !haveDs64 && std::memcmp(chunk, "ds64", 4) == 0) {
            unsigned char sizes[16];  // the RIFF size, then the data size
            haveDs64 = size >= kDs64Bytes && std::fread(sizes, 1, sizeof sizes, file) == sizeof sizes;
            if (haveDs64) std::memcpy(&ds64DataBytes, sizes + 8, sizeof ds64DataBytes);
        } else if (!haveFormat && std::memcmp(chunk, "fmt ", 4) == 0) {
            unsigned char fields[16];
            if (size < sizeof fields || std::fread(fields, 1, sizeof fields, file) != sizeof fields) return false;
            std::memcpy(found.fmt, chunk, 4);
            found.fmt_len = size;
            std::memcpy(&found.tag, fields, 2);
            std::memcpy(&found.channels, fields + 2, 2);
            std::memcpy(&found.samp_freq, fields + 4, 4);
            std::memcpy(&found.byte_rate, fields + 8, 4);
            std::memcpy(&found.byte_samp, fields + 12, 2);
            std::memcpy(&found.bit_samp, fields + 14, 2);
            haveFormat = true;
        } else if (haveFormat && std::memcmp(chunk, "data", 4) == 0) {
            std::memcpy(found.data, chunk, 4);
            found.length = size;
            found.dataBytes = haveDs64 && size == kSizeInDs64 ? ds64DataBytes : size;
            found.dataOffset = static_cast<std::int32_t>(at + 8);
            header = found;
            return true;
        }
        at += 8 + std::uint64_t{size} + (size & 1);
    }
    return false;
}

// What of a data chunk of `size` bytes at `offset` plays: all of it, but a
// placeholder size that runs past the end of the file only up to that end.
std::uint64_t playedBytes(std::uint64_t size, std::uint64_t offset, std::uint64_t fileBytes) {
    const std::uint64_t held = offset < fileBytes ? fileBytes - offset : 0;
    return size > held && size >= kPlaceholderSizes ? held : size;
}

// Compatibility rule for files that are not RIFF/WAVE or whose chunks cannot be
// walked: the data chunk is taken to start at the next byte 'd' after the format
// fields at their fixed offsets. Files that callers already play rely on it:
// whatever lies between the format fields and that byte (a longer format chunk,
// other chunks) is skipped, whatever its size fields say.
// True with the 'd' consumed; false at the end of the file.
bool scanToDataChunk(WavHeader& header) {
    for (int c = std::fgetc(header.file); c != EOF; c = std::fgetc(header.file))
        if (c == 'd') return true;
    return false;
}

// The fields from `fmt` on at their fixed offsets, the stream standing at offset
// 12, then the data chunk by the scan. False after printing the failing field's
// message (the file is closed then).
bool readAtFixedOffsets(WavHeader& header) {
    if (!readItems(header, header.fmt, 1, 4)) return fail(header, "read fmt error!\n");
    if (!readItems(header, &header.fmt_len, 4, 1)) return fail(header, "read fmt_len error!\n");
    if (!readItems(header, &header.tag, 2, 1)) return fail(header, "read tag error!\n");
    if (!readItems(header, &header.channels, 2, 1)) return fail(header, "read channels error!\n");
    if (!readItems(header, &header.samp_freq, 4, 1)) return fail(header, "read samp_freq error!\n");
    if (!readItems(header, &header.byte_rate, 4, 1)) return fail(header, "read byte_rate error!\n");
    if (!readItems(header, &header.byte_samp, 2, 1)) return fail(header, "read byte_samp error!\n");
    if (!readItems(header, &header.bit_samp, 2, 1)) return fail(header, "read bit_samp error!\n");

    if (!scanToDataChunk(header)) return fail(header, "data chunk not found!\n");
    header.data[0] = 'd';
    for (int i = 1; i < 4; ++i) {
        const int c = std::fgetc(header.file);
        if (c == EOF) return fail(header, "read header data error!\n");
        header.data[i] = static_cast<char>(c);
    }

    if (!readItems(header, &header.length, 4, 1)) return fail(header, "read length error!\n");

    // Players seek to this position with a signed 32-bit offset.
    const long position = std::ftell(header.file);
    if (position < 0 || position > INT32_MAX) return fail(header, "data offset out of range!\n");
    header.dataOffset = static_cast<std::int32_t>(position);
    header.dataBytes = header.length;
    return true;
}

}  // namespace

bool readWavHeader(const char* path, WavHeader& header) {
    header.file = path ? platform::openFile(path, "rb") : nullptr;
    if (header.file == nullptr) return fail(header, "file open failure!\n");

    if (!readItems(header, header.riff, 1, 4)) return fail(header, "read riff error!\n");
    if (!readItems(header, &header.size, 4, 1)) return fail(header, "read size error!\n");
    if (!readItems(header, header.wave_flag, 1, 4)) return fail(header, "read wave_flag error!\n");

    const bool rf64 = std::memcmp(header.riff, "RF64", 4) == 0;
    const bool riffWave =
        (rf64 || std::memcmp(header.riff, "RIFF", 4) == 0) && std::memcmp(header.wave_flag, "WAVE", 4) == 0;
    if (!riffWave || !walkChunks(header, rf64)) {
        if (riffWave && std::fseek(header.file, 12, SEEK_SET) != 0) return fail(header, "read fmt error!\n");
        if (!readAtFixedOffsets(header)) return false;
    }
    // A file whose length cannot be told keeps the sizes as written.
    std::uint64_t fileBytes = UINT64_MAX;
    if (!platform::fileLength(header.file, fileBytes)) fileBytes = UINT64_MAX;
    header.dataBytes = playedBytes(header.dataBytes, static_cast<std::uint64_t>(header.dataOffset), fileBytes);
    std::fclose(header.file);
    header.file = nullptr;
    return true;
}

bool isPlayableHeader(const WavHeader& header) {
    const bool widthOk = header.bit_samp == 8 || header.bit_samp == 16 || header.bit_samp == 24;
    return widthOk && header.samp_freq != 0;
}

bool isWavPlayable(const char* path) {
    WavHeader header;
    return readWavHeader(path, header) && isPlayableHeader(header);
}

}  // namespace asiochan
