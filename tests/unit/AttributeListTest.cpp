#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/Bytes.h"
#include "ntfs/AttributeList.h"

using namespace undelete;

namespace {

using Bytes = std::vector<uint8_t>;

// One entry as volumes write it: the name at 26, the length rounded up to 8.
Bytes entry(uint32_t type, uint64_t vcn, uint64_t record, uint16_t sequence, uint16_t instance,
            const std::u16string& name = u"") {
    Bytes e((26 + 2 * name.size() + 7) / 8 * 8, 0);
    put32(e.data(), type);
    put16(e.data() + 4, static_cast<uint16_t>(e.size()));
    e[6] = static_cast<uint8_t>(name.size());
    e[7] = 26;
    put64(e.data() + 8, vcn);
    put64(e.data() + 16, record | uint64_t{sequence} << 48);
    put16(e.data() + 24, instance);
    for (size_t i = 0; i < name.size(); ++i) put16(e.data() + 26 + 2 * i, name[i]);
    return e;
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The list of a file whose name and second run-list piece moved to
// extension records, as ntfs-3g wrote it, with a named stream added.
TEST(AttributeList, EntriesAsWritten) {
    const Bytes value = entry(0x10, 0, 1265, 1, 0) + entry(0x30, 0, 1266, 1, 0) +
                        entry(0x80, 0, 1265, 1, 2) + entry(0x80, 481, 1267, 1, 0) +
                        entry(0x80, 0, 0x123456789ABCull, 0xFEDC, 7, u"Zone.Identifier");
    std::vector<AttributeListEntry> entries;
    const AttributeListResult result = parseAttributeList(value.data(), value.size(), entries);
    ASSERT_TRUE(result.ok());
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(entries[1].type, 0x30u);
    EXPECT_EQ(entries[1].record(), 1266u);
    EXPECT_EQ(entries[3].lowestVcn, 481u);
    EXPECT_EQ(entries[3].record(), 1267u);
    EXPECT_EQ(entries[2].instance, 2u);
    EXPECT_EQ(entries[4].record(), 0x123456789ABCull);
    EXPECT_EQ(entries[4].sequence(), 0xFEDC);
    EXPECT_EQ(entries[4].instance, 7u);
    EXPECT_EQ(entries[4].name, u"Zone.Identifier");
    EXPECT_TRUE(entries[0].name.empty());
}

// Each fault is named with the offset of its entry; the entries before it
// are kept.
TEST(AttributeList, FaultsNameTheirEntry) {
    const Bytes good = entry(0x10, 0, 70, 1, 0);
    const auto fault = [&](const Bytes& bad) {
        const Bytes value = good + bad;
        std::vector<AttributeListEntry> entries;
        const AttributeListResult result = parseAttributeList(value.data(), value.size(), entries);
        EXPECT_EQ(entries.size(), 1u);
        EXPECT_EQ(result.position, 32u);
        return result.error;
    };
    Bytes e = entry(0x80, 0, 71, 1, 0);
    put16(e.data() + 4, 24);
    EXPECT_EQ(fault(e), AttributeListError::ShortEntry);
    put16(e.data() + 4, 0);  // would never move on
    EXPECT_EQ(fault(e), AttributeListError::ShortEntry);
    put16(e.data() + 4, 40);
    EXPECT_EQ(fault(e), AttributeListError::EntryOutsideValue);
    put16(e.data() + 4, 36);
    EXPECT_EQ(fault(e + Bytes(4, 0)), AttributeListError::MisalignedEntry);
    e = entry(0x80, 0, 71, 1, 0, u"abc");  // 32 bytes: the name ends at 32
    e[6] = 4;
    EXPECT_EQ(fault(e), AttributeListError::NameOutsideEntry);
    e[6] = 1;
    e[7] = 24;  // over the instance field
    EXPECT_EQ(fault(e), AttributeListError::NameOutsideEntry);
    EXPECT_EQ(fault(entry(0, 0, 71, 1, 0)), AttributeListError::BadType);
    EXPECT_EQ(fault(entry(0xFFFFFFFF, 0, 71, 1, 0)), AttributeListError::BadType);
    EXPECT_EQ(fault(Bytes(10, 0)), AttributeListError::ShortEntry);  // a tail too short
}

}  // namespace
