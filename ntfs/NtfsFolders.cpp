#include "ntfs/NtfsFolders.h"

#include "common/Bytes.h"
#include "common/Text.h"

namespace undelete {
namespace {

constexpr size_t kNameUnits = (kFileNameValueBytes - kFileNameNameOffset) / 2;

}  // namespace

std::string recordName(const MftRecordInfo& info) {
    const uint8_t* name = info.fileName.data() + kFileNameNameOffset;
    uint16_t units[kNameUnits];
    size_t count = 0;
    while (count < kNameUnits && (units[count] = le16(name + 2 * count)) != 0) ++count;
    return count == 0 ? std::string() : utf16ToText(units, count);
}

const NtfsFolders::Folder& NtfsFolders::folder(uint64_t number) {
    auto found = folders_.find(number);
    if (found != folders_.end()) return found->second;
    if (folders_.size() >= kMaxRemembered) folders_.clear();
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
const std::string* NtfsFolders::follow(uint64_t reference, uint64_t& parent) {
    const Folder& f = folder(referenceRecord(reference));
    if (!f.readable || f.name.empty()) return nullptr;
    const uint16_t wanted = referenceSequence(reference);
    const bool holds =
        f.inUse ? f.isDirectory && (wanted == 0 || f.sequence == wanted)
                : wanted == 0 || f.sequence == wanted || f.sequence == static_cast<uint16_t>(wanted + 1);
    if (!holds) return nullptr;
    parent = f.parent;
    return &f.name;
}

}  // namespace undelete
