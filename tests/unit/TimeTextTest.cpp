#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "core/SystemZone.h"
#include "app/cli/BatchFormat.h"
#include "scan/RowTexts.h"
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

// The zone of the test, set for one scope through TZ.
class ZoneScope {
public:
    explicit ZoneScope(const char* zone) {
        const char* old = std::getenv("TZ");
        had_ = old != nullptr;
        if (had_) saved_ = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ZoneScope() {
        if (had_) setenv("TZ", saved_.c_str(), 1);
        else unsetenv("TZ");
        tzset();
    }

private:
    bool had_ = false;
    std::string saved_;
};

uint64_t fileTimeOf(int64_t unixSeconds) {
    return static_cast<uint64_t>(unixSeconds + 11644473600LL) * kTicksPerSecond;
}

// Each date takes the offset its own day had: in Berlin noon is 10:00Z in
// July (summer time) and 11:00Z in January, whichever season it is now. A
// FAT time is local (moved to UTC), an NTFS time UTC (moved to local).
TEST(FileTimeText, TheSystemZoneGivesEachDateItsOwnOffset) {
    ZoneScope berlin("Europe/Berlin");
    const LocalZone zone = systemLocalZone();
    const uint16_t noon = 12 << 11;
    EXPECT_EQ(isoUtcTime(CreationTime::fat((44 << 9) | (7 << 5) | 15, noon), zone),
              "2024-07-15T10:00:00Z");
    EXPECT_EQ(isoUtcTime(CreationTime::fat((44 << 9) | (1 << 5) | 15, noon), zone),
              "2024-01-15T11:00:00Z");
    char text[25];
    formatCreationTimeText(CreationTime::fileTime(fileTimeOf(1721037600)), zone, text);
    EXPECT_STREQ(text, "2024/7/15 12:00:00");  // 2024-07-15T10:00:00Z
    formatCreationTimeText(CreationTime::fileTime(fileTimeOf(1705316400)), zone, text);
    EXPECT_STREQ(text, "2024/1/15 12:00:00");  // 2024-01-15T11:00:00Z

    ZoneScope east("XYZ-8");  // POSIX zones count west positive
    EXPECT_EQ(systemLocalZone().atUtc(1721037600), 8 * kHour);
    EXPECT_EQ(systemLocalZone().atLocal(1721037600), 8 * kHour);
}

}  // namespace
