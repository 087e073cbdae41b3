#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "app/Language.h"
#include "app/cli/BatchFormat.h"
#include "common/Text.h"
#include "scan/RowTexts.h"

using namespace undelete;

namespace {

const LocalZone utc = LocalZone::fixed(0);

std::string fields(const std::string& line, size_t i) {
    size_t at = 0;
    for (; i > 0; --i) at = line.find('\t', at) + 1;
    return line.substr(at, line.find('\t', at) - at);
}

// Every byte a terminal could act on, and every malformed sequence.
bool plainText(const std::string& s) {
    for (const char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) return false;
    }
    return s.find("\xC2\x9B") == std::string::npos;
}

TEST(BatchFormat, NamesFromTheDiskStayOneLineAndReachNoTerminalRaw) {
    const std::string hostile = "a\tb\nc\\d\x1B[31m\r\xC2\x9B\xFF\xE4\xB8";
    EXPECT_EQ(escapeField(hostile), "a\\tb\\nc\\\\d\\x1B[31m\\r\\xC2\\x9B\\xFF\\xE4\\xB8");
    EXPECT_EQ(jsonString(hostile),
              "\"a\\tb\\nc\\\\d\\u001B[31m\\r\\u009B\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\"");
    EXPECT_EQ(jsonString("say \"hi\"\x7F"), "\"say \\\"hi\\\"\\u007F\"");
    // Overlong forms and surrogates are no UTF-8 either.
    EXPECT_EQ(escapeField("\xC0\xAF\xED\xA0\x80"), "\\xC0\\xAF\\xED\\xA0\\x80");

    DeletedFile file;
    file.name = hostile;
    file.size = 123456789012ULL;
    file.path = "/Dir\twith tab/";
    BatchFile row{3, 77, file, "2024/5/1 12:00:00", "115.0 GB"};
    const std::string tsv = fileTsv(row, utc);
    std::string withoutTabs = tsv;
    withoutTabs.erase(std::remove(withoutTabs.begin(), withoutTabs.end(), '\t'),
                      withoutTabs.end());
    EXPECT_TRUE(plainText(withoutTabs)) << tsv;
    EXPECT_EQ(std::count(tsv.begin(), tsv.end(), '\t'), 10) << tsv;
    EXPECT_EQ(fields(tsv, 2), escapeField(hostile));
    EXPECT_EQ(fields(tsv, 5), "123456789012");
    EXPECT_EQ(fields(tsv, 7), "/Dir\\twith tab/");
    EXPECT_EQ(fields(tsv, 8), "unknown");
    EXPECT_EQ(fields(tsv, 9), "table");
    EXPECT_EQ(fields(tsv, 10), "");
    EXPECT_EQ(fileJson(row, utc),
              "{\"row\":3,\"index\":77,\"name\":" + jsonString(hostile) +
                  ",\"size\":123456789012,\"created\":null,\"path\":\"/Dir\\twith tab/\","
                  "\"state\":\"unknown\",\"origin\":\"table\",\"deleted\":null}");
    row.file.state = FileState::Encrypted;
    row.file.deletedAt = 133590000000000000ULL;  // from a recycle bin's record
    EXPECT_EQ(fields(fileTsv(row, utc), 8), "encrypted");
    // Where it was found, in every form.
    const std::pair<FileOrigin, const char*> origins[] = {{FileOrigin::Orphan, "orphan"},
                                                          {FileOrigin::Search, "search"},
                                                          {FileOrigin::Carved, "carved"}};
    for (const auto& [origin, word] : origins) {
        row.file.origin = origin;
        EXPECT_EQ(fields(fileTsv(row, utc), 9), word);
        EXPECT_NE(fileJson(row, utc).find(",\"origin\":\"" + std::string(word) + "\","),
                  std::string::npos);
    }
    // The deletion time: the last field.
    EXPECT_EQ(fields(fileTsv(row, utc), 10), "2024-05-01T01:20:00Z");
    const std::string json = fileJson(row, utc);
    EXPECT_EQ(json.substr(json.rfind(',')), ",\"deleted\":\"2024-05-01T01:20:00Z\"}");
}

