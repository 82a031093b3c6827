// Test WAV files: canonical headers around chosen sample bytes, written to a
// temporary folder that lives as long as the fixture.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace asiochan::testing {

struct WavFormat {
    std::uint16_t channels = 1;
    std::uint32_t sampFreq = 1000;
    std::uint16_t bits = 16;
};

inline void putLe(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// A canonical 44-byte header; `dataLength` is what the header claims (by default
// the size of `samples`).
inline std::vector<std::uint8_t> wavBytes(const WavFormat& f, const std::vector<std::uint8_t>& samples,
                                          std::int64_t dataLength = -1) {
    const auto length = static_cast<std::uint32_t>(dataLength < 0 ? samples.size() : dataLength);
    std::vector<std::uint8_t> out;
    for (char c : std::string("RIFF")) out.push_back(static_cast<std::uint8_t>(c));
    putLe(out, 36 + length, 4);
    for (char c : std::string("WAVEfmt ")) out.push_back(static_cast<std::uint8_t>(c));
    putLe(out, 16, 4);
    putLe(out, 1, 2);
    putLe(out, f.channels, 2);
    putLe(out, f.sampFreq, 4);
    putLe(out, f.sampFreq * f.channels * (f.bits / 8u), 4);
    putLe(out, f.channels * (f.bits / 8u), 2);
    putLe(out, f.bits, 2);
    for (char c : std::string("data")) out.push_back(static_cast<std::uint8_t>(c));
    putLe(out, length, 4);
    out.insert(out.end(), samples.begin(), samples.end());
    return out;
}

// 16-bit little-endian sample bytes of `values`.
inline std::vector<std::uint8_t> pcm16(const std::vector<std::int16_t>& values) {
    std::vector<std::uint8_t> out;
    for (std::int16_t v : values) putLe(out, static_cast<std::uint16_t>(v), 2);
    return out;
}

class TempFolder {
public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "asiochan-wav.XXXXXX").string();
        path_ = ::mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~TempFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return path_; }

    // Writes `bytes` to `name` in the folder and returns the file's path.
    std::string write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
        const std::string file = path_ + "/" + name;
        if (std::FILE* f = std::fopen(file.c_str(), "wb")) {
            if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
        return file;
    }

private:
    std::string path_;
};

}  // namespace asiochan::testing
