// The few file-system calls of the save service, on both systems.
#pragma once
#include <set>
#include <string>

namespace undelete {

#if defined(_WIN32)
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

enum class FileKind { Missing, Folder, File, Other };  // File: a regular file

struct FileInfo {
    FileKind kind = FileKind::Missing;
    unsigned mode = 0;  // permission bits
    int error = 0;      // why it could not be looked at (Missing)
};

// What `path` names, through symbolic links.
FileInfo inspect(const std::string& path);

// The folder part of `path` ("." when there is none) and its last part.
std::string folderOf(const std::string& path);
std::string lastPartOf(const std::string& path);

// Each returns 0 or the system's error number.
// Makes the folder `path`; its parent must exist.
int makeFolder(const std::string& path);
// Gives the file `from` the name `to` in one step: over a file already
// there when `replace`, else EEXIST when `to` is taken.
int moveFile(const std::string& from, const std::string& to, bool replace);

// Makes `folder` and its missing parents; on failure `failed` names the
// path that could not be made (or is a file).
int makeFolders(const std::string& folder, std::string& failed, int depth = 0);

// The folder that `folder` is, or the one its missing part will be made
// in: on Windows the nearest existing one up the path as written (Windows
// takes ".." by the name); elsewhere each existing part through its links,
// and ".." after a part still to be made as the folder that part goes into
// ("missing/../mnt/dir" is made in "mnt", wherever that leads).
std::string existingFolder(const std::string& folder);

void removeFile(const std::string& path);
// Makes the names changed in `folder` last (where the system needs that).
void flushFolder(const std::string& folder);

// Whether flushFileSystemsOf can vouch for files written and closed.
bool canFlushFileSystems();
// Every file written below `folders` reaches the storage, each file system
// flushed once: true when the system says all did. False where it cannot
// tell (see canFlushFileSystems) or a flush failed.
bool flushFileSystemsOf(const std::set<std::string>& folders);
// The file `path`, written and closed, reaches the storage: 0 or the
// system's error number.
int flushFile(const std::string& path);

#if defined(_WIN32)
// `path` for the system's wide functions, which do not stop at 260
// characters as the narrow ones do (a 255-character name in a folder, or
// the temporary name beside a long path, would not fit): converted from
// the process code page, made absolute and prefixed with \\?\. A device
// or network path is only converted.
std::wstring systemPath(const std::string& path);
#endif

}  // namespace undelete
