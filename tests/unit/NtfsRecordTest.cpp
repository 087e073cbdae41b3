#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "ntfs/MftRecord.h"
#include "NtfsTestRecords.h"

using namespace undelete;
using undelete::test::Record;
using undelete::test::RecordBuilder;

namespace {

bool parse(const Record& r, MftRecordInfo& info, bool notInUseOnly = false) {
    return parseRecord(r.data(), r.size(), notInUseOnly, info);
}

std::u16string nameOf(const MftRecordInfo& info) {
    std::u16string name;
    for (size_t i = kFileNameNameOffset; i + 1 < info.fileName.size(); i += 2) {
        const auto unit = static_cast<char16_t>(le16(&info.fileName[i]));
        if (unit == 0) break;
        name += unit;
    }
    return name;
}

std::vector<RunListNode> decode(const std::vector<uint8_t>& bytes) {
    std::vector<RunListNode> runs;
    decodeRunList(bytes.data(), bytes.size(), runs);
    return runs;
}

TEST(MftRecordParse, RefusesAWrongSignatureOrAShortBuffer) {
    MftRecordInfo info;
    Record zeros{};
    EXPECT_FALSE(parse(zeros, info));
    Record r = RecordBuilder().fileName(u"a.txt", 1).build();
    EXPECT_TRUE(parseRecord(r.data(), r.size(), false, info));
    EXPECT_FALSE(parseRecord(r.data(), 1023, false, info));
    r[3] = 'F';  // "FILF"
    EXPECT_FALSE(parse(r, info));
}

TEST(MftRecordParse, UpdateSequenceRestoresBothStridesAndRefusesAMismatch) {
    // A resident value that covers offsets 510 and 1022 sees the true
    // bytes there, not the sequence number.
    std::vector<uint8_t> value(1024 - 80);  // from offset 80 to the record's end
    for (size_t i = 0; i < value.size(); ++i) value[i] = static_cast<uint8_t>(i * 7 + i / 300);
    RecordBuilder builder;
    builder.data(value);
    const Record good = builder.build(false);
    ASSERT_EQ(le16(&good[510]), 0x0004);
    ASSERT_EQ(le16(&good[1022]), 0x0004);
    MftRecordInfo info;
    ASSERT_TRUE(parse(good, info));
    ASSERT_EQ(info.dataLength, 944);
    EXPECT_TRUE(std::equal(value.begin(), value.end(), info.residentData.begin()));

    Record bad = good;
    bad[510] ^= 1;
    MftRecordInfo first;
    EXPECT_FALSE(parse(bad, first));
    bad = good;
    bad[1023] ^= 0x80;
    MftRecordInfo second;
    EXPECT_FALSE(parse(bad, second));
    bad = good;
    put16(&bad[4], 1020);  // the array would lie past the record
    MftRecordInfo third;
    EXPECT_FALSE(parse(bad, third));
}

TEST(MftRecordParse, NotInUseOnlyRefusesEveryNonZeroFlags) {
    for (uint16_t flags = 0; flags < 4; ++flags) {
        const Record r = RecordBuilder(flags).fileName(u"f", 1).build();
        MftRecordInfo strict;
        MftRecordInfo any;
        EXPECT_EQ(parse(r, strict, true), flags == 0) << flags;
        EXPECT_TRUE(parse(r, any, false)) << flags;
    }
}

TEST(MftRecordParse, KeepsTheLastNameOutsideTheDosNamespace) {
    MftRecordInfo dosOnly;
    ASSERT_TRUE(parse(RecordBuilder().fileName(u"LONGNA~1.TXT", 2).build(), dosOnly));
    EXPECT_TRUE(std::all_of(dosOnly.fileName.begin(), dosOnly.fileName.end(),
                            [](uint8_t b) { return b == 0; }));

    MftRecordInfo dosFirst;
    ASSERT_TRUE(parse(
        RecordBuilder().fileName(u"LONGNA~1.TXT", 2).fileName(u"long name.txt", 1, 77).build(),
        dosFirst));
    EXPECT_EQ(nameOf(dosFirst), u"long name.txt");
    EXPECT_EQ(le64(&dosFirst.fileName[8]), 77u);

    MftRecordInfo win32First;
    ASSERT_TRUE(
        parse(RecordBuilder().fileName(u"long name.txt", 1).fileName(u"LONGNA~1.TXT", 2).build(),
              win32First));
    EXPECT_EQ(nameOf(win32First), u"long name.txt");

    // The shorter second name leaves nothing of the first behind it.
    MftRecordInfo twice;
    ASSERT_TRUE(parse(
        RecordBuilder().fileName(u"a much longer first name.txt", 1).fileName(u"b.txt", 0).build(),
        twice));
    EXPECT_EQ(nameOf(twice), u"b.txt");
    EXPECT_TRUE(std::all_of(twice.fileName.begin() + 66 + 10, twice.fileName.end(),
                            [](uint8_t b) { return b == 0; }));
}

TEST(MftRecordParse, DataResidentNonResidentOrNone) {
    MftRecordInfo none;
    ASSERT_TRUE(parse(RecordBuilder().fileName(u"n", 1).build(), none));
    EXPECT_EQ(none.dataLength, 0);
    EXPECT_TRUE(none.runs.empty());

    MftRecordInfo empty;
    ASSERT_TRUE(parse(RecordBuilder().data({}).build(), empty));
    EXPECT_EQ(empty.dataLength, 0);

    MftRecordInfo hundred;
    ASSERT_TRUE(parse(RecordBuilder().data(std::vector<uint8_t>(100, 0x5A)).build(), hundred));
    EXPECT_EQ(hundred.dataLength, 100);
    EXPECT_EQ(hundred.residentData[99], 0x5A);
    EXPECT_EQ(hundred.residentData[100], 0);

    MftRecordInfo outside;
    ASSERT_TRUE(parse(
        RecordBuilder().nonResident(0x80, {0x21, 0x10, 0x00, 0x01}, 65536, 60000, 50000).build(),
        outside));
    EXPECT_TRUE(outside.nonResident());
    EXPECT_EQ(outside.allocatedSize, 65536u);
    EXPECT_EQ(outside.dataSize, 60000u);
    EXPECT_EQ(outside.initializedSize, 50000u);
    ASSERT_EQ(outside.runs.size(), 1u);
    EXPECT_EQ(outside.runs[0].runLength, 16u);
    EXPECT_EQ(outside.runs[0].runOffset, 256);
}

TEST(MftRecordParse, OnlyTheUnnamedStreamIsTheContent) {
    // A zone marker after the content, resident or not, replaces nothing.
    MftRecordInfo info;
    ASSERT_TRUE(parse(RecordBuilder()
                          .data(std::vector<uint8_t>(10, 1))
                          .resident(0x80, std::vector<uint8_t>(30, 2), 15)
                          .nonResident(0x80, {0x11, 0x01, 0x05}, 4096, 100, 100, 4)
                          .build(),
                      info));
    EXPECT_EQ(info.dataLength, 10);
    EXPECT_EQ(info.residentData[0], 1);

    MftRecordInfo named;
    ASSERT_TRUE(
        parse(RecordBuilder().resident(0x80, std::vector<uint8_t>(30, 2), 15).build(), named));
    EXPECT_EQ(named.dataLength, 0);

    // A later unnamed resident attribute takes over from a non-resident one.
    MftRecordInfo replaced;
    ASSERT_TRUE(parse(RecordBuilder()
                          .data({0x11, 0x01, 0x05}, 4096, 100)
                          .data(std::vector<uint8_t>(3, 9))
                          .build(),
                      replaced));
    EXPECT_EQ(replaced.dataLength, 3);
    EXPECT_TRUE(replaced.runs.empty());
}

TEST(MftRecordParse, RunListExamples) {
    const auto two = decode({0x21, 0x10, 0x00, 0x01, 0x21, 0x08, 0x00, 0xFF, 0x00});
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[0].runLength, 16u);
    EXPECT_EQ(two[0].runOffset, 256);
    EXPECT_EQ(two[1].runLength, 8u);
    EXPECT_EQ(two[1].runOffset, -256);
    EXPECT_FALSE(two[1].sparse);

