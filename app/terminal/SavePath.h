// The rules of the save-path prompt, as a save-file dialog applies them:
// the default extension for a name typed without one, the folder must
// exist, a folder is not a file, and an existing file needs the user's
// word before it is replaced.
#pragma once
#include <string>

namespace undelete::terminal {

enum class PathKind { Missing, File, Directory, Other };

// What the file system says about a path; tests give their own.
class PathProbe {
public:
    virtual ~PathProbe() = default;
    virtual PathKind kindOf(const std::string& path) const = 0;
};

// stat() on the real file system.
const PathProbe& fileSystemProbe();

enum class SaveCheck {
    Ready,          // `path` can be written
    NeedsConfirm,   // `path` exists: ask before replacing it
    Empty,          // nothing typed, or no file name after the folder
    IsDirectory,    // `path` is a folder
    ParentMissing,  // `folder` does not exist
    TooLong,
};

struct SavePathResult {
    SaveCheck check = SaveCheck::Empty;
    std::string path;    // the path to write: typed, with "~" expanded and the extension added
    std::string folder;  // the folder that must exist
};

// The longest path the prompt accepts, in bytes.
constexpr size_t kMaxSavePathBytes = 4095;

// Applies the rules to what the user typed. Surrounding blanks are
// dropped; a leading "~" stands for `home` (when it is set); a name with no
// dot after its first character gets "." + `defaultExtension`.
SavePathResult checkSavePath(const std::string& typed, const std::string& defaultExtension,
                             const std::string& home, const PathProbe& probe);

// What the user typed, taken inside `folder` when it is a relative path
// (a path starting with "/" or "~", and an empty one, are kept as typed).
std::string inFolder(const std::string& folder, const std::string& typed);

// The folder check of a save of several files: `typed` (blanks dropped,
// "~" expanded) must name an existing folder; Ready, Empty or
// ParentMissing (with `folder` set to what was typed).
SavePathResult checkSaveFolder(const std::string& typed, const std::string& home,
                               const PathProbe& probe);

// The sentence the prompt shows for a result other than Ready.
std::string savePathMessage(const SavePathResult& result);

}  // namespace undelete::terminal
