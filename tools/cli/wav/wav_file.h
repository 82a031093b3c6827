// WAV files for the command-line host: the facts of a file to play (for checks
// and progress) and writing a whole file at once (a capture streams through
// wav_writer.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cli {

struct WavInfo {
    std::uint16_t formatTag = 0;
    // 1 integer PCM, 3 IEEE float: the format tag, or for the extensible format
    // (0xFFFE) the code its subformat begins with.
    std::uint16_t sampleFormat = 0;
    std::uint16_t channels = 0;
    std::uint32_t sampleRate = 0;
    std::uint16_t bitsPerSample = 0;
    std::uint64_t dataBytes = 0;  // what plays: see readWavInfo
    std::uint64_t dataOffset = 0;

    double seconds() const;
    bool isFloat() const { return sampleFormat == 3; }
    unsigned frameBytes() const { return (bitsPerSample / 8u) * (channels ? channels : 1u); }
    std::uint64_t frames() const { return frameBytes() ? dataBytes / frameBytes() : 0; }
};

// Reads the chunks of a RIFF/WAVE or RF64/WAVE file: the first "fmt " chunk and the
// first "data" chunk after it, as the library's players do. The data size is the
// data chunk's, or in an RF64 file whose data chunk says 0xFFFFFFFF the 64-bit one of
// a ds64 chunk of 28 bytes or more; a size that runs past the end of the file and is
// 0x7FFF0000 or more (a streaming writer's placeholder) ends with the file, a smaller
// one stands. False with a reason in `error`.
bool readWavInfo(const std::string& path, WavInfo* info, std::string* error);
// The data chunk's bytes as far as the file holds them (a file may be shorter than
// its header says); false when the file cannot be opened or positioned.
bool readSampleData(const std::string& path, const WavInfo& info, std::vector<std::uint8_t>* bytes);
// `count` whole frames from frame `first` on; frames past the end of the file (but
// within the data chunk's stated length) read as silence. False when the file cannot
// be opened or positioned.
bool readFrames(const std::string& path, const WavInfo& info, std::uint64_t first, std::size_t count,
                std::vector<std::uint8_t>* bytes);
// File channel `channel` of every frame as the 32-bit words the library's players
// make of it at `volume` (player_word.h).
bool readChannelWords(const std::string& path, const WavInfo& info, unsigned channel, float volume,
                      std::vector<std::int32_t>* words, std::string* error);

// Writes little-endian samples of `bitsPerSample` bits, integer PCM (formatTag 1) or
// IEEE float (formatTag 3), laid out as wav_layout.h says: `bytes` holds whole
// frames of `channels` samples.
bool writeWav(const std::string& path, std::uint16_t formatTag, std::uint32_t sampleRate, std::uint16_t bitsPerSample,
              const std::vector<std::uint8_t>& bytes, std::string* error, std::uint16_t channels = 1);

}  // namespace cli
