// Shared by the format readers: finding a layered image's parent, and the
// library's words for a failure.
#include <sys/stat.h>

#include <algorithm>
#include <cctype>

#include "disk/images/ContainerReader.h"

namespace undelete {
namespace container {
namespace {

bool isFile(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

std::string findParent(const std::string& child, const std::string& stored) {
    if (stored.empty()) return {};
    std::string path = stored;
    std::replace(path.begin(), path.end(), '\\', '/');
    const size_t slash = child.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : child.substr(0, slash + 1);
    const bool drive = path.size() > 1 && path[1] == ':';
    if (path[0] == '/' && isFile(path)) return path;
    if (path[0] != '/' && !drive && isFile(folder + path)) return folder + path;
    const std::string name = path.substr(path.rfind('/') + 1);
    return isFile(folder + name) ? folder + name : std::string();
}

std::string innermostReason(const char* backtrace) {
    std::string line = backtrace == nullptr ? "" : backtrace;
    line = line.substr(0, line.find('\n'));
    // "libqcow_io_handle_read_file_header: unsupported format version."
    size_t name = 0;
    while (name < line.size() && (std::isalnum(static_cast<unsigned char>(line[name])) ||
                                  line[name] == '_')) {
        ++name;
    }
    if (name > 0 && line.compare(name, 2, ": ") == 0) line.erase(0, name + 2);
    while (!line.empty() && (line.back() == '.' || std::isspace(static_cast<unsigned char>(line.back())))) {
        line.pop_back();
    }
    return line.empty() ? "unknown error" : line;
}

}  // namespace container
}  // namespace undelete
