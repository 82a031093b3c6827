#include "fileplay/wav_header.h"

#include <bit>
#include <climits>

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

// Compatibility rule: the data chunk is taken to start at the next byte 'd' after
// the format fields, without walking the chunk list. Files that callers already
// play rely on it: whatever lies between the format fields and that byte (a
// longer format chunk, other chunks) is skipped, whatever its size fields say.
// True with the 'd' consumed; false at the end of the file.
bool scanToDataChunk(WavHeader& header) {
    for (int c = std::fgetc(header.file); c != EOF; c = std::fgetc(header.file))
        if (c == 'd') return true;
    return false;
}

}  // namespace

bool readWavHeader(const char* path, WavHeader& header) {
    header.file = path ? platform::openFile(path, "rb") : nullptr;
    if (header.file == nullptr) return fail(header, "file open failure!\n");

    if (!readItems(header, header.riff, 1, 4)) return fail(header, "read riff error!\n");
    if (!readItems(header, &header.size, 4, 1)) return fail(header, "read size error!\n");
    if (!readItems(header, header.wave_flag, 1, 4)) return fail(header, "read wave_flag error!\n");
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