TEST(BatchFormat, WholeNamesFromUtf16IncludingBrokenOnes) {
    ASSERT_TRUE(initProcessLocale());
    // 200 CJK characters: 600 bytes, none cut (the list's text stops at 259).
    const std::u16string cjk(200, u'\u6587');
    std::string name = utf16ToText(reinterpret_cast<const uint16_t*>(cjk.data()), cjk.size());
    ASSERT_EQ(name.size(), 600u);
    EXPECT_EQ(escapeField(name), name);
    EXPECT_EQ(jsonString(name), "\"" + name + "\"");
    // An unpaired surrogate arrives as '?'.
    const uint16_t broken[] = {u'a', 0xD800, u'b', 0xDC00};
    EXPECT_EQ(escapeField(utf16ToText(broken, 4)), "a?b?");
}

TEST(BatchFormat, TimesAreUtcInIso8601) {
    // 2024-05-01T12:00:00Z as an NTFS stamp: whatever the zone.
    const uint64_t stamp = (1714564800ULL + 11644473600ULL) * 10000000ULL;
    EXPECT_EQ(isoUtcTime(CreationTime::fileTime(stamp), LocalZone::fixed(7200)), "2024-05-01T12:00:00Z");
    // The stamp's whole range: its epoch, and a five-digit year at its end.
    EXPECT_EQ(isoUtcTime(CreationTime::fileTime(0), utc), "1601-01-01T00:00:00Z");
    EXPECT_EQ(isoUtcTime(CreationTime::fileTime(UINT64_MAX), utc), "60056-05-28T05:36:10Z");
    // A FAT time is local: 2024-03-01 00:30:10 at UTC+2 is the day before in UTC,
    // across the leap day.
    const auto fat = CreationTime::fat((44 << 9) | (3 << 5) | 1, (0 << 11) | (30 << 5) | 5);
    EXPECT_EQ(isoUtcTime(fat, LocalZone::fixed(7200)), "2024-02-29T22:30:10Z");
    EXPECT_EQ(isoUtcTime(fat, LocalZone::fixed(-3600)), "2024-03-01T01:30:10Z");
    // An odd second is the even one and 100 to 199 hundredths; the dialog's
    // text and this one both show it, not the second before. Hundredths
    // past 199 are no time.
    const auto odd = CreationTime::fat(fat.fatDate(), fat.fatTime(), 150);
    EXPECT_EQ(isoUtcTime(odd, utc), "2024-03-01T00:30:11Z");
    EXPECT_EQ(isoUtcTime(CreationTime::fat(fat.fatDate(), fat.fatTime(), 200), utc),
              "2024-03-01T00:30:10Z");
    char text[25];
    formatCreationTimeText(odd, utc, text);
    EXPECT_STREQ(text, "2024/3/1 00:30:11");
    // Stored values that are no time give none.
    EXPECT_EQ(isoUtcTime(CreationTime::fat((44 << 9) | (13 << 5) | 1, 0), utc), "");
    EXPECT_EQ(isoUtcTime(CreationTime::fat((44 << 9) | (4 << 5) | 31, 0), utc), "");
    EXPECT_EQ(isoUtcTime(CreationTime::fat((44 << 9) | (4 << 5) | 30, 24 << 11), utc), "");
    EXPECT_EQ(isoUtcTime(CreationTime{}, utc), "");
}

