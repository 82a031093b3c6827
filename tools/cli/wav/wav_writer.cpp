#include "wav/wav_writer.h"

#include <algorithm>

#include "wav/interleave.h"

namespace cli {

namespace {
// Frames go to the file in pieces of about this size: small enough to stay in
// the cache between interleaving and writing, large enough for few calls.
constexpr std::size_t kChunkBytes = 1024 * 1024;
// The header is brought up to date after every half second of audio, and frames
// go to the file in pieces of at most that much, so that a process that dies
// leaves a file whose header is less than a second of audio behind its samples.
std::uint64_t refreshBytes(const WavFormat& format) {
    return std::max<std::uint64_t>(std::uint64_t{format.sampleRate} * format.frameBytes() / 2, format.frameBytes());
}
}  // namespace

bool WavWriter::open(const std::string& path, const WavFormat& format, bool mayGrow) {
    close();
    path_ = path;
    format_ = format;
    frameBytes_ = format.frameBytes();
    reserved_ = mayGrow;
    dataBytes_ = 0;
    refreshedAt_ = 0;
    error_.clear();
    if (frameBytes_ == 0) {
        fail("no sample width");
        return false;
    }
    refreshBytes_ = refreshBytes(format);
    const auto chunkBytes = static_cast<std::size_t>(std::min<std::uint64_t>(kChunkBytes, refreshBytes_));
    chunk_.resize(std::max<std::size_t>(1, chunkBytes / frameBytes_) * frameBytes_);
    std::string why;
    if (!file_.create(path, &why)) {
        error_ = why;
        return false;
    }
    return writeHeader();
}

void WavWriter::fail(const std::string& why) {
    if (error_.empty()) error_ = "cannot write " + path_ + ": " + why;
}

bool WavWriter::append(const std::uint8_t* bytes, std::size_t count) {
    if (failed() || !file_.isOpen()) return false;
    if (!reserved_ && !fitsIn32Bits(format_, false, dataBytes_ + count, limit_)) {
        fail("a WAV file holds no more than 4 GiB");
        return false;
    }
    std::string why;
    if (!file_.write(bytes, count, &why)) {
        fail(why);
        return false;
    }
    dataBytes_ += count;
    if (dataBytes_ - refreshedAt_ >= refreshBytes_) return writeHeader();
    return true;
}

bool WavWriter::writeChannels(const std::uint8_t* const* sources, std::size_t first, std::size_t frames) {
    const std::size_t chunkFrames = chunk_.size() / std::max<std::size_t>(frameBytes_, 1);
    const std::size_t width = format_.bitsPerSample / 8u;
    for (std::size_t done = 0; done < frames;) {
        const std::size_t n = std::min(chunkFrames, frames - done);
        interleave(sources, format_.channels, width, first + done, n, chunk_.data());
        if (!append(chunk_.data(), n * frameBytes_)) return false;
        done += n;
    }
    return !failed();
}

bool WavWriter::writeSilence(std::uint64_t frames) {
    const std::size_t chunkFrames = chunk_.size() / std::max<std::size_t>(frameBytes_, 1);
    std::fill(chunk_.begin(), chunk_.end(), std::uint8_t{0});
    for (std::uint64_t done = 0; done < frames;) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(chunkFrames, frames - done));
        if (!append(chunk_.data(), n * frameBytes_)) return false;
        done += n;
    }
    return !failed();
}

bool WavWriter::writeHeader() {
    std::string why;
    const WavSizes sizes{dataBytes_, frames()};
    const std::vector<std::uint8_t> head =
        reserved_ ? reservedHeader(format_, sizes, limit_) : plainHeader(format_, sizes);
    const auto end = static_cast<std::int64_t>(head.size() + dataBytes_);
    bool written = file_.seek(0, false) == 0 && file_.write(head.data(), head.size(), &why);
    // The pad byte after an odd number of bytes of samples; the next samples, if
    // any, overwrite it.
    const std::uint8_t pad = 0;
    written = written && file_.seek(end, false) == end && ((dataBytes_ & 1) == 0 || file_.write(&pad, 1, &why));
    written = written && file_.seek(end, false) == end;
    if (!written) fail(why.empty() ? "cannot position in the file" : why);
    refreshedAt_ = dataBytes_;
    return written;
}

bool WavWriter::cutTo(std::uint64_t frames) {
    if (failed() || !file_.isOpen()) return false;
    if (frames >= this->frames()) return true;
    dataBytes_ = frames * frameBytes_;
    if (!file_.truncate(dataOffset() + dataBytes_)) fail("cannot shorten the file");
    return writeHeader() && !failed();
}

bool WavWriter::close() {
    if (!file_.isOpen()) return !failed();
    if (failed()) {
        // The failed write may have left part of its bytes: the whole frames on the
        // disk stay, the rest is cut off.
        const std::int64_t end = file_.seek(0, true);
        if (end >= 0) {
            const auto head = static_cast<std::int64_t>(dataOffset());
            const std::uint64_t held = end > head ? static_cast<std::uint64_t>(end - head) : 0;
            dataBytes_ = held / frameBytes_ * frameBytes_;
            file_.truncate(dataOffset() + dataBytes_);
        }
    }
    writeHeader();
    file_.close();
    return !failed();
}

}  // namespace cli
