#include "wav/raw_file.h"

#include <cerrno>
#include <cstring>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace cli {

namespace {
#if defined(_WIN32)
int openFile(const char* path) {
    return _open(path, _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
}
// At most 1 GiB a call: the call takes an unsigned count and answers an int.
long writeSome(int fd, const void* bytes, std::size_t count) {
    return _write(fd, bytes, static_cast<unsigned>(count < (1u << 30) ? count : (1u << 30)));
}
std::int64_t seekTo(int fd, std::int64_t offset, int whence) { return _lseeki64(fd, offset, whence); }
bool cutTo(int fd, std::uint64_t size) { return _chsize_s(fd, static_cast<__int64>(size)) == 0; }
void closeFile(int fd) { _close(fd); }
#else
int openFile(const char* path) { return ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666); }
long writeSome(int fd, const void* bytes, std::size_t count) {
    return static_cast<long>(::write(fd, bytes, count < (1u << 30) ? count : (1u << 30)));
}
std::int64_t seekTo(int fd, std::int64_t offset, int whence) { return ::lseek(fd, offset, whence); }
bool cutTo(int fd, std::uint64_t size) { return ::ftruncate(fd, static_cast<off_t>(size)) == 0; }
void closeFile(int fd) { ::close(fd); }
#endif
}  // namespace

bool RawFile::create(const std::string& path, std::string* error) {
    close();
    fd_ = openFile(path.c_str());
    if (fd_ >= 0) return true;
    *error = "cannot create " + path + ": " + std::strerror(errno);
    return false;
}

bool RawFile::write(const void* bytes, std::size_t count, std::string* error) {
    const auto* at = static_cast<const std::uint8_t*>(bytes);
    while (count > 0) {
        const long done = writeSome(fd_, at, count);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) {
            // A write that took nothing without an error is a full disk all the same.
            *error = std::strerror(done < 0 ? errno : ENOSPC);
            return false;
        }
        at += done;
        count -= static_cast<std::size_t>(done);
    }
    return true;
}

std::int64_t RawFile::seek(std::int64_t offset, bool fromEnd) {
    return fd_ < 0 ? -1 : seekTo(fd_, offset, fromEnd ? SEEK_END : SEEK_SET);
}

bool RawFile::truncate(std::uint64_t size) { return fd_ >= 0 && cutTo(fd_, size); }

void RawFile::close() {
    if (fd_ >= 0) closeFile(fd_);
    fd_ = -1;
}

}  // namespace cli
