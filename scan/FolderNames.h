// The folders a directory walk met, each named with its parent's index:
// index 0 is the root, and a parent always comes before its children.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace undelete {

struct FolderName {
    uint32_t parent = 0;
    std::string name;
};

// "/a/b/" for folder b in a in the root; "/" for the root or an index out
// of range.
std::string folderPathOf(const std::vector<FolderName>& folders, uint32_t folder);

}  // namespace undelete
