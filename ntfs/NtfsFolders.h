// The folders of an NTFS volume as the one folder-path walk (FolderPaths.h)
// sees them: each folder's record names its own parent, up to the root
// (record 5). A link holds while the folder's record still is that folder:
// one reused since (its sequence number moved on and it is in use again),
// unreadable or nameless breaks the path, which then starts at
// "/$Orphan/".
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>

#include "ntfs/MftRecord.h"
#include "scan/FolderPaths.h"

namespace undelete {

// Reads and parses record `number`, in use or not; false when it cannot.
using RecordLookup = std::function<bool(uint64_t number, MftRecordInfo& info)>;

// The retained name of `info` in the process's encoding; empty when the
// record has no name outside the DOS namespace.
std::string recordName(const MftRecordInfo& info);

class NtfsFolders final : public FolderTree {
public:
    // Folder records remembered at most; the memory is then cleared.
    static constexpr size_t kMaxRemembered = FolderPaths::kMaxRemembered;

    explicit NtfsFolders(RecordLookup lookup) : lookup_(std::move(lookup)) {}
    NtfsFolders(const NtfsFolders&) = delete;
    NtfsFolders& operator=(const NtfsFolders&) = delete;

    // The folder the parent reference of a file's name points to: "/" for
    // the root, "/Docs/照片/" below it, "/$Orphan/…" past a broken link.
    // Each folder's record is read once while remembered.
    std::string folderOf(uint64_t parentReference) { return paths_.pathOf(parentReference); }

    uint64_t numberOf(uint64_t reference) const override { return referenceRecord(reference); }
    bool isRoot(uint64_t number) const override { return number == kRootRecord; }
    const std::string* follow(uint64_t reference, uint64_t& parent) override;

private:
    struct Folder {
        bool readable = false;
        bool inUse = false;
        bool isDirectory = false;
        uint16_t sequence = 0;
        uint64_t parent = 0;
        std::string name;
    };

    const Folder& folder(uint64_t number);

    RecordLookup lookup_;
    std::unordered_map<uint64_t, Folder> folders_;
    FolderPaths paths_{*this, "/$Orphan/"};
};

}  // namespace undelete
