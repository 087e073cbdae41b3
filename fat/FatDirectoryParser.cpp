#include "fat/FatDirectoryParser.h"

#include "common/Bytes.h"
#include "fat/FatDirectoryEntry.h"

namespace undelete {

namespace {

// The long name that belongs to `shortEntry`, if the run before it is its
// own: same deletion state and a matching checksum.
bool runBelongsTo(const LongNameRun& run, const uint8_t* shortEntry) {
    if (run.piecesRead() == 0) return false;
    if (run.deleted() != (shortEntry[0] == kEntryDeleted)) return false;
    return longNameMatches(shortEntry, run.checksum(), run.firstUnit());
}

void takeShortEntry(const uint8_t* entry, const LongNameRun& run, uint32_t folder,
                    std::vector<DeletedEntry>& catalogue, const SubdirectoryVisitor& enter,
                    bool liveFiles) {
    const bool deleted = entry[0] == kEntryDeleted;
    const bool named = runBelongsTo(run, entry);
    if (isDirectoryEntry(entry)) {
        if (isDotEntry(entry)) return;
        Subdirectory sub;
        sub.cluster = entryFirstCluster(entry);
        sub.deleted = deleted;
        sub.name = named ? run.name() : deleted ? shortEntryName(entry) : liveShortEntryName(entry);
        enter(sub);
        return;
    }
    if (!deleted && !liveFiles) return;
    DeletedEntry found;
    found.name = named ? run.name() : deleted ? shortEntryName(entry) : liveShortEntryName(entry);
    found.folder = folder;
    takeShortEntryFields(entry, found);
    catalogue.push_back(std::move(found));
}

}  // namespace

void parseDirectory(const uint8_t* buffer, size_t length, uint32_t folder,
                    std::vector<DeletedEntry>& catalogue,
                    const SubdirectoryVisitor& enterSubdirectory, bool liveFiles) {
    LongNameRun run;
    for (size_t p = 0; fits(p, kDirEntrySize, length); p += kDirEntrySize) {
        const uint8_t* entry = buffer + p;
        if (entry[0] == kEntryEnd) return;
        if (isLongNameEntry(entry)) {
            // Pieces of one name share the deletion state and the checksum;
            // a change starts another run (the earlier one was stale).
            const bool deleted = entry[0] == kEntryDeleted;
            const bool lastPieceMark = !deleted && (entry[0] & 0x40) != 0;
            if (run.piecesRead() == 0 || run.deleted() != deleted ||
                run.checksum() != entry[kLdirChksum] || lastPieceMark) {
                run.start(deleted, entry[kLdirChksum]);
            }
            run.addPiece(entry);
            continue;
        }
        takeShortEntry(entry, run, folder, catalogue, enterSubdirectory, liveFiles);
        run.clear();
    }
}

}  // namespace undelete
