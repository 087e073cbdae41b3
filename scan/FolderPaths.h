// The folder a file was in, as a path inside its volume ("/Docs/照片/"),
// built the same way for every file system: from the folder up its
// parents to the root, each folder named by a tree the scanner keeps (the
// folders a FAT or exFAT walk met; NTFS's records). A link that does not
// hold (a folder reused since, unreadable or nameless), a loop, or a chain
// deeper than kMaxDepth ends the walk, and the path then starts at the
// tree's marker. Each folder's path is made once while remembered.
#pragma once
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace undelete {

class FolderTree {
public:
    virtual ~FolderTree() = default;
    // The folder `reference` points to, by which its path is remembered.
    virtual uint64_t numberOf(uint64_t reference) const { return reference; }
    virtual bool isRoot(uint64_t number) const = 0;
    // The name of the folder `reference` names (good until the next call)
    // and its parent's reference; null when the link does not hold.
    virtual const std::string* follow(uint64_t reference, uint64_t& parent) = 0;
};

class FolderPaths {
public:
    static constexpr unsigned kMaxDepth = 64;
    // Paths remembered at most; the memory is then cleared and refilled.
    static constexpr size_t kMaxRemembered = 1u << 16;

    // `broken`: where a path starts past a link that does not hold.
    FolderPaths(FolderTree& tree, std::string broken) : tree_(tree), broken_(std::move(broken)) {}

    // "/" for the root, "/a/b/" for folder b in a in the root.
    std::string pathOf(uint64_t reference);

private:
    FolderTree& tree_;
    const std::string broken_;
    std::unordered_map<uint64_t, std::string> paths_;
};

// The folders a directory walk met, each named with its parent's index:
// index 0 is the root, and a parent always comes before its children.
class FolderList final : public FolderTree {
public:
    FolderList() : folders_(1) {}
    // Forgets every folder but the root.
    void clear() { folders_.assign(1, Folder{}); }
    size_t size() const { return folders_.size(); }
    // The new folder's index.
    uint32_t add(uint32_t parent, std::string name);

    bool isRoot(uint64_t number) const override { return number == 0; }
    const std::string* follow(uint64_t reference, uint64_t& parent) override;

private:
    struct Folder {
        uint32_t parent = 0;
        std::string name;
    };
    std::vector<Folder> folders_;
};

}  // namespace undelete
