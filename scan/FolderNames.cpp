#include "scan/FolderNames.h"

namespace undelete {

std::string folderPathOf(const std::vector<FolderName>& folders, uint32_t folder) {
    std::vector<const std::string*> names;
    // Parents come before their children, so the chain ends at 0.
    for (uint32_t f = folder; f != 0 && f < folders.size(); f = folders[f].parent) {
        if (folders[f].parent >= f) return "/";  // not built as promised: no path
        names.push_back(&folders[f].name);
    }
    std::string path = "/";
    for (auto it = names.rbegin(); it != names.rend(); ++it) path += **it + "/";
    return path;
}

}  // namespace undelete
