// The records Windows keeps beside a recycled file, from hand-built bytes,
// and which listed files a recycle bin pairs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/Bytes.h"
#include "common/Text.h"
#include "core/RecycleBin.h"
#include "core/RecycleRecord.h"

using namespace undelete;

namespace {

constexpr uint64_t kDeleted = 133590000000000000ULL;  // 2024-05-01 01:20:00 UTC

// A record of `version` for `path`; version 2 says `units` characters
// (the path and its zero), unless told otherwise.
std::vector<uint8_t> record(uint64_t version, const std::u16string& path, int64_t units = -1) {
    std::vector<uint8_t> bytes(version == 1 ? 24 + 520 : 28 + 2 * (path.size() + 1));
    put64(bytes.data(), version);
    put64(bytes.data() + 8, 30000);
    put64(bytes.data() + 16, kDeleted);
    size_t at = 24;
    if (version == 2) {
        put32(bytes.data() + 24, static_cast<uint32_t>(units < 0 ? path.size() + 1 : units));
        at = 28;
    }
    for (size_t i = 0; i < path.size(); ++i) put16(bytes.data() + at + 2 * i, path[i]);
    return bytes;
}

TEST(RecycleRecord, BothVersionsGiveTheOriginalNameFolderAndTimeAndAnythingElseNothing) {
    ASSERT_TRUE(initProcessLocale());
    const std::u16string holiday = u"C:\\Users\\Alice\\Pictures\\holiday 2024.jpg";
    for (const uint64_t version : {1u, 2u}) {
        const std::vector<uint8_t> bytes = record(version, holiday);
        const auto read = parseRecycleRecord(bytes.data(), bytes.size());
        ASSERT_TRUE(read) << version;
        EXPECT_EQ(read->name, "holiday 2024.jpg");
        EXPECT_EQ(read->path, "/Users/Alice/Pictures/");
        EXPECT_EQ(read->size, 30000u);
        EXPECT_EQ(read->deletedAt, kDeleted);
    }
    // A folder at the root, in Chinese, version 2.
    const std::vector<uint8_t> trip = record(2, u"D:\\旅行");
    const auto folder = parseRecycleRecord(trip.data(), trip.size());
    ASSERT_TRUE(folder);
    EXPECT_EQ(folder->name, "旅行");
    EXPECT_EQ(folder->path, "/");

    // Cut short: a version 1 record without its whole path field, a
    // version 2 one whose length runs past its end (by one unit, and by the
    // largest count), one without its length; an unknown version; paths
    // that name no file or climb out of the volume.
    std::vector<uint8_t> cut = record(1, holiday);
    cut.pop_back();
    std::vector<uint8_t> past = record(2, holiday, static_cast<int64_t>(holiday.size()) + 2);
    std::vector<uint8_t> huge = record(2, holiday, 0xFFFFFFFF);
    std::vector<uint8_t> noLength = record(2, holiday);
    noLength.resize(26);
    std::vector<uint8_t> three = record(2, holiday);
    put64(three.data(), 3);
    const std::vector<std::vector<uint8_t>> bad = {cut, past, huge, noLength, three,
                                                   record(2, u"C:\\"), record(1, u""),
                                                   record(2, u"C:\\Users\\..\\..\\etc\\passwd")};
    for (size_t i = 0; i < bad.size(); ++i) {
        EXPECT_FALSE(parseRecycleRecord(bad[i].data(), bad[i].size())) << i;
    }
    EXPECT_FALSE(parseRecycleRecord(nullptr, 0));
}

TEST(RecycleRecord, ABinPairsRecordsMovedFilesAndTheFilesOfMovedFolders) {
    const auto placeOf = [](const std::string& path, const std::string& name, BinPlace& place) {
        DeletedFile file;
        file.path = path;
        file.name = name;
        return binPlaceOf(file, place);
    };
    const std::string user = "/$Recycle.Bin/S-1-5-21-1-2-3-1001/";
    BinPlace record, moved, inside, fat;
    ASSERT_TRUE(placeOf(user, "$IK3J9QX.jpg", record));
    ASSERT_TRUE(placeOf(user, "$RK3J9QX.JPG", moved));
    ASSERT_TRUE(placeOf(user + "$RTRIP01/day 1/", "a.txt", inside));
    // FAT: the deleted 8.3 name lost its first character; the folder's
    // short name is in capitals.
    ASSERT_TRUE(placeOf("/$RECYCLE.BIN/S-1-5-21-1-2-3-1001/", "#IK3J9QX.JPG", fat));
    EXPECT_EQ(record.kind, BinPlace::Kind::Record);
    EXPECT_EQ(moved.kind, BinPlace::Kind::Moved);
    EXPECT_EQ(inside.kind, BinPlace::Kind::InsideMoved);
    EXPECT_EQ(inside.below, "day 1/");
    EXPECT_EQ(record.key, moved.key);
    EXPECT_EQ(record.key, fat.key);
    EXPECT_NE(record.key, inside.key);

    BinPlace none;
    EXPECT_FALSE(placeOf(user, "desktop.ini", none));
    EXPECT_FALSE(placeOf(user, "$RK3J9QXjpg", none));
    EXPECT_FALSE(placeOf("/$Recycle.Bin/", "$RK3J9QX.jpg", none));  // in no user's folder
    EXPECT_FALSE(placeOf("/Users/Alice/", "$RK3J9QX.jpg", none));
    EXPECT_FALSE(placeOf(user + "Other/", "a.txt", none));
}

}  // namespace
