#include "fat32/Fat32DirectoryParser.h"

#include "common/Bytes.h"
#include "fat32/Fat32DirectoryEntry.h"

namespace undelete {

void parseDirectoryCluster(const uint8_t* buffer, size_t length,
                           std::vector<DeletedEntry>& catalogue,
                           const SubdirectoryVisitor& enterSubdirectory) {
    size_t p = 0;
    while (fits(p, kDirEntrySize, length)) {
        const uint8_t* entry = buffer + p;
        if (entry[0] == kEntryEnd) return;
        if (entry[0] != kEntryDeleted) {
            if (isWalkableSubdirectory(entry)) enterSubdirectory(entryFirstCluster(entry));
            p += kDirEntrySize;
            continue;
        }

        DeletedEntry found;
        bool hasLongName = false;
        if (isLongNameEntry(entry)) {
            // Pieces join the run by their attribute alone; the entry after
            // the run is its short entry, whatever its first byte.
            LongNameRun run;
            do {
                run.addPiece(buffer + p);
                p += kDirEntrySize;
            } while (fits(p, kDirEntrySize, length) && isLongNameEntry(buffer + p));
            if (!fits(p, kDirEntrySize, length)) return;  // short entry in an unread cluster
            found.name = run.name();
            hasLongName = true;
        }

        const uint8_t* shortEntry = buffer + p;
        p += kDirEntrySize;
        if ((shortEntry[kDirAttr] & kAttrDirectory) != 0) continue;  // deleted directory
        if (!hasLongName) found.name = shortEntryName(shortEntry);
        takeShortEntryFields(shortEntry, found);
        catalogue.push_back(found);
    }
}

}  // namespace undelete
