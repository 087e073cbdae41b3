#include "ntfs/FolderPaths.h"

#include <algorithm>
#include <vector>

#include "common/Bytes.h"
#include "common/Text.h"

namespace undelete {
namespace {

constexpr size_t kNameUnits = (kFileNameValueBytes - kFileNameNameOffset) / 2;
const char* const kOrphan = "/$Orphan/";

}  // namespace

std::string recordName(const MftRecordInfo& info) {
    const uint8_t* name = info.fileName.data() + kFileNameNameOffset;
    uint16_t units[kNameUnits];
    size_t count = 0;
    while (count < kNameUnits && (units[count] = le16(name + 2 * count)) != 0) ++count;
    return count == 0 ? std::string() : utf16ToText(units, count);
}

const FolderPaths::Folder& FolderPaths::folder(uint64_t number) {
    auto found = folders_.find(number);
    if (found != folders_.end()) return found->second;
    Folder f;
    MftRecordInfo info;
    if (lookup_ && lookup_(number, info)) {
        f.readable = true;
        f.inUse = (info.flags & kRecordInUse) != 0;
        f.isDirectory = (info.flags & kRecordIsDirectory) != 0;
        f.sequence = info.sequenceNumber;
        f.parent = info.parentReference;
        f.name = recordName(info);
    }
    return folders_.emplace(number, std::move(f)).first->second;
}

// Freeing a record moves its sequence number on by one, so a folder
// deleted with its files is one ahead of their references; a folder in
// use again under another number is another folder, or a file.
bool FolderPaths::linkHolds(const Folder& f, uint64_t reference) {
    if (!f.readable || f.name.empty()) return false;
    const uint16_t wanted = referenceSequence(reference);
    if (f.inUse) return f.isDirectory && (wanted == 0 || f.sequence == wanted);
    return wanted == 0 || f.sequence == wanted || f.sequence == static_cast<uint16_t>(wanted + 1);
}

std::string FolderPaths::folderOf(uint64_t parentReference) {
    if (folders_.size() >= kMaxRemembered) folders_.clear();
    std::vector<uint64_t> below;  // records whose path is still to be made, innermost first
    std::string base = kOrphan;
    uint64_t reference = parentReference;
    for (unsigned depth = 0; depth < kMaxDepth; ++depth) {
        const uint64_t number = referenceRecord(reference);
        if (number == kRootRecord) {
            base = "/";
            break;
        }
        // A folder met twice is a loop, not a path.
        if (std::find(below.begin(), below.end(), number) != below.end()) break;
        const Folder& f = folder(number);
        if (!linkHolds(f, reference)) break;
        if (!f.path.empty()) {
            base = f.path;
            break;
        }
        below.push_back(number);
        reference = f.parent;
    }
    for (auto it = below.rbegin(); it != below.rend(); ++it) {
        Folder& f = folders_[*it];
        f.path = base + f.name + "/";
        base = f.path;
    }
    return base;
}

}  // namespace undelete
