#include "core/SystemZone.h"

#include <cstdint>

#if defined(_WIN32)
#include <windows.h>
#else
#include <ctime>
#endif

namespace undelete {
namespace {

#if defined(_WIN32)

constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kUnixFrom1601 = 11644473600;
// FILETIME reaches SYSTEMTIME below 2^63 ticks: well before this.
constexpr int64_t kLastSecond = 900000000000;

bool toSystemTime(int64_t seconds, SYSTEMTIME& time) {
    if (seconds < -kUnixFrom1601 || seconds > kLastSecond) return false;
    const auto ticks = static_cast<uint64_t>(seconds + kUnixFrom1601) * kTicksPerSecond;
    FILETIME file{static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
    return FileTimeToSystemTime(&file, &time) != 0;
}

bool fromSystemTime(const SYSTEMTIME& time, int64_t& seconds) {
    FILETIME file{};
    if (!SystemTimeToFileTime(&time, &file)) return false;
    const uint64_t ticks = (uint64_t{file.dwHighDateTime} << 32) | file.dwLowDateTime;
    seconds = static_cast<int64_t>(ticks / kTicksPerSecond) - kUnixFrom1601;
    return true;
}

int64_t offsetAtUtc(int64_t utc) {
    SYSTEMTIME universal{}, local{};
    int64_t seconds = 0;
    if (!toSystemTime(utc, universal) ||
        !SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local) ||
        !fromSystemTime(local, seconds)) {
        return 0;
    }
    return seconds - utc;
}

int64_t offsetAtLocal(int64_t local) {
    SYSTEMTIME wall{}, universal{};
    int64_t seconds = 0;
    if (!toSystemTime(local, wall) || !TzSpecificLocalTimeToSystemTime(nullptr, &wall, &universal) ||
        !fromSystemTime(universal, seconds)) {
        return 0;
    }
    return local - seconds;
}

#else

constexpr int64_t kSecondsPerDay = 86400;

int64_t secondsOf(const std::tm& t) {
    return daysFromCivil(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday) * kSecondsPerDay +
           t.tm_hour * 3600 + t.tm_min * 60 + t.tm_sec;
}

int64_t offsetAtUtc(int64_t utc) {
    const auto moment = static_cast<std::time_t>(utc);
    std::tm local{};
    if (localtime_r(&moment, &local) == nullptr) return 0;
    return secondsOf(local) - utc;
}

// The offset whose moment shows this wall-clock time: what mktime gives
// with the daylight-saving flag left to the zone (-1), found through
// localtime_r, which unlike mktime does not look at the zone file again on
// every call (a listing asks once a row). A time in the hour skipped in
// spring takes one of the two offsets around it.
int64_t offsetAtLocal(int64_t local) {
    int64_t offset = offsetAtUtc(local);
    for (int round = 0; round < 3; ++round) {
        const int64_t next = offsetAtUtc(local - offset);
        if (next == offset) break;
        offset = next;
    }
    return offset;
}

#endif

}  // namespace

LocalZone systemLocalZone() {
    return {offsetAtUtc, offsetAtLocal};
}

}  // namespace undelete
