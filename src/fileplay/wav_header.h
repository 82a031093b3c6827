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
    char riff[4] = {};
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
    std::uint32_t length = 0;     // bytes of sample data
    std::int32_t dataOffset = 0;  // file position of the first sample byte
};

// Reads the header of `path` into `header`. A file that starts "RIFF" ... "WAVE" has
// its chunks walked: the format fields come from the first "fmt " chunk wherever it
// stands, and `data`, `length` and `dataOffset` from the first "data" chunk after
// it, whatever other chunks (LIST, bext, fact, JUNK, ...) stand around them.
// `length` is the data chunk's size as written, also when the file is shorter.
// Any other file, and one whose walk fails (a chunk size running past the end of
// the file before the data chunk, no "fmt " chunk, one under 16 bytes, a data chunk
// beyond 2 GiB), is read the old way: the format fields at fixed offsets 12 to 35
// without comparing any tag, and the data chunk at the first byte 0x64 ('d') at or
// after offset 36. On failure prints one fixed message to standard output and
// returns false; the file is closed on every path.
bool readWavHeader(const char* path, WavHeader& header);

// True when the players can stream a file with this header: 8, 16 or 24 bits per
// sample and a nonzero sample rate.
bool isPlayableHeader(const WavHeader& header);

// True when the header of `path` reads and is playable (the check the players'
// starts make).
bool isWavPlayable(const char* path);

}  // namespace asiochan
