#include "app/terminal/SavePath.h"

#include <sys/stat.h>

#include "app/Language.h"

namespace undelete::terminal {
namespace {

class StatProbe : public PathProbe {
public:
    PathKind kindOf(const std::string& path) const override {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) return PathKind::Missing;
        if (S_ISDIR(st.st_mode)) return PathKind::Directory;
        if (S_ISREG(st.st_mode)) return PathKind::File;
        return PathKind::Other;
    }
};

std::string trimmed(const std::string& text) {
    const char* blanks = " \t";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return std::string();
    const size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

std::string expandHome(const std::string& path, const std::string& home) {
    if (home.empty() || path.empty() || path[0] != '~') return path;
    if (path.size() == 1 || path[1] == '/') return home + path.substr(1);
    return path;  // "~user" is left as typed
}

bool hasExtension(const std::string& name) {
    const size_t dot = name.rfind('.');
    return dot != std::string::npos && dot > 0;
}

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

}  // namespace

const PathProbe& fileSystemProbe() {
    static const StatProbe probe;
    return probe;
}

SavePathResult checkSavePath(const std::string& typed, const std::string& defaultExtension,
                             const std::string& home, const PathProbe& probe) {
    SavePathResult result;
    result.path = expandHome(trimmed(typed), home);
    if (result.path.empty()) return result;
    if (probe.kindOf(result.path) == PathKind::Directory) {
        result.check = SaveCheck::IsDirectory;
        return result;
    }
    const size_t slash = result.path.rfind('/');
    const std::string name =
        slash == std::string::npos ? result.path : result.path.substr(slash + 1);
    if (name.empty()) return result;  // a folder without a file name: Empty
    if (!hasExtension(name) && !defaultExtension.empty()) result.path += "." + defaultExtension;

    result.folder = folderOf(result.path);
    if (result.path.size() > kMaxSavePathBytes) {
        result.check = SaveCheck::TooLong;
    } else if (probe.kindOf(result.folder) != PathKind::Directory) {
        result.check = SaveCheck::ParentMissing;
    } else {
        switch (probe.kindOf(result.path)) {
        case PathKind::Missing: result.check = SaveCheck::Ready; break;
        case PathKind::Directory: result.check = SaveCheck::IsDirectory; break;
        default: result.check = SaveCheck::NeedsConfirm; break;
        }
    }
    return result;
}

std::string inFolder(const std::string& folder, const std::string& typed) {
    const std::string path = trimmed(typed);
    if (path.empty() || path[0] == '/' || path[0] == '~' || folder.empty()) return path;
    return folder.back() == '/' ? folder + path : folder + "/" + path;
}

SavePathResult checkSaveFolder(const std::string& typed, const std::string& home,
                               const PathProbe& probe) {
    SavePathResult result;
    result.path = result.folder = expandHome(trimmed(typed), home);
    if (result.path.empty()) return result;
    result.check = probe.kindOf(result.path) == PathKind::Directory ? SaveCheck::Ready
                                                                    : SaveCheck::ParentMissing;
    return result;
}

std::string savePathMessage(const SavePathResult& result) {
    // Each sentence is one program text with the path put in its place, so
    // a translation may move the path.
    const auto with = [](const char* text, const std::string& path) {
        std::string sentence = tr(text);
        const size_t at = sentence.find("%s");
        if (at != std::string::npos) sentence.replace(at, 2, path);
        return sentence;
    };
    switch (result.check) {
    case SaveCheck::Ready: return std::string();
    case SaveCheck::NeedsConfirm: return with("%s 已存在。要替换它吗？(Y/N)", result.path);
    case SaveCheck::Empty: return tr("请输入文件名。");
    case SaveCheck::IsDirectory: return with("%s 是文件夹，请输入文件名。", result.path);
    case SaveCheck::ParentMissing: return with("文件夹 %s 不存在。", result.folder);
    case SaveCheck::TooLong: return tr("路径太长。");
    }
    return std::string();
}

}  // namespace undelete::terminal
