// Hand-built NTFS structures for the scanner's unit tests: FILE records
// with their attributes and update sequence, boot sectors, and a whole
// partition laid out in a memory disk.
#pragma once
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "common/Bytes.h"
#include "disk/VolumeLocator.h"
#include "partition/PartitionRecord.h"
#include "support/MemoryDisk.h"

namespace undelete::test {

using Record = std::array<uint8_t, 1024>;

class RecordBuilder {
public:
    static constexpr size_t kUsaOffset = 48;
    static constexpr size_t kFirstAttribute = 56;

    explicit RecordBuilder(uint16_t flags = 0, uint16_t sequenceNumber = 0x0004)
        : usn_(sequenceNumber) {
        std::memcpy(bytes_.data(), "FILE", 4);
        put16(&bytes_[4], kUsaOffset);
        put16(&bytes_[6], 3);
        put16(&bytes_[20], kFirstAttribute);
        put16(&bytes_[22], flags);
    }

    // A resident $FILE_NAME value: parent reference at 0, creation time at
    // 8, name length at 64, namespace at 65, the name from 66.
    RecordBuilder& fileName(const std::u16string& name, uint8_t nameSpace, uint64_t created = 0,
                            uint64_t parent = 0) {
        std::vector<uint8_t> value(66 + 2 * name.size(), 0);
        put64(&value[0], parent);
        put64(&value[8], created);
        value[64] = static_cast<uint8_t>(name.size());
        value[65] = nameSpace;
        for (size_t i = 0; i < name.size(); ++i) put16(&value[66 + 2 * i], name[i]);
        return resident(0x30, value);
    }

    // A resident attribute of `type`; a stream name of `nameUnits` units
    // lies between the header and the value.
    RecordBuilder& resident(uint32_t type, const std::vector<uint8_t>& value,
                            uint8_t nameUnits = 0) {
        const size_t valueOffset = 24 + align8(2u * nameUnits);
        const size_t length = align8(valueOffset + value.size());
        uint8_t* a = header(type, length, 0, nameUnits);
        put32(a + 16, static_cast<uint32_t>(value.size()));
        put16(a + 20, static_cast<uint16_t>(valueOffset));
        if (!value.empty()) std::memcpy(a + valueOffset, value.data(), value.size());
        cursor_ += length;
        return *this;
    }

    RecordBuilder& nonResident(uint32_t type, const std::vector<uint8_t>& runList,
                               uint64_t allocated, uint64_t dataSize, uint64_t initialized,
                               uint8_t nameUnits = 0) {
        const size_t runOffset = 64 + align8(2u * nameUnits);
        const size_t length = align8(runOffset + runList.size() + 1);
        uint8_t* a = header(type, length, 1, nameUnits);
        put16(a + 32, static_cast<uint16_t>(runOffset));
        put64(a + 40, allocated);
        put64(a + 48, dataSize);
        put64(a + 56, initialized);
        std::memcpy(a + runOffset, runList.data(), runList.size());
        cursor_ += length;
        return *this;
    }

    RecordBuilder& data(const std::vector<uint8_t>& value) { return resident(0x80, value); }
    RecordBuilder& data(const std::vector<uint8_t>& runList, uint64_t allocated,
                        uint64_t dataSize) {
        return nonResident(0x80, runList, allocated, dataSize, dataSize);
    }

    // Raw bytes at the cursor (for broken attribute headers).
    RecordBuilder& raw(const std::vector<uint8_t>& bytes) {
        std::memcpy(&bytes_[cursor_], bytes.data(), bytes.size());
        cursor_ += bytes.size();
        return *this;
    }

    // The record's own sequence number (header offset 16).
    RecordBuilder& sequence(uint16_t number) {
        put16(&bytes_[16], number);
        return *this;
    }

    // Makes this an extension record of the base record `reference`.
    RecordBuilder& base(uint64_t reference) {
        put64(&bytes_[32], reference);
        return *this;
    }

    // The last attribute's header flags (compressed, encrypted, sparse).
    RecordBuilder& flags(uint16_t value) {
        put16(&bytes_[last_ + 12], value);
        return *this;
    }

    // The last (non-resident) attribute's first and last VCN, and its
    // compression unit.
    RecordBuilder& vcns(uint64_t lowest, uint64_t highest) {
        put64(&bytes_[last_ + 16], lowest);
        put64(&bytes_[last_ + 24], highest);
        return *this;
    }
    RecordBuilder& compressionUnit(uint8_t exponent) {
        bytes_[last_ + 34] = exponent;
        return *this;
    }

    size_t cursor() const { return cursor_; }
    uint8_t* at(size_t offset) { return &bytes_[offset]; }

