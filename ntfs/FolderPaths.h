// The folder a deleted file was in, from the parent reference of its name:
// each folder's record names its own parent, up to the root (record 5).
// A link whose record was reused since (its sequence number moved on and
// it is in use again), cannot be read, has no name, loops or goes on too
// deep ends the walk with the marker folder "/$Orphan/".
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>

#include "ntfs/MftRecord.h"

namespace undelete {

// Reads and parses record `number`, in use or not; false when it cannot.
using RecordLookup = std::function<bool(uint64_t number, MftRecordInfo& info)>;

// The retained name of `info` in the process's encoding; empty when the
// record has no name outside the DOS namespace.
std::string recordName(const MftRecordInfo& info);

class FolderPaths {
public:
    static constexpr unsigned kMaxDepth = 64;
    // Folders remembered at most; the memory is then cleared and refilled.
    static constexpr size_t kMaxRemembered = 1u << 16;

    explicit FolderPaths(RecordLookup lookup) : lookup_(std::move(lookup)) {}

    // "/" for the root, "/Docs/照片/" below it, "/$Orphan/…" past a broken
    // link. Each folder's record is read once while remembered.
    std::string folderOf(uint64_t parentReference);

private:
    struct Folder {
        bool readable = false;
        bool inUse = false;
        bool isDirectory = false;
        uint16_t sequence = 0;
        uint64_t parent = 0;
        std::string name;
        std::string path;  // its own full path, once known
    };

    const Folder& folder(uint64_t number);
    static bool linkHolds(const Folder& f, uint64_t reference);

    RecordLookup lookup_;
    std::unordered_map<uint64_t, Folder> folders_;
};

}  // namespace undelete
