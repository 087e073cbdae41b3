#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "scan/TimeText.h"
#include "NtfsTestRecords.h"

using namespace undelete;

namespace {

constexpr int64_t kHour = 3600;
constexpr uint64_t kTicksPerSecond = 10000000;

std::string text(uint64_t fileTime, int64_t offset) {
    char out[25];
    formatFileTimeText(fileTime, offset, out);
    return out;
}

TEST(FileTimeText, ShiftsByTheOffsetAndSplitsIntoCalendarFields) {
    EXPECT_EQ(text(test::kMarch7th2012, 0), "2012/3/7 01:05:03");
    EXPECT_EQ(text(test::kMarch7th2012, 8 * kHour), "2012/3/7 09:05:03");
    // West of UTC the day goes back, across the month's start as well.
    EXPECT_EQ(text(test::kMarch7th2012, -5 * kHour), "2012/3/6 20:05:03");
    EXPECT_EQ(text(test::kMarch7th2012 - 6 * 86400 * kTicksPerSecond, -2 * kHour),
              "2012/2/29 23:05:03");
    // Fractions of a second are dropped, not rounded.
    EXPECT_EQ(text(test::kMarch7th2012 + kTicksPerSecond - 1, 0), "2012/3/7 01:05:03");
    EXPECT_EQ(text(0, 0), "1601/1/1 00:00:00");
    EXPECT_EQ(text(0, 90 * 60), "1601/1/1 01:30:00");
}

TEST(FileTimeText, UnconvertibleStampsShowZeros) {
    EXPECT_EQ(text(1ULL << 63, 0), "0/0/0 00:00:00");
    EXPECT_EQ(text(UINT64_MAX, 8 * kHour), "0/0/0 00:00:00");
    EXPECT_EQ(text(0, -kHour), "0/0/0 00:00:00");  // before 1601
    // The last convertible stamp, and the same one pushed past it.
    EXPECT_EQ(text((1ULL << 63) - 1, 0), "30828/9/14 02:48:05");
    EXPECT_EQ(text((1ULL << 63) - 1, kHour), "0/0/0 00:00:00");
}

TEST(FileTimeText, TheSystemOffsetFollowsTheZone) {
    const char* old = std::getenv("TZ");
    const std::string saved = old ? old : "";
    setenv("TZ", "XYZ-8", 1);  // POSIX zones count west positive
    tzset();
    EXPECT_EQ(systemUtcOffsetSeconds(), 8 * kHour);
    setenv("TZ", "UTC0", 1);
    tzset();
    EXPECT_EQ(systemUtcOffsetSeconds(), 0);
    if (old) setenv("TZ", saved.c_str(), 1); else unsetenv("TZ");
    tzset();
}

}  // namespace
