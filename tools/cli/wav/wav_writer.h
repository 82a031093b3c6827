// The capture's disk writer: appends frames interleaved from one buffer per
// channel to a WAV file whose header stays valid. A file that may pass 4 GiB is
// made with room for a ds64 chunk and becomes RF64 when it does (wav_layout.h).
// One thread uses a writer at a time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "wav/raw_file.h"
#include "wav/wav_layout.h"

namespace cli {

class WavWriter {
public:
    // The largest size a RIFF chunk states in 32 bits: past it a file is RF64.
    static constexpr std::uint64_t kSizeLimit = 0xFFFFFFFFu;

    // `sizeLimit` is kSizeLimit in files; tests pass a smaller one.
    explicit WavWriter(std::uint64_t sizeLimit = kSizeLimit) : limit_(sizeLimit) {}
    ~WavWriter() { close(); }
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    // Creates `path` with an empty data chunk: a plain 44-byte header (the file must
    // stay within the limit) or, with `mayGrow`, the header with room for ds64.
    bool open(const std::string& path, const WavFormat& format, bool mayGrow);
    // Appends `frames` frames from one buffer per channel, each holding them from
    // sample `first` on. False once a write failed (error() says why).
    bool writeChannels(const std::uint8_t* const* sources, std::size_t first, std::size_t frames);
    // Appends `frames` frames of zeros.
    bool writeSilence(std::uint64_t frames);
    // Drops the samples after the first `frames` frames and writes the header for
    // the rest (nothing when the file holds no more). False once a write failed.
    bool cutTo(std::uint64_t frames);
    // Writes the header for what the file holds (and the pad byte after an odd
    // number of bytes of samples) and closes it. After a failed write the file is
    // cut to its whole frames first. False when anything failed.
    bool close();

    bool failed() const { return !error_.empty(); }
    const std::string& error() const { return error_; }
    std::uint64_t frames() const { return frameBytes_ ? dataBytes_ / frameBytes_ : 0; }
    std::uint64_t dataBytes() const { return dataBytes_; }
    bool rf64() const { return reserved_ && !fitsIn32Bits(format_, true, dataBytes_, limit_); }
    // Where the samples start in the file.
    std::size_t dataOffset() const { return headerBytes(format_, reserved_); }

private:
    bool append(const std::uint8_t* bytes, std::size_t count);
    bool writeHeader();
    void fail(const std::string& why);

    std::uint64_t limit_;
    RawFile file_;
    std::string path_;
    WavFormat format_{};
    std::size_t frameBytes_ = 0;
    bool reserved_ = false;
    std::uint64_t dataBytes_ = 0;
    std::uint64_t refreshedAt_ = 0;   // dataBytes_ when the header was last written
    std::uint64_t refreshBytes_ = 0;  // samples written between two header refreshes
    std::string error_;
    std::vector<std::uint8_t> chunk_;  // frames interleaved on their way to the file
};

}  // namespace cli
