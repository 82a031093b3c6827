// WAV files for the command-line host: the facts of a file to play (for checks
// and progress) and writing a capture in the driver's input format.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cli {

struct WavInfo {
    std::uint16_t formatTag = 0;
    std::uint16_t channels = 0;
    std::uint32_t sampleRate = 0;
    std::uint16_t bitsPerSample = 0;
    std::uint64_t dataBytes = 0;
    std::uint64_t dataOffset = 0;

    double seconds() const;
};

// Reads the RIFF chunks of `path`; false with a reason in `error`.
bool readWavInfo(const std::string& path, WavInfo* info, std::string* error);
// The data chunk's bytes as far as the file holds them (a file may be shorter than
// its header says); false when the file cannot be opened or positioned.
bool readSampleData(const std::string& path, const WavInfo& info, std::vector<std::uint8_t>* bytes);
// The first channel of every frame, as signed integers of the file's width.
bool readFirstChannel(const std::string& path, const WavInfo& info, std::vector<std::int32_t>* samples,
                      std::string* error);

// Writes mono samples: `bytes` are little-endian samples of `bitsPerSample` bits,
// integer PCM (formatTag 1) or IEEE float (formatTag 3).
bool writeWav(const std::string& path, std::uint16_t formatTag, std::uint32_t sampleRate, std::uint16_t bitsPerSample,
              const std::vector<std::uint8_t>& bytes, std::string* error);

}  // namespace cli
