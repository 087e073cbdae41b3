#include "scan/TimeText.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>

namespace undelete {
namespace {

constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kSecondsPerDay = 86400;
constexpr int64_t kDaysFrom1601To1970 = 134774;
constexpr uint64_t kFirstUnconvertible = 1ULL << 63;

}  // namespace

int64_t daysFromCivil(int64_t year, int month, int day) {
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yoe = year - era * 400;
    const int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

CivilDate civilFromDays(int64_t days) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t doe = days - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    return {yoe + era * 400 + (month <= 2), month, day};
}

LocalZone LocalZone::fixed(int64_t offsetSeconds) {
    return {[offsetSeconds](int64_t) { return offsetSeconds; },
            [offsetSeconds](int64_t) { return offsetSeconds; }};
}

int64_t unixSecondsOf(uint64_t fileTime) {
    return static_cast<int64_t>(fileTime / kTicksPerSecond) - kDaysFrom1601To1970 * kSecondsPerDay;
}

namespace {

// `value` (0 or more) in decimal, at least `width` (1 or 2) digits, at
// `at`, which has room for 12 characters; returns the end.
char* putNumber(char* at, int value, int width) {
    if (width == 2 && value < 10) *at++ = '0';
    return std::to_chars(at, at + 12, value).ptr;
}

// `value` as exactly two digits.
char* putTwo(char* at, int64_t value) {
    *at++ = static_cast<char>('0' + value / 10);
    *at++ = static_cast<char>('0' + value % 10);
    return at;
}

}  // namespace

void formatIsoUtc(int64_t seconds, char out[32]) {
    int64_t days = seconds / kSecondsPerDay;
    int64_t rest = seconds % kSecondsPerDay;
    if (rest < 0) rest += kSecondsPerDay, --days;
    const CivilDate date = civilFromDays(days);
    char* at = out;
    int64_t year = date.year;
    if (year < 0) *at++ = '-', year = -year;
    for (int64_t w = 1000; w > 1 && year < w; w /= 10) *at++ = '0';
    at = std::to_chars(at, out + 20, year).ptr;
    *at++ = '-';
    at = putTwo(at, date.month);
    *at++ = '-';
    at = putTwo(at, date.day);
    *at++ = 'T';
    at = putTwo(at, rest / 3600);
    *at++ = ':';
    at = putTwo(at, rest / 60 % 60);
    *at++ = ':';
    at = putTwo(at, rest % 60);
    *at++ = 'Z';
    *at = '\0';
}

void formatTimeText(int year, int month, int day, int hour, int minute, int second,
                    char out[25]) {
    // Formatted whole, then cut to the field; digits by hand, as a printf
    // per row is a scan's largest formatting cost.
    char text[80];
    if (year < 0 || month < 0 || day < 0 || hour < 0 || minute < 0 || second < 0) {
        std::snprintf(text, sizeof text, "%d/%d/%d %02d:%02d:%02d", year, month, day, hour,
                      minute, second);
    } else {
        char* at = putNumber(text, year, 1);
        *at++ = '/';
        at = putNumber(at, month, 1);
        *at++ = '/';
        at = putNumber(at, day, 1);
        *at++ = ' ';
        at = putNumber(at, hour, 2);
        *at++ = ':';
        at = putNumber(at, minute, 2);
        *at++ = ':';
        at = putNumber(at, second, 2);
        *at = '\0';
    }
    const size_t n = std::min<size_t>(std::strlen(text), 24);
    std::memcpy(out, text, n);
    out[n] = '\0';
}

void formatFatTimeText(uint16_t date, uint16_t time, char out[25], uint8_t hundredths) {
    formatTimeText(1980 + (date >> 9), (date >> 5) & 0x0F, date & 0x1F, time >> 11,
                   (time >> 5) & 0x3F, (time & 0x1F) * 2 + (hundredths < 200 ? hundredths / 100 : 0),
                   out);
}

void formatFileTimeText(uint64_t fileTime, int64_t offsetSeconds, char out[25]) {
    // Offsets are hours, not centuries: anything beyond a day is no zone.
    const bool sane = offsetSeconds > -kSecondsPerDay && offsetSeconds < kSecondsPerDay;
    const int64_t shift = offsetSeconds * kTicksPerSecond;
    if (!sane || fileTime >= kFirstUnconvertible ||
        (shift < 0 && fileTime < static_cast<uint64_t>(-shift)) ||
        (shift > 0 && fileTime >= kFirstUnconvertible - static_cast<uint64_t>(shift))) {
        formatTimeText(0, 0, 0, 0, 0, 0, out);
        return;
    }
    const uint64_t local = fileTime + static_cast<uint64_t>(shift);
    const auto seconds = static_cast<int64_t>(local / kTicksPerSecond);
    const int64_t days = seconds / kSecondsPerDay;
    const int64_t inDay = seconds % kSecondsPerDay;
    const CivilDate date = civilFromDays(days - kDaysFrom1601To1970);
    formatTimeText(static_cast<int>(date.year), date.month, date.day,
                   static_cast<int>(inDay / 3600), static_cast<int>(inDay / 60 % 60),
                   static_cast<int>(inDay % 60), out);
}

}  // namespace undelete
