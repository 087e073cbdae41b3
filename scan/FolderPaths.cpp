#include "scan/FolderPaths.h"

#include <algorithm>
#include <utility>

namespace undelete {

std::string FolderPaths::pathOf(uint64_t reference) {
    if (paths_.size() >= kMaxRemembered) paths_.clear();
    // Folders whose path is still to be made, innermost first.
    std::vector<std::pair<uint64_t, std::string>> below;
    std::string base = broken_;
    for (unsigned depth = 0; depth < kMaxDepth; ++depth) {
        const uint64_t number = tree_.numberOf(reference);
        if (tree_.isRoot(number)) {
            base = "/";
            break;
        }
        // A folder met twice is a loop, not a path.
        if (std::any_of(below.begin(), below.end(), [&](const auto& f) { return f.first == number; })) {
            break;
        }
        uint64_t parent = 0;
        const std::string* name = tree_.follow(reference, parent);
        if (name == nullptr) break;
        const auto known = paths_.find(number);
        if (known != paths_.end()) {
            base = known->second;
            break;
        }
        below.emplace_back(number, *name);
        reference = parent;
    }
    for (auto it = below.rbegin(); it != below.rend(); ++it) {
        base += it->second + "/";
        paths_[it->first] = base;
    }
    return base;
}

uint32_t FolderList::add(uint32_t parent, std::string name) {
    folders_.push_back(Folder{parent, std::move(name)});
    return static_cast<uint32_t>(folders_.size() - 1);
}

const std::string* FolderList::follow(uint64_t reference, uint64_t& parent) {
    // Parents come before their children: a link that does not is no path.
    if (reference >= folders_.size() || folders_[reference].parent >= reference) return nullptr;
    parent = folders_[reference].parent;
    return &folders_[reference].name;
}

}  // namespace undelete
