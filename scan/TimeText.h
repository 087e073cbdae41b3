// The time texts of the file list: an NTFS time stamp shifted by the local
// time-zone offset in force at the stamp's own date (daylight saving
// included), and a FAT date and time shown as stored.
#pragma once
#include <cstdint>
#include <functional>

namespace undelete {

// The local time zone: how far east of UTC the wall clock stood at a given
// moment, by the zone's rules for that date (a summer time is an hour more
// than a winter one, whatever the date today). Both directions, each in
// seconds since 1970-01-01: a UTC moment, or a wall-clock time counted as
// if it were UTC (what a FAT time stamp holds). Passed in, so that tests
// fix the zone; an empty function is UTC.
struct LocalZone {
    std::function<int64_t(int64_t utcSeconds)> offsetAtUtc;
    std::function<int64_t(int64_t localSeconds)> offsetAtLocal;

    // A zone of one offset all year round.
    static LocalZone fixed(int64_t offsetSeconds);
    int64_t atUtc(int64_t utcSeconds) const { return offsetAtUtc ? offsetAtUtc(utcSeconds) : 0; }
    int64_t atLocal(int64_t localSeconds) const {
        return offsetAtLocal ? offsetAtLocal(localSeconds) : 0;
    }
};

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

// "%d/%d/%d %02d:%02d:%02d"; `out` holds 25 bytes (longer results are cut).
void formatTimeText(int year, int month, int day, int hour, int minute, int second,
                    char out[25]);

// The time text of `fileTime` (100-nanosecond intervals since 1601-01-01
// UTC) moved by `offsetSeconds`; "0/0/0 00:00:00" when the result is before
// 1601 or at 2^63 intervals or beyond.
void formatFileTimeText(uint64_t fileTime, int64_t offsetSeconds, char out[25]);

// Seconds since 1970-01-01 of `fileTime`, fractions dropped.
int64_t unixSecondsOf(uint64_t fileTime);

// "year/month/day hh:mm:ss" of the FAT date and time words, values shown as
// stored (no range check, seconds doubled, plus the whole second of the
// 10 ms units when they are below 200).
void formatFatTimeText(uint16_t date, uint16_t time, char out[25], uint8_t hundredths = 0);

}  // namespace undelete
