// The time texts of the file list: an NTFS time stamp shifted by the local
// time-zone offset in force now (daylight saving included), whatever the
// stamp's own date, and a FAT date and time shown as stored.
#pragma once
#include <cstdint>
#include <functional>

namespace undelete {

// Seconds east of UTC, asked when a row is formatted.
using UtcOffsetSource = std::function<int64_t()>;

struct CivilDate {
    int64_t year;
    int month;
    int day;
};

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
int64_t daysFromCivil(int64_t year, int month, int day);
CivilDate civilFromDays(int64_t days);

// "YYYY-MM-DDThh:mm:ssZ" of seconds since 1970-01-01 UTC (the year at least
// four digits, '-' before a negative one); `out` holds 32 bytes.
void formatIsoUtc(int64_t seconds, char out[32]);

// The machine's offset at this moment.
int64_t systemUtcOffsetSeconds();

// "%d/%d/%d %02d:%02d:%02d"; `out` holds 25 bytes (longer results are cut).
void formatTimeText(int year, int month, int day, int hour, int minute, int second,
                    char out[25]);

// The time text of `fileTime` (100-nanosecond intervals since 1601-01-01
// UTC) moved by `offsetSeconds`; "0/0/0 00:00:00" when the result is before
// 1601 or at 2^63 intervals or beyond.
void formatFileTimeText(uint64_t fileTime, int64_t offsetSeconds, char out[25]);

// "year/month/day hh:mm:ss" of the FAT date and time words, values shown as
// stored (no range check, seconds doubled, plus the whole second of the
// 10 ms units when they are below 200).
void formatFatTimeText(uint16_t date, uint16_t time, char out[25], uint8_t hundredths = 0);

}  // namespace undelete
