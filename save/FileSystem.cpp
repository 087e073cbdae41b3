#include "save/FileSystem.h"

#include "common/Text.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#if defined(_WIN32)
#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <wchar.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace undelete {
namespace {

bool isSeparator(char c) {
#if defined(_WIN32)
    return c == '\\' || c == '/';
#else
    return c == '/';
#endif
}

size_t lastSeparator(const std::string& path) {
    for (size_t i = path.size(); i > 0; --i) {
        if (isSeparator(path[i - 1])) return i - 1;
    }
    return std::string::npos;
}

#if defined(_WIN32)
std::wstring wideOf(const std::string& text) { return wideText(text); }

int errnoOf(DWORD error) {
    switch (error) {
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS: return EEXIST;
    case ERROR_ACCESS_DENIED: return EACCES;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return ENOENT;
    case ERROR_DISK_FULL: return ENOSPC;
    default: return EIO;
    }
}
#endif

}  // namespace

#if defined(_WIN32)
std::wstring systemPath(const std::string& path) {
    const std::wstring wide = wideOf(path);
    if (wide.empty() || wide.rfind(L"\\\\", 0) == 0) return wide;
    const DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (size == 0) return wide;
    std::wstring full(size, L'\0');
    const DWORD length = GetFullPathNameW(wide.c_str(), size, &full[0], nullptr);
    if (length == 0 || length >= size) return wide;
    full.resize(length);
    return L"\\\\?\\" + full;
}
#endif

FileInfo inspect(const std::string& path) {
    FileInfo info;
#if defined(_WIN32)
    // Not _wstat64: the runtime's stat refuses a path with '?' in it, as
    // every \\?\ path has.
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(systemPath(path).c_str(), GetFileExInfoStandard, &data)) {
        info.error = errnoOf(GetLastError());
        return info;
    }
    info.kind = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FileKind::Folder
                                                                        : FileKind::File;
    return info;
#else
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        info.error = errno;
        return info;
    }
    info.kind = S_ISDIR(st.st_mode)   ? FileKind::Folder
                : S_ISREG(st.st_mode) ? FileKind::File
                                      : FileKind::Other;
    info.mode = static_cast<unsigned>(st.st_mode) & 07777u;
    return info;
#endif
}

std::string folderOf(const std::string& path) {
    const size_t at = lastSeparator(path);
    if (at == std::string::npos) return ".";
    if (at == 0) return path.substr(0, 1);
#if defined(_WIN32)
    if (at == 2 && path[1] == ':') return path.substr(0, 3);  // "C:\"
#endif
    return path.substr(0, at);
}

std::string lastPartOf(const std::string& path) {
    const size_t at = lastSeparator(path);
    return at == std::string::npos ? path : path.substr(at + 1);
}

int makeFolder(const std::string& path) {
#if defined(_WIN32)
    return _wmkdir(systemPath(path).c_str()) == 0 ? 0 : errno;
#else
    return ::mkdir(path.c_str(), 0777) == 0 ? 0 : errno;
#endif
}

int moveFile(const std::string& from, const std::string& to, bool replace) {
#if defined(_WIN32)
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    return MoveFileExW(systemPath(from).c_str(), systemPath(to).c_str(), flags)
               ? 0
               : errnoOf(GetLastError());
#else
    if (!replace) {
        if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
        // Some file systems (FUSE ones among them) cannot refuse by
        // themselves: look first.
        if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return errno;
        if (inspect(to).kind != FileKind::Missing) return EEXIST;
    }
    return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
#endif
}

void removeFile(const std::string& path) {
    const int saved = errno;
#if defined(_WIN32)
    _wremove(systemPath(path).c_str());
#else
    std::remove(path.c_str());
#endif
    errno = saved;
}

void flushFolder(const std::string& folder) {
#if !defined(_WIN32)
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    (void)::fsync(fd);
    ::close(fd);
#else
    (void)folder;
#endif
}

bool canFlushFileSystems() {
#if defined(__linux__)
    return true;
#else
    return false;
#endif
}

bool flushFileSystemsOf(const std::set<std::string>& folders) {
#if defined(__linux__)
    std::set<dev_t> flushed;
    for (const std::string& folder : folders) {
        const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        struct stat st {};
        if (fd < 0) return false;
        // The writes of every file of that file system, one flush.
        const bool ok = ::fstat(fd, &st) == 0 &&
                        (flushed.count(st.st_dev) != 0 || ::syncfs(fd) == 0);
        ::close(fd);
        if (!ok) return false;
        flushed.insert(st.st_dev);
    }
    return true;
#else
    (void)folders;
    return false;
#endif
}

int flushFile(const std::string& path) {
#if defined(_WIN32)
    const int fd = _wopen(systemPath(path).c_str(), _O_WRONLY | _O_BINARY);
    if (fd < 0) return errno;
    const int error = _commit(fd) == 0 ? 0 : errno;
    _close(fd);
#else
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno;
    const int error = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
#endif
    return error;
}

#if defined(_WIN32)
// The folder itself, or the nearest one above it that exists. Windows takes
// ".." by the name, so walking up the path as written meets the folder the
// missing ones will be made in.
std::string existingFolder(const std::string& path) {
    std::string folder = path;
    for (int depth = 0; depth < 256 && inspect(folder).kind == FileKind::Missing; ++depth) {
        const std::string up = folderOf(folder);
        if (up == folder) break;
        folder = up;
    }
    return folder;
}
#else
// The folder that `folder` is, or that its missing part will be made in,
// as the folders will be made: each existing part through its links, and
// ".." after a part still to be made as the folder that part goes into
// ("missing/../mnt/dir" is made in "mnt", wherever that leads).
std::string existingFolder(const std::string& folder) {
    std::string base = "/";
    if (folder.empty() || folder[0] != '/') {
        char* here = ::realpath(".", nullptr);
        if (here == nullptr) return ".";
        base = here;
        std::free(here);
    }
    size_t missing = 0;  // parts below `base` still to be made
    size_t at = 0;
    for (int parts = 0; at < folder.size() && parts < 4096; ++parts) {
        size_t end = folder.find('/', at);
        if (end == std::string::npos) end = folder.size();
        const std::string part = folder.substr(at, end - at);
        at = end + 1;
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (missing > 0) --missing;
            else base = folderOf(base);  // `base` is canonical: its parent is by the name
            continue;
        }
        if (missing > 0) {
            ++missing;
            continue;
        }
        char* real = ::realpath((base == "/" ? base + part : base + "/" + part).c_str(), nullptr);
        if (real == nullptr) {
            ++missing;
            continue;
        }
        base = real;
        std::free(real);
    }
    return base;
}
#endif

int makeFolders(const std::string& folder, std::string& failed, int depth) {
    const FileInfo info = inspect(folder);
    if (info.kind == FileKind::Folder) return 0;
    failed = folder;
    if (info.kind != FileKind::Missing) return ENOTDIR;
    if (info.error != ENOENT && info.error != ENOTDIR) return info.error;
    const std::string parent = folderOf(folder);
    if (parent != folder && depth < 256) {
        if (const int error = makeFolders(parent, failed, depth + 1)) return error;
        failed = folder;
    }
    const int error = makeFolder(folder);
    return error == EEXIST && inspect(folder).kind == FileKind::Folder ? 0 : error;
}

}  // namespace undelete
