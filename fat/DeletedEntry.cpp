#include "fat/DeletedEntry.h"

namespace undelete {

void describeDeletedEntry(const DeletedEntry& entry, const std::string& folderPath,
                          DeletedFile& file) {
    file = DeletedFile{};
    file.name = entry.name;
    file.size = entry.fileSize;
    file.created = CreationTime::fat(entry.creationDate, entry.creationTime,
                                     entry.creationHundredths);
    file.path = folderPath;
    file.state = entry.state;
    file.origin = entry.origin;
}

}  // namespace undelete
