// Folders a deeper scan found outside the live tree (FAT and exFAT), each
// known by its first cluster, linked back into one tree: a folder's parent
// is the folder its own ".." entry names (FAT), else the found folder whose
// entry names it; its name is that entry's, else a made-up one that says it
// was lost ("$Folder" and the cluster). A chain that reaches a live folder
// goes on from there; one that reaches nothing known, or that loops, starts
// under the marker folder. Everything here comes from the disk: the links
// are only followed among the folders found, each at most once per chain.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "scan/FolderPaths.h"

namespace undelete {

// The folder the deep scan's finds are listed under where no chain of
// folders leads elsewhere.
extern const char kOrphanFolderName[];
// A found folder whose name is lost is called this and its first cluster.
extern const char kLostFolderPrefix[];

class FoundFolders {
public:
    // A folder found at `cluster`; `parent`: the cluster its ".." entry
    // names (0: none, or the root).
    void add(uint32_t cluster, uint32_t parent = 0);
    // An entry of the found folder `container` names the folder at
    // `cluster`. The first such entry is kept.
    void name(uint32_t cluster, uint32_t container, const std::string& name);
    bool has(uint32_t cluster) const { return folders_.count(cluster) != 0; }
    bool named(uint32_t cluster) const;
    size_t size() const { return order_.size(); }

    // The live folder at a cluster, by its index in the list (not the root).
    using LiveFolder = std::function<bool(uint32_t cluster, uint32_t& index)>;
    // Adds every found folder to `list` (a parent before its children),
    // under `marker` where no chain leads elsewhere, and gives each found
    // folder's index by its cluster. May throw std::bad_alloc.
    std::unordered_map<uint32_t, uint32_t> place(FolderList& list, uint32_t marker,
                                                 const LiveFolder& live) const;

private:
    struct Folder {
        uint32_t dotDot = 0;
        uint32_t container = 0;
        bool hasName = false;
        std::string name;
    };
    // The parent of `cluster` among the found folders, or false; `index`
    // gets the live folder's or the marker's index otherwise.
    bool foundParent(const Folder& folder, uint32_t& parent, uint32_t& index, uint32_t marker,
                     const LiveFolder& live) const;

    std::unordered_map<uint32_t, Folder> folders_;
    std::vector<uint32_t> order_;  // as found
};

}  // namespace undelete
