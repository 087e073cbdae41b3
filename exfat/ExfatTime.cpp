#include "exfat/ExfatTime.h"

#include "scan/TimeText.h"

namespace undelete {

namespace {

constexpr uint8_t kOffsetValid = 0x80;
constexpr int kMinutesPerOffsetUnit = 15;
constexpr uint64_t kTicksPerSecond = 10000000;
constexpr uint64_t kTicksPer10ms = 100000;
constexpr int64_t kSecondsFrom1601To1970 = 11644473600;

bool isLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int daysInMonth(int year, int month) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

// Seconds since 1970-01-01 of the stamp read as UTC; false when a field is
// out of its range.
bool secondsOf(uint32_t stamp, int64_t& seconds) {
    const int year = 1980 + static_cast<int>(stamp >> 25);
    const int month = static_cast<int>((stamp >> 21) & 0x0F);
    const int day = static_cast<int>((stamp >> 16) & 0x1F);
    const int hour = static_cast<int>((stamp >> 11) & 0x1F);
    const int minute = static_cast<int>((stamp >> 5) & 0x3F);
    const int second = static_cast<int>(stamp & 0x1F) * 2;
    if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || hour > 23 ||
        minute > 59 || second > 58) {
        return false;
    }
    seconds = daysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
    return true;
}

}  // namespace

bool exfatUtcOffsetMinutes(uint8_t offsetByte, int& minutes) {
    if ((offsetByte & kOffsetValid) == 0) return false;
    // Seven bits, two's complement: 0x40 and above are west of UTC.
    const int units = (offsetByte & 0x40) != 0 ? (offsetByte & 0x7F) - 0x80 : offsetByte & 0x3F;
    minutes = units * kMinutesPerOffsetUnit;
    return true;
}

CreationTime exfatCreationTime(const ExfatTimestamp& time) {
    if (time.stamp == 0) return CreationTime{};
    const auto asStored = CreationTime::fat(static_cast<uint16_t>(time.stamp >> 16),
                                            static_cast<uint16_t>(time.stamp), time.tenMs);
    int offsetMinutes = 0;
    int64_t local = 0;
    if (!exfatUtcOffsetMinutes(time.utcOffset, offsetMinutes) || time.tenMs >= 200 ||
        !secondsOf(time.stamp, local)) {
        return asStored;
    }
    // From 1980 on and at most a day's offset: the sum stays positive.
    const int64_t utc = local - int64_t{offsetMinutes} * 60 + kSecondsFrom1601To1970;
    return CreationTime::fileTime(static_cast<uint64_t>(utc) * kTicksPerSecond +
                                  time.tenMs * kTicksPer10ms);
}

}  // namespace undelete
