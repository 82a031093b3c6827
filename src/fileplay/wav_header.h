// Reading the header of a PCM WAV file: the format fields, the length of the
// sample data and where the samples begin.
#pragma once

#include <cstdint>
#include <cstdio>

namespace asiochan {

// The header fields in file order, each holding the file's bytes unchanged
// (little-endian, as the machines we run on).
struct WavHeader {
    std::FILE* file = nullptr;  // the open file while the reader works on it; null afterwards
    char riff[4] = {};          // "RIFF", or "RF64" for a file whose sizes may pass 4 GiB
    std::uint32_t size = 0;
    char wave_flag[4] = {};
    char fmt[4] = {};
    std::uint32_t fmt_len = 0;
    std::uint16_t tag = 0;
    std::uint16_t channels = 0;
    std::uint32_t samp_freq = 0;
    std::uint32_t byte_rate = 0;
    std::uint16_t byte_samp = 0;
    std::uint16_t bit_samp = 0;
    char data[4] = {};            // the data chunk tag as the walk or the scan found it
    std::uint32_t length = 0;     // the data chunk's size field as written
    std::uint64_t dataBytes = 0;  // bytes of sample data the players play (see readWavHeader)
    std::int32_t dataOffset = 0;  // file position of the first sample byte
};

// Reads the header of `path` into `header`. A file that starts "RIFF" ... "WAVE" or
// "RF64" ... "WAVE" has its chunks walked: the format fields come from the first
// "fmt " chunk wherever it stands, and `data`, `length` and `dataOffset` from the
// first "data" chunk after it, whatever other chunks (LIST, bext, fact, JUNK, ...)
// stand around them. Any other file, and one whose walk fails (a chunk size running
// past the end of the file before the data chunk, no "fmt " chunk, one under 16
// bytes, a data chunk beyond 2 GiB), is read the old way: the format fields at fixed
// offsets 12 to 35 without comparing any tag, and the data chunk at the first byte
// 0x64 ('d') at or after offset 36.
// `dataBytes` is the data chunk's size: in an RF64 file whose data chunk says
// 0xFFFFFFFF, the 64-bit data size of a "ds64" chunk of 28 bytes or more before it
// (without one, the 0xFFFFFFFF stands). A size that runs past the end of the file
// and is 0x7FFF0000 or more (the placeholders that writers streaming to a pipe
// leave, 0xFFFFFFFF and 0x7FFFF000) is cut at the end of the file; a smaller one (a
// file cut short) stands as written. On failure prints one fixed message to
// standard output and returns false; the file is closed on every path.
bool readWavHeader(const char* path, WavHeader& header);

// True when the players can stream a file with this header: 8, 16 or 24 bits per
// sample and a nonzero sample rate.
bool isPlayableHeader(const WavHeader& header);

// True when the header of `path` reads and is playable (the check the players'
// starts make).
bool isWavPlayable(const char* path);

}  // namespace asiochan