    const auto one = decode({0x01, 0x05, 0x00});
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].runLength, 5u);
    EXPECT_EQ(one[0].runOffset, 0);
    EXPECT_TRUE(one[0].sparse);

    EXPECT_TRUE(decode({0x00, 0x21, 0x10, 0x00, 0x01}).empty());

    // Eight-byte fields are the widest: the top bit of the last byte is the sign.
    const auto wide =
        decode({0x88, 1, 0, 0, 0, 0, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0});
    ASSERT_EQ(wide.size(), 1u);
    EXPECT_EQ(wide[0].runOffset, -2);
}

TEST(MftRecordParse, RunListStopsAtOversizeFieldsAndAtTheEnd) {
    // A run whose field size is above 8 ends the list; what came before stays.
    const auto oversize = decode({0x11, 0x04, 0x10, 0x19, 1, 2, 3, 4, 5, 6, 7, 8, 9, 1, 0});
    ASSERT_EQ(oversize.size(), 1u);
    EXPECT_EQ(oversize[0].runOffset, 16);
    EXPECT_TRUE(decode({0x91, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}).empty());
    // Fields that would run past the bytes are not taken.
    EXPECT_EQ(decode({0x11, 0x04, 0x10, 0x44, 1, 2}).size(), 1u);
    // No end marker at all: the list ends with the bytes.
    EXPECT_EQ(decode({0x11, 0x04, 0x10, 0x11, 0x01, 0x01}).size(), 2u);
}

TEST(MftRecordParse, SparseRunInARecord) {
    MftRecordInfo info;
    ASSERT_TRUE(
        parse(RecordBuilder()
                  .data({0x11, 0x02, 0x20, 0x01, 0x03, 0x11, 0x01, 0x04}, 6 * 4096, 6 * 4096)
                  .build(),
              info));
    ASSERT_EQ(info.runs.size(), 3u);
    EXPECT_FALSE(info.runs[0].sparse);
    EXPECT_TRUE(info.runs[1].sparse);
    EXPECT_EQ(info.runs[1].runLength, 3u);
    EXPECT_EQ(info.runs[1].runOffset, 0);
    EXPECT_EQ(info.runs[2].runOffset, 4);
}