    // Ends the attributes and applies the update sequence: the true last
    // u16 of each stride goes to the array, the number takes its place.
    Record build(bool endMarker = true) {
        Record r = bytes_;
        if (endMarker && cursor_ + 8 <= r.size()) put32(&r[cursor_], 0xFFFFFFFF);
        put16(&r[kUsaOffset], usn_);
        for (size_t s = 0; s < 2; ++s) {
            const size_t last = (s + 1) * 512 - 2;
            put16(&r[kUsaOffset + 2 + 2 * s], le16(&r[last]));
            put16(&r[last], usn_);
        }
        return r;
    }

private:
    static size_t align8(size_t n) { return (n + 7) & ~size_t{7}; }

    uint8_t* header(uint32_t type, size_t length, uint8_t nonResidentFlag, uint8_t nameUnits) {
        last_ = cursor_;
        uint8_t* a = &bytes_[cursor_];
        put32(a, type);
        put32(a + 4, static_cast<uint32_t>(length));
        a[8] = nonResidentFlag;
        a[9] = nameUnits;
        const size_t nameOffset = nonResidentFlag ? 64 : 24;
        put16(a + 10, static_cast<uint16_t>(nameOffset));
        for (size_t i = 0; i < nameUnits; ++i) put16(a + nameOffset + 2 * i, u'Z');
        return a;
    }

    Record bytes_{};
    size_t cursor_ = kFirstAttribute;
    size_t last_ = kFirstAttribute;
    uint16_t usn_;
};

// A boot sector of an NTFS volume.
inline std::array<uint8_t, 512> ntfsBootSector(uint8_t sectorsPerCluster, uint64_t mftCluster,
                                               uint8_t clustersPerRecord, uint32_t serial) {
    std::array<uint8_t, 512> b{};
    b[0] = 0xEB;
    b[1] = 0x52;
    b[2] = 0x90;
    std::memcpy(&b[3], "NTFS    ", 8);
    put16(&b[11], 512);
    b[13] = sectorsPerCluster;
    put64(&b[48], mftCluster);
    b[64] = clustersPerRecord;
    put32(&b[72], serial);
    put32(&b[76], 0xCAFE0000u);  // upper half of the serial: never compared
    b[510] = 0x55;
    b[511] = 0xAA;
    return b;
}

// One 32-byte attribute list entry (no name).
inline std::vector<uint8_t> listEntry(uint32_t type, uint64_t lowestVcn, uint64_t reference) {
    std::vector<uint8_t> e(32, 0);
    put32(&e[0], type);
    put16(&e[4], 32);
    e[7] = 26;
    put64(&e[8], lowestVcn);
    put64(&e[16], reference);
    return e;
}

// A file reference: record number and sequence number.
constexpr uint64_t reference(uint64_t record, uint16_t sequence) {
    return record | (uint64_t{sequence} << 48);
}

// FILETIME of 2012-03-07 01:05:03 UTC.
constexpr uint64_t kMarch7th2012 = 129755559030000000ULL;

// A table-length lookup that knows one volume, as a mounted-volume query
// would.
inline MftLengthLookup fixedMftLength(uint32_t serial, uint64_t validLength) {
    return [serial, validLength](uint32_t asked) { return asked == serial ? validLength : 0; };
}

// An NTFS partition in a memory disk: 4096-byte clusters, 1024-byte
// records, the table at cluster 4 in one run of `mftClusters` clusters
// unless the test writes its own record 0.
struct TestVolume {
    static constexpr uint64_t kStartSector = 8;
    static constexpr uint64_t kStart = kStartSector * 512;
    static constexpr uint32_t kCluster = 4096;
    static constexpr uint32_t kSerial = 0x1A2B3C4D;
    static constexpr uint64_t kMftCluster = 4;

    MemoryDisk& disk;
    PartitionRecord partition;

    explicit TestVolume(MemoryDisk& d, uint8_t clustersPerRecord = 0xF6) : disk(d) {
        partition.partitionType = 0x07;
        partition.relativeSectors = kStartSector;
        partition.totalSectors = disk.bytes().size() / 512 - kStartSector;
        const auto boot = ntfsBootSector(8, kMftCluster, clustersPerRecord, kSerial);
        std::memcpy(disk.at(kStart), boot.data(), boot.size());
    }

    uint64_t clusterOffset(uint64_t cluster) const { return kStart + cluster * kCluster; }

    void putRecord(uint64_t offset, const Record& r) {
        std::memcpy(disk.at(offset), r.data(), r.size());
    }

    // Record 0: the table in one run at kMftCluster.
    void putTable(uint8_t mftClusters) {
        putRecord(clusterOffset(kMftCluster),
                  RecordBuilder(1)
                      .fileName(u"$MFT", 3)
                      .data({0x11, mftClusters, static_cast<uint8_t>(kMftCluster)},
                            uint64_t{mftClusters} * kCluster, uint64_t{mftClusters} * kCluster)
                      .build());
    }

    // Record `index` of a table laid out by putTable.
    void putTableRecord(uint64_t index, const Record& r) {
        putRecord(clusterOffset(kMftCluster) + index * 1024, r);
    }
};

}  // namespace undelete::test
