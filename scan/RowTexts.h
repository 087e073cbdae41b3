// The texts of one row of the file list, formatted from a file's exact
// values in one place, so every face shows the same texts.
#pragma once
#include <cstdint>

#include "scan/DeletedFile.h"
#include "scan/TimeText.h"

namespace undelete {

// Texts of one listed deleted file, each zero-terminated within its field.
struct ResultRow {
    char sizeText[20];
    char timeText[25];
    char nameText[260];
};

// "%d B", "%0.1f KB", "%0.1f MB" or "%0.1f GB" of a byte count; the larger
// units drop the low bits before the division. `out` holds 20 bytes.
void formatSizeText(uint64_t n, char out[20]);

// The time text of `created`: an NTFS stamp in `zone`'s local time of its
// own date, a FAT date and time as stored; "0/0/0 00:00:00" when there is
// none.
void formatCreationTimeText(const CreationTime& created, const LocalZone& zone, char out[25]);

// The name, cut after at most 259 bytes at a character boundary.
void formatNameText(const std::string& name, char out[260]);

// All three texts of `file`.
void formatResultRow(const DeletedFile& file, const LocalZone& zone, ResultRow& row);

}  // namespace undelete