TEST(MftRecordParse, WalkEndsAtTypeZeroLengthZeroOrALengthPastTheEnd) {
    MftRecordInfo typeZero;
    ASSERT_TRUE(parse(RecordBuilder()
                          .fileName(u"kept", 1)
                          .raw({0, 0, 0, 0, 0x68, 0, 0, 0})
                          .fileName(u"lost", 1)
                          .build(),
                      typeZero));
    EXPECT_EQ(nameOf(typeZero), u"kept");

    MftRecordInfo lengthZero;
    ASSERT_TRUE(parse(RecordBuilder()
                          .fileName(u"kept", 1)
                          .raw({0x80, 0, 0, 0, 0, 0, 0, 0})
                          .data(std::vector<uint8_t>(5, 1))
                          .build(),
                      lengthZero));
    EXPECT_EQ(nameOf(lengthZero), u"kept");
    EXPECT_EQ(lengthZero.dataLength, 0);

    // A $DATA whose length would carry the walk past 1024 bytes is not taken.
    RecordBuilder builder;
    builder.fileName(u"kept", 1);
    const size_t at = builder.cursor();
    builder.data(std::vector<uint8_t>(8, 1));
    put32(builder.at(at + 4), static_cast<uint32_t>(1024 - at + 8));
    MftRecordInfo pastEnd;
    ASSERT_TRUE(parse(builder.build(false), pastEnd));
    EXPECT_EQ(nameOf(pastEnd), u"kept");
    EXPECT_EQ(pastEnd.dataLength, 0);

    // First attribute offset beyond the record: nothing to walk.
    Record r = RecordBuilder().fileName(u"x", 1).build();
    put16(&r[20], 1020);
    MftRecordInfo noWalk;
    EXPECT_TRUE(parse(r, noWalk));
    EXPECT_EQ(nameOf(noWalk), u"");
}

TEST(MftRecordParse, ValuesReachingPastTheirAttributeAreNotTaken) {
    RecordBuilder names;
    names.fileName(u"good", 1);
    const size_t second = names.cursor();
    names.fileName(u"bad", 1);
    put32(names.at(second + 16), 2000);  // value length beyond the attribute (and 1090)
    MftRecordInfo info;
    ASSERT_TRUE(parse(names.build(), info));
    EXPECT_EQ(nameOf(info), u"good");

    RecordBuilder data;
    const size_t d = data.cursor();
    data.data(std::vector<uint8_t>(16, 1));
    put16(data.at(d + 20), 900);  // value offset past the attribute
    MftRecordInfo residentPast;
    ASSERT_TRUE(parse(data.build(), residentPast));
    EXPECT_EQ(residentPast.dataLength, 0);

    RecordBuilder runs;
    const size_t n = runs.cursor();
    runs.data({0x11, 0x01, 0x01}, 4096, 4096);
    put16(runs.at(n + 32), 400);  // run list offset past the attribute
    MftRecordInfo runsPast;
    ASSERT_TRUE(parse(runs.build(), runsPast));
    EXPECT_EQ(runsPast.dataLength, 0);

    // A non-resident $FILE_NAME, which the format does not allow, is passed over.
    MftRecordInfo nonResidentName;
    ASSERT_TRUE(parse(RecordBuilder().nonResident(0x30, {0x11, 1, 1}, 4096, 100, 100).build(),
                      nonResidentName));
    EXPECT_EQ(nameOf(nonResidentName), u"");
}

// Random damage to a valid record: the parse may refuse or accept, but it
// stays inside its buffers (the sanitizer build checks) and its results
// stay within their bounds.
TEST(MftRecordParse, SurvivesRandomDamage) {
    const Record valid =
        RecordBuilder()
            .fileName(u"LONGNA~1.TXT", 2)
            .fileName(u"long name.txt", 1, test::kMarch7th2012)
            .data({0x21, 0x10, 0x00, 0x01, 0x01, 0x05, 0x21, 0x08, 0x00, 0xFF}, 1 << 20, 1000)
            .resident(0x80, std::vector<uint8_t>(40, 3), 4)
            .build();
    std::mt19937 random(12345);
    int accepted = 0;
    for (int round = 0; round < 4000; ++round) {
        Record r = valid;
        const int edits = 1 + static_cast<int>(random() % 16);
        for (int e = 0; e < edits; ++e) {
            const size_t at = random() % r.size();
            r[at] = (random() % 4 == 0) ? 0xFF : static_cast<uint8_t>(random());
        }
        MftRecordInfo info;
        if (!parse(r, info)) continue;
        ++accepted;
        EXPECT_GE(info.dataLength, -1);
        EXPECT_LE(info.dataLength, 1024);
        EXPECT_LE(info.runs.size(), 512u);
    }
    EXPECT_GT(accepted, 100);  // the damage must not all be caught by the checks
}

}  // namespace
