// Files and small helpers for the Windows test hosts: a temporary folder, WAV
// files, byte patterns, and waiting on a condition.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// A folder of its own under the temporary folder, named after `label` and the
// process id; its files are removed (best effort) at the end.
class TempFolder {
public:
    explicit TempFolder(const char* label) {
        char base[MAX_PATH];
        GetTempPathA(MAX_PATH, base);
        path_ = std::string(base) + "asiochan-" + label + "-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(path_.c_str(), nullptr);
    }
    ~TempFolder() {
        WIN32_FIND_DATAA found;
        HANDLE h = FindFirstFileA((path_ + "\\*").c_str(), &found);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                const std::string name = found.cFileName;
                if (name != "." && name != "..") DeleteFileA((path_ + "\\" + name).c_str());
            } while (FindNextFileA(h, &found));
            FindClose(h);
        }
        RemoveDirectoryA(path_.c_str());
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

inline void putLe(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// A canonical PCM WAV file around `samples`.
inline std::vector<std::uint8_t> wavFile(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
                                         const std::vector<std::uint8_t>& samples) {
    std::vector<std::uint8_t> out;
    const auto length = static_cast<std::uint32_t>(samples.size());
    for (char c : std::string("RIFF")) out.push_back(static_cast<std::uint8_t>(c));
    putLe(out, 36 + length, 4);
    for (char c : std::string("WAVEfmt ")) out.push_back(static_cast<std::uint8_t>(c));
    putLe(out, 16, 4);
    putLe(out, 1, 2);
    putLe(out, channels, 2);
    putLe(out, rate, 4);
    putLe(out, rate * channels * (bits / 8u), 4);
    putLe(out, channels * (bits / 8u), 2);
    putLe(out, bits, 2);
    for (char c : std::string("data")) out.push_back(static_cast<std::uint8_t>(c));
    putLe(out, length, 4);
    out.insert(out.end(), samples.begin(), samples.end());
    return out;
}

// 16-bit samples first, first + 1, ...
inline std::vector<std::uint8_t> pcm16Ramp(int count, int first) {
    std::vector<std::uint8_t> out;
    for (int i = 0; i < count; ++i) putLe(out, static_cast<std::uint16_t>(first + i), 2);
    return out;
}

inline bool writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    std::fclose(f);
    return ok;
}

inline std::vector<std::uint8_t> readFile(const std::string& path) {
    std::vector<std::uint8_t> bytes;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return bytes;
    std::uint8_t chunk[4096];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
    std::fclose(f);
    return bytes;
}

// Pseudo-random bytes, never zero (so they cannot be mistaken for silence).
inline std::vector<std::uint8_t> noiseBytes(std::size_t length, std::uint32_t seed) {
    std::vector<std::uint8_t> b(length);
    for (auto& v : b) {
        seed = seed * 1664525u + 1013904223u;
        v = static_cast<std::uint8_t>((seed >> 24) | 1);
    }
    return b;
}

// Polls `done` every millisecond for up to `timeoutMs`.
template <typename F>
bool waitFor(F done, DWORD timeoutMs = 10000) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(1);
    }
    return true;
}
