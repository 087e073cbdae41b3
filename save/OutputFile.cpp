#include "save/OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "save/FileSystem.h"

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace undelete {
namespace {

#if defined(_WIN32)
int openNew(const std::string& path) {
    return _wopen(systemPath(path).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY,
                  _S_IREAD | _S_IWRITE);
}
int openExisting(const std::string& path) {
    return _wopen(systemPath(path).c_str(), _O_WRONLY | _O_BINARY);
}
long long writeSome(int fd, const uint8_t* p, size_t n) {
    const unsigned chunk = static_cast<unsigned>(std::min<size_t>(n, 1u << 30));
    return _write(fd, p, chunk);
}
bool seekAhead(int fd, uint64_t count) {
    return _lseeki64(fd, static_cast<long long>(count), SEEK_CUR) >= 0;
}
bool setLength(int fd, uint64_t length) {
    return _chsize_s(fd, static_cast<long long>(length)) == 0;
}
bool flushToStorage(int fd) { return _commit(fd) == 0; }  // FlushFileBuffers
int closeFd(int fd) { return _close(fd); }
// Where the file system keeps sparse files, a skipped run takes no space;
// elsewhere the system fills what a seek passed over with zeros itself.
void keepHoles(int fd) {
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    if (handle == INVALID_HANDLE_VALUE) return;
    DWORD returned = 0;
    DeviceIoControl(handle, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
}
void changeMode(int, unsigned) {}
#else
int openNew(const std::string& path) {
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}
int openExisting(const std::string& path) { return ::open(path.c_str(), O_WRONLY | O_CLOEXEC); }
long long writeSome(int fd, const uint8_t* p, size_t n) {
    return ::write(fd, p, std::min<size_t>(n, 1u << 30));
}
bool seekAhead(int fd, uint64_t count) {
    return count <= INT64_MAX && ::lseek(fd, static_cast<off_t>(count), SEEK_CUR) >= 0;
}
bool setLength(int fd, uint64_t length) {
    return length <= INT64_MAX && ::ftruncate(fd, static_cast<off_t>(length)) == 0;
}
bool flushToStorage(int fd) { return ::fsync(fd) == 0; }
int closeFd(int fd) { return ::close(fd); }
void keepHoles(int) {}  // a seek past the end leaves a hole by itself
void changeMode(int fd, unsigned mode) { (void)::fchmod(fd, static_cast<mode_t>(mode & 07777)); }
#endif

}  // namespace

OutputFile::~OutputFile() {
    close();
}

bool OutputFile::fail(int error) {
    if (error_ == 0) error_ = error != 0 ? error : EIO;
    return false;
}

bool OutputFile::create(const std::string& path) {
    if (fd_ >= 0) return fail(EINVAL);
    error_ = 0;
    fd_ = openNew(path);
    return fd_ >= 0 || fail(errno);
}

bool OutputFile::openDevice(const std::string& path) {
    if (fd_ >= 0) return fail(EINVAL);
    error_ = 0;
    fd_ = openExisting(path);
    seekable_ = false;
    return fd_ >= 0 || fail(errno);
}

void OutputFile::setMode(unsigned mode) {
    if (fd_ >= 0) changeMode(fd_, mode);
}

bool OutputFile::begin(uint64_t length) {
    if (fd_ < 0 || begun_) return fail(EINVAL);
    begun_ = true;
    length_ = length;
    position_ = 0;
    return true;
}

bool OutputFile::write(const uint8_t* bytes, size_t count) {
    if (fd_ < 0 || !begun_ || count > length_ - position_) return fail(EINVAL);
    while (count > 0) {
        const long long n = writeSome(fd_, bytes, count);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return fail(n < 0 ? errno : EIO);
        bytes += n;
        count -= static_cast<size_t>(n);
        position_ += static_cast<uint64_t>(n);
    }
    return true;
}

bool OutputFile::skip(uint64_t count) {
    if (fd_ < 0 || !begun_ || count > length_ - position_) return fail(EINVAL);
    if (seekable_) {
        if (!holesAsked_) keepHoles(fd_);
        holesAsked_ = true;
        if (!seekAhead(fd_, count)) return fail(errno);
        position_ += count;
        return true;
    }
    static const uint8_t zeros[64 * 1024] = {};
    while (count > 0) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(count, sizeof zeros));
        if (!write(zeros, n)) return false;
        count -= n;
    }
    return true;
}

bool OutputFile::lost(uint64_t count) {
    if (!skip(count)) return false;
    lost_ += count;
    return true;
}

bool OutputFile::finish(bool flush) {
    if (fd_ < 0 || !begun_ || position_ != length_) return fail(0);
    if (seekable_) {
        // A trailing hole is made part of the file by its length; the bytes
        // reach the storage before the file may take its final name.
        if (!setLength(fd_, length_)) return fail(errno);
        if (flush && !flushToStorage(fd_)) return fail(errno);
    }
    const int result = closeFd(fd_);
    fd_ = -1;
    return result == 0 || fail(errno);
}

void OutputFile::close() {
    if (fd_ < 0) return;
    const int saved = errno;
    closeFd(fd_);
    fd_ = -1;
    errno = saved;
}

}  // namespace undelete
