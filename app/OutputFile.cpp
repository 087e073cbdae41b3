#include "app/OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <utility>

#if defined(_WIN32)
#include <direct.h>
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace undelete {
namespace {

#if defined(_WIN32)
using FileStat = struct _stat64;
int statPath(const std::string& path, FileStat& st) { return _stat64(path.c_str(), &st); }
int openNew(const std::string& path) {
    return _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
}
int openExisting(const std::string& path) { return _open(path.c_str(), _O_WRONLY | _O_BINARY); }
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
int closeFd(int fd) { return _close(fd); }
// Where the file system keeps sparse files, a skipped run takes no space;
// elsewhere the system fills what a seek passed over with zeros itself.
void keepHoles(int fd) {
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    if (handle == INVALID_HANDLE_VALUE) return;
    DWORD returned = 0;
    DeviceIoControl(handle, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
}
bool isRegular(const FileStat& st) { return (st.st_mode & _S_IFREG) != 0; }
bool isFolder(const FileStat& st) { return (st.st_mode & _S_IFDIR) != 0; }
int makeFolder(const std::string& path) { return _mkdir(path.c_str()); }
constexpr char kSeparator = '\\';
bool replaceWith(const std::string& temporary, const std::string& path) {
    return MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}
void keepMode(int, const FileStat&) {}
#else
using FileStat = struct stat;
int statPath(const std::string& path, FileStat& st) { return ::stat(path.c_str(), &st); }
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
int closeFd(int fd) { return ::close(fd); }
void keepHoles(int) {}  // a seek past the end leaves a hole by itself
bool isRegular(const FileStat& st) { return S_ISREG(st.st_mode); }
bool isFolder(const FileStat& st) { return S_ISDIR(st.st_mode); }
int makeFolder(const std::string& path) { return ::mkdir(path.c_str(), 0777); }
constexpr char kSeparator = '/';
bool replaceWith(const std::string& temporary, const std::string& path) {
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}
// The replacement keeps the permissions of the file it replaces.
void keepMode(int fd, const FileStat& st) { (void)::fchmod(fd, st.st_mode & 07777); }
#endif

// A name beside `path` that does not exist yet, opened for writing.
int openBeside(const std::string& path, std::string& temporary) {
    for (int n = 0; n < 100; ++n) {
        temporary = path + ".undelete-partial" + (n ? "-" + std::to_string(n) : std::string());
        const int fd = openNew(temporary);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// A name part safe on every file system: no separators, no control bytes,
// no characters Windows refuses, not "." or "..".
std::string safeName(const std::string& name) {
    std::string out;
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        const bool bad = u < 0x20 || u == 0x7F || c == '/' || c == '\\' || c == ':' || c == '*' ||
                         c == '?' || c == '"' || c == '<' || c == '>' || c == '|';
        out += bad ? '_' : c;
    }
    if (out == "." || out == "..") out.clear();
    return out;
}

bool exists(const std::string& path) {
    FileStat st{};
    return statPath(path, st) == 0;
}

// Makes `folder` and the parts of `relative` below it; returns the path of
// the deepest folder.
bool makeFolders(const std::string& folder, const std::string& relative, std::string& made) {
    made = folder;
    size_t at = 0;
    while (at <= relative.size()) {
        size_t end = relative.find('/', at);
        if (end == std::string::npos) end = relative.size();
        const std::string part = safeName(relative.substr(at, end - at));
        at = end + 1;
        if (part.empty()) continue;
        made += kSeparator + part;
        FileStat st{};
        if (statPath(made, st) == 0) {
            if (!isFolder(st)) return false;
            continue;
        }
        if (makeFolder(made) != 0 && errno != EEXIST) return false;
    }
    return true;
}

}  // namespace

bool makeSavePath(const std::string& folder, const DeletedFile& file, uint64_t index,
                  std::string& path) {
    std::string where;
    if (!makeFolders(folder, file.path, where)) return false;
    std::string name = safeName(file.name);
    if (name.empty()) name = "file-" + std::to_string(index);
    const size_t dot = name.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot > 0;
    const std::string stem = hasExtension ? name.substr(0, dot) : name;
    const std::string extension = hasExtension ? name.substr(dot) : std::string();
    for (int n = 0; n < 10000; ++n) {
        path = where + kSeparator + (n == 0 ? name : stem + " (" + std::to_string(n) + ")" + extension);
        if (!exists(path)) return true;
    }
    return false;
}

OutputFile::OutputFile(std::string path) : path_(std::move(path)) {}

OutputFile::~OutputFile() {
    if (!finished_) discard();
}

bool OutputFile::fail(int error) {
    if (error_ == 0) error_ = error != 0 ? error : EIO;
    return false;
}

bool OutputFile::begin(uint64_t length) {
    if (fd_ >= 0 || finished_) return fail(EINVAL);
    length_ = length;
    position_ = 0;
    FileStat st{};
    if (statPath(path_, st) != 0) {
        if (errno != ENOENT) return fail(errno);
        fd_ = openNew(path_);
        if (fd_ < 0) return fail(errno);
        created_ = true;
        return true;
    }
    if (!isRegular(st)) {
        // A device or pipe is written as it is: nothing to replace.
        fd_ = openExisting(path_);
        if (fd_ < 0) return fail(errno);
        seekable_ = false;
        return true;
    }
    fd_ = openBeside(path_, temporary_);
    if (fd_ < 0) {
        temporary_.clear();
        return fail(errno);
    }
    keepMode(fd_, st);
    return true;
}

bool OutputFile::write(const uint8_t* bytes, size_t count) {
    if (fd_ < 0 || count > length_ - position_) return fail(EINVAL);
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
    if (fd_ < 0 || count > length_ - position_) return fail(EINVAL);
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

bool OutputFile::closeFile() {
    if (fd_ < 0) return true;
    const int result = closeFd(fd_);
    fd_ = -1;
    return result == 0 || fail(errno);
}

bool OutputFile::finish() {
    if (fd_ < 0 || position_ != length_) return fail(0);
    // A trailing hole is made part of the file by its length.
    if (seekable_ && !setLength(fd_, length_)) return fail(errno);
    if (!closeFile()) return false;
    if (!temporary_.empty()) {
        if (!replaceWith(temporary_, path_)) return fail(errno);
        temporary_.clear();
    }
    finished_ = true;
    return true;
}

void OutputFile::discard() {
    const int saved = errno;
    closeFile();
    if (!temporary_.empty()) std::remove(temporary_.c_str());
    if (created_) std::remove(path_.c_str());
    temporary_.clear();
    created_ = false;
    errno = saved;
}

}  // namespace undelete
