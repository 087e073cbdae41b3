// exFAT timestamps: a FAT date and time (local, two-second steps), a 10 ms
// increment and the writer's UTC offset. With a valid offset the moment is
// known in UTC; without it only as the writer's local time, as on FAT32.
#pragma once
#include <cstdint>

#include "scan/DeletedFile.h"

namespace undelete {

struct ExfatTimestamp {
    uint32_t stamp = 0;      // (date word << 16) | time word, local time
    uint8_t tenMs = 0;       // 0..199: hundredths of a second added to the even second
    uint8_t utcOffset = 0;   // bit 7: valid; bits 0-6: signed, in 15-minute units
};

// The offset east of UTC in minutes; false when the byte does not mark it
// valid.
bool exfatUtcOffsetMinutes(uint8_t offsetByte, int& minutes);

// The creation time a listing shows: with a valid offset and a date and
// time that exist (1980 to 2107, 10 ms increment under 200), a FILETIME in
// UTC that keeps the 10 ms increment; otherwise the date and time words as
// stored, as local time (with the increment, as FAT keeps it); None for a
// zero stamp.
CreationTime exfatCreationTime(const ExfatTimestamp& time);

}  // namespace undelete
