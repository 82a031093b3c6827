// A file written through the system's unbuffered calls, with 64-bit positions:
// every byte a write reports written is in the file, and after a failed write the
// file's end says how far it got.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace cli {

class RawFile {
public:
    RawFile() = default;
    ~RawFile() { close(); }
    RawFile(const RawFile&) = delete;
    RawFile& operator=(const RawFile&) = delete;

    // Creates `path`, or empties the file there. False with the system's reason in `error`.
    bool create(const std::string& path, std::string* error);
    // Writes all of `bytes`; false with the reason on the first failure.
    bool write(const void* bytes, std::size_t count, std::string* error);
    // Positions the next write; `end` from the end of the file. The position reached
    // (the file's size for end 0), or -1.
    std::int64_t seek(std::int64_t offset, bool fromEnd);
    // Cuts the file to `size` bytes.
    bool truncate(std::uint64_t size);
    void close();
    bool isOpen() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

}  // namespace cli
