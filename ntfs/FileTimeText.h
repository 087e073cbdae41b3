// The time text of an NTFS time stamp: the stamp shifted by the local
// time-zone offset in force now (daylight saving included), whatever the
// stamp's own date, then split into calendar fields.
#pragma once
#include <cstdint>
#include <functional>

namespace undelete {

// Seconds east of UTC.
using UtcOffsetSource = std::function<int64_t()>;

// The machine's offset at this moment.
int64_t systemUtcOffsetSeconds();

// Replaces the offset source (tests fix the zone); an empty one restores
// the machine's. Returns the previous source.
UtcOffsetSource installUtcOffsetSource(UtcOffsetSource source);

// The offset through the installed source.
int64_t currentUtcOffsetSeconds();

// "%d/%d/%d %02d:%02d:%02d" of `fileTime` (100-nanosecond intervals since
// 1601-01-01 UTC) moved by `offsetSeconds`; "0/0/0 00:00:00" when the
// result is before 1601 or at 2^63 intervals or beyond.
void formatFileTimeText(uint64_t fileTime, int64_t offsetSeconds, char out[25]);

}  // namespace undelete