TEST(BatchFormat, PartitionRowsCarryExactSectorsAndBytes) {
    PartitionRecord r;
    r.bootIndicator = 0x80;
    r.partitionType = 0x0C;
    r.baseSector = 2048;
    r.relativeSectors = 63;
    r.totalSectors = 614400;
    EXPECT_EQ(partitionJson(2, r, 512),
              "{\"row\":2,\"filesystem\":\"FAT32\",\"type\":\"0C\",\"active\":true,"
              "\"start\":2111,\"sectors\":614400,\"bytes\":314572800,\"sector_size\":512,"
              "\"origin\":\"table\"}");
    EXPECT_EQ(partitionTsv(2, r, 512),
              "2\tFAT32\t0C\t0\t0\t0\t0\t0\t0\t0.3 GB\tyes\t2111\t614400\t314572800\t512\ttable");
    // On a disk of 4096-byte sectors the counts stay in its sectors; bytes
    // and capacity follow them.
    EXPECT_EQ(partitionTsv(2, r, 4096),
              "2\tFAT32\t0C\t0\t0\t0\t0\t0\t0\t2.3 GB\tyes\t2111\t614400\t2516582400\t4096\ttable");
    // A volume the search found: named by its boot sector, no type, its
    // origin at the end.
    PartitionRecord found;
    found.table = PartitionTableKind::Found;
    found.fileSystem = FileSystemKind::Exfat;
    found.partitionType = 0x07;
    found.relativeSectors = 268288;
    found.totalSectors = 32768;
    EXPECT_EQ(partitionTsv(4, found, 512),
              "4\texFAT\t-\t0\t0\t0\t0\t0\t0\t0.0 GB\tno\t268288\t32768\t16777216\t512\tfound");
    EXPECT_EQ(partitionJson(4, found, 512),
              "{\"row\":4,\"filesystem\":\"exFAT\",\"type\":\"-\",\"active\":false,"
              "\"start\":268288,\"sectors\":32768,\"bytes\":16777216,\"sector_size\":512,"
              "\"origin\":\"found\"}");
}

TEST(Language, ChineseExactlyWhenTheMessageLanguageIsChinese) {
    struct Case {
        std::map<std::string, std::string> env;
        bool chinese;
    };
    const Case cases[] = {
        {{{"LANG", "zh_CN.UTF-8"}}, true},
        {{{"LANG", "de_DE.UTF-8"}}, false},
        {{}, false},
        {{{"LANG", "C"}}, false},
        {{{"LANGUAGE", "zh_CN"}, {"LANG", "en_US.UTF-8"}}, true},
        {{{"LANGUAGE", ":zh_TW:en"}, {"LANG", "en_US.UTF-8"}}, true},
        {{{"LANGUAGE", "zh_CN"}}, false},  // ignored in the C locale, as gettext does
        {{{"LANGUAGE", "en"}, {"LANG", "zh_CN.UTF-8"}}, false},
        {{{"LC_ALL", "en_GB.UTF-8"}, {"LC_MESSAGES", "zh_CN.UTF-8"}}, false},
        {{{"LC_MESSAGES", "zh_CN.UTF-8"}, {"LANG", "en_GB.UTF-8"}}, true},
    };
    for (const Case& c : cases) {
        const auto lookup = [&c](const char* name) -> const char* {
            const auto found = c.env.find(name);
            return found == c.env.end() ? nullptr : found->second.c_str();
        };
        std::string described;
        for (const auto& [k, v] : c.env) described += k + "=" + v + " ";
        EXPECT_EQ(wantsChineseMessages(lookup), c.chinese) << described;
    }
}

TEST(BatchFormat, NearestIndicesAreTheClosestListedOnesInOrder) {
    EXPECT_EQ(nearestIndices({40, 3, 17, 9, 1000}, 12, 3), "3, 9, 17");
    EXPECT_EQ(nearestIndices({5}, 0, 3), "5");
    EXPECT_EQ(nearestIndices({}, 7, 3), "");
    EXPECT_EQ(nearestIndices({UINT64_MAX, 0}, UINT64_MAX - 1, 1), std::to_string(UINT64_MAX));
}

}  // namespace
