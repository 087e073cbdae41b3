// A file name a driver removed from an extension record when it deleted
// the file: the $FILE_NAME attribute was the record's last, so the end
// marker took its place and only the marker's eight bytes overwrote it; its
// header's value fields and its value still lie behind the marker. Pure.
#pragma once
#include <cstddef>
#include <cstdint>

#include "ntfs/MftRecord.h"

namespace undelete {

// Reads the value behind the end marker of the record of `recordSize`
// bytes in `bytes` (raw, update sequence not yet undone) into `info`'s
// name and parent reference. Taken only when everything agrees: a resident
// header without a stream name, the value right after it and inside the
// record, its length exactly that of its name, a namespace other than DOS,
// and name units that a file name can hold. False (info unchanged)
// otherwise.
bool slackFileName(const uint8_t* bytes, size_t recordSize, MftRecordInfo& info);

}  // namespace undelete
