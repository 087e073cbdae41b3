#include "scan/FoundFolders.h"

#include <unordered_set>

namespace undelete {

const char kOrphanFolderName[] = "$Orphan";
const char kLostFolderPrefix[] = "$Folder";

void FoundFolders::add(uint32_t cluster, uint32_t parent) {
    const auto inserted = folders_.try_emplace(cluster);
    if (inserted.second) order_.push_back(cluster);
    if (parent != cluster) inserted.first->second.dotDot = parent;
}

void FoundFolders::name(uint32_t cluster, uint32_t container, const std::string& name) {
    const auto it = folders_.find(cluster);
    if (it == folders_.end() || it->second.hasName || container == cluster) return;
    it->second.hasName = true;
    it->second.container = container;
    it->second.name = name;
}

bool FoundFolders::named(uint32_t cluster) const {
    const auto it = folders_.find(cluster);
    return it != folders_.end() && it->second.hasName;
}

bool FoundFolders::foundParent(const Folder& folder, uint32_t& parent, uint32_t& index,
                               uint32_t marker, const LiveFolder& live) const {
    // Its own ".." first: the folder it says it is in, found or live.
    if (folder.dotDot != 0) {
        if (has(folder.dotDot)) {
            parent = folder.dotDot;
            return true;
        }
        if (live && live(folder.dotDot, index)) return false;
    }
    if (folder.hasName && has(folder.container)) {
        parent = folder.container;
        return true;
    }
    index = marker;
    return false;
}

std::unordered_map<uint32_t, uint32_t> FoundFolders::place(FolderList& list, uint32_t marker,
                                                           const LiveFolder& live) const {
    std::unordered_map<uint32_t, uint32_t> placed;
    std::vector<uint32_t> chain;  // folders to place, innermost first
    std::unordered_set<uint32_t> onChain;
    for (const uint32_t start : order_) {
        chain.clear();
        onChain.clear();
        uint32_t top = marker;  // the index the outermost of the chain goes under
        // Up the parents until one placed, one outside the found folders,
        // or one already on this chain (a loop: it goes under the marker).
        for (uint32_t at = start;;) {
            if (const auto done = placed.find(at); done != placed.end()) {
                top = done->second;
                break;
            }
            if (!onChain.insert(at).second) break;
            chain.push_back(at);
            uint32_t parent = 0;
            if (!foundParent(folders_.at(at), parent, top, marker, live)) break;
            at = parent;
        }
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
            const Folder& folder = folders_.at(*it);
            std::string name = folder.hasName && !folder.name.empty()
                                   ? folder.name
                                   : kLostFolderPrefix + std::to_string(*it);
            top = list.add(top, std::move(name));
            placed.emplace(*it, top);
        }
    }
    return placed;
}

}  // namespace undelete
