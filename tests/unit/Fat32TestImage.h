// Hand-built FAT32 bytes for the scanner's tests: directory entries,
// long-name runs, and a small volume on a memory drive.
#pragma once
#include <algorithm>
#include <array>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "common/Bytes.h"
#include "partition/PartitionRecord.h"
#include "support/MemoryDisk.h"

namespace undelete::test {

using Entry = std::array<uint8_t, 32>;

// A short entry; `name11` is the 11 bytes of base and extension.
inline Entry shortEntry(const char* name11, uint8_t attr, uint32_t cluster = 0, uint32_t size = 0,
                        uint16_t date = 0, uint16_t time = 0) {
    Entry e{};
    std::memcpy(e.data(), name11, 11);
    e[11] = attr;
    put16(e.data() + 14, time);
    put16(e.data() + 16, date);
    put16(e.data() + 20, static_cast<uint16_t>(cluster >> 16));
    put16(e.data() + 26, static_cast<uint16_t>(cluster));
    put32(e.data() + 28, size);
    return e;
}

inline Entry deletedFile(const char* name11, uint32_t cluster = 0, uint32_t size = 0) {
    Entry e = shortEntry(name11, 0x20, cluster, size);
    e[0] = 0xE5;
    return e;
}

// The checksum a long name carries of its short entry's 11 name bytes,
// written out here apart from the scanner's own.
inline uint8_t checksumOf(const char* name11) {
    unsigned sum = 0;
    for (int i = 0; i < 11; ++i) {
        sum = (((sum & 1u) << 7) | (sum >> 1)) + static_cast<uint8_t>(name11[i]);
        sum &= 0xFF;
    }
    return static_cast<uint8_t>(sum);
}

// The long-name entries of `name` in disk order (last piece first), marked
// deleted when `deleted`, carrying `checksum`; a short piece ends with a
// zero unit and 0xFFFF fillers, as the format writes it.
inline std::vector<Entry> longNameEntries(const std::u16string& name, bool deleted = true,
                                          uint8_t checksum = 0) {
    static const size_t offsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
    const size_t pieces = (name.size() + 12) / 13;
    std::vector<Entry> entries;
    for (size_t n = pieces; n >= 1; --n) {
        Entry e{};
        e[0] = static_cast<uint8_t>(n | (n == pieces ? 0x40 : 0));
        e[11] = 0x0F;
        for (size_t i = 0; i < 13; ++i) {
            const size_t at = (n - 1) * 13 + i;
            uint16_t unit = 0xFFFF;
            if (at < name.size()) unit = static_cast<uint16_t>(name[at]);
            else if (at == name.size()) unit = 0;
            put16(e.data() + offsets[i], unit);
        }
        e[13] = checksum;
        if (deleted) e[0] = 0xE5;
        entries.push_back(e);
    }
    return entries;
}

// A file with a long name as the format writes it, then deleted: the long
// name's pieces carry the checksum of `short11` (the short name with its
// real first byte), and every entry carries the deletion mark.
inline std::vector<Entry> deletedNamedFile(const std::u16string& name, const char* short11,
                                           uint32_t cluster = 0, uint32_t size = 0,
                                           uint8_t attr = 0x20) {
    std::vector<Entry> entries = longNameEntries(name, true, checksumOf(short11));
    Entry e = shortEntry(short11, attr, cluster, size);
    e[0] = 0xE5;
    entries.push_back(e);
    return entries;
}

// The same, live.
inline std::vector<Entry> liveNamedEntry(const std::u16string& name, const char* short11,
                                         uint8_t attr, uint32_t cluster = 0, uint32_t size = 0) {
    std::vector<Entry> entries = longNameEntries(name, false, checksumOf(short11));
    entries.push_back(shortEntry(short11, attr, cluster, size));
    return entries;
}

// "." and ".." of the directory at `self`, whose parent is at `parent`.
inline std::vector<Entry> dotEntries(uint32_t self, uint32_t parent) {
    return {shortEntry(".          ", 0x10, self), shortEntry("..         ", 0x10, parent)};
}

// Directory bytes built entry by entry.
class Directory {
public:
    Directory& add(const Entry& e) {
        bytes.insert(bytes.end(), e.begin(), e.end());
        return *this;
    }
    Directory& add(const std::vector<Entry>& entries) {
        for (const Entry& e : entries) add(e);
        return *this;
    }
    std::vector<uint8_t> bytes;
};

// A FAT32 volume on a memory drive: boot sector at `start`, reserved
// sectors, FATs (all clusters free until set), then the data area of
// `clusters` clusters.
struct VolumeLayout {
    uint32_t sectorBytes = 512;
    uint8_t sectorsPerCluster = 1;
    uint16_t reservedSectors = 32;
    uint8_t numberOfFats = 2;
    uint32_t fatSize = 4;
    uint32_t rootCluster = 2;
    uint64_t start = 64;
    uint32_t clusters = 100;
    const char* label = "FAT32   ";
    // BPB_TotSec32; 0: enough for the count to make the volume FAT32 (at
    // least 65,525 clusters), far more than the disk holds, which the
    // scanner takes as the volume's end.
    uint32_t totalSectors = 0;
};

class Fat32Volume {
public:
    explicit Fat32Volume(const VolumeLayout& layout = VolumeLayout())
        : layout_(layout),
          disk_(static_cast<size_t>(dataSector() + 2 + uint64_t{layout.clusters} *
                                                          layout.sectorsPerCluster) *
                    layout.sectorBytes,
                layout.sectorBytes) {
        uint8_t* boot = disk_.at(layout.start * layout.sectorBytes);
        boot[0] = 0xEB;
        put16(boot + 11, static_cast<uint16_t>(layout.sectorBytes));
        boot[13] = layout.sectorsPerCluster;
        put16(boot + 14, layout.reservedSectors);
        boot[16] = layout.numberOfFats;
        put32(boot + 36, layout.fatSize);
        put32(boot + 44, layout.rootCluster);
        boot[21] = 0xF8;  // media: a fixed disk
        const uint32_t countedAsFat32 = layout.reservedSectors +
                                        uint32_t{layout.numberOfFats} * layout.fatSize +
                                        65525u * std::max<uint32_t>(layout.sectorsPerCluster, 1);
        put32(boot + 32, layout.totalSectors != 0 ? layout.totalSectors : countedAsFat32);
        std::memcpy(boot + 82, layout.label, std::strlen(layout.label));
        boot[510] = 0x55;
        boot[511] = 0xAA;
        record.partitionType = 0x0C;
        record.relativeSectors = layout.start;
    }

    // Where the data area truly begins on this volume.
    uint64_t dataSector() const {
        const uint8_t fats = layout_.numberOfFats == 0 ? 2 : layout_.numberOfFats;
        return layout_.start + layout_.reservedSectors + uint64_t{fats} * layout_.fatSize;
    }
    uint32_t clusterBytes() const { return layout_.sectorBytes * layout_.sectorsPerCluster; }
    uint8_t* cluster(uint32_t k) {
        return disk_.at((dataSector() + uint64_t{k - 2} * layout_.sectorsPerCluster) *
                        layout_.sectorBytes);
    }
    // Writes `dir` at the start of cluster k (it may run into the next).
    void put(uint32_t k, const Directory& dir) {
        std::memcpy(cluster(k), dir.bytes.data(), dir.bytes.size());
    }
    MemoryDisk& disk() { return disk_; }

    // Sets FAT entry k in every FAT.
    void setFat(uint32_t k, uint32_t value) {
        const uint8_t fats = layout_.numberOfFats == 0 ? 2 : layout_.numberOfFats;
        for (uint8_t f = 0; f < fats; ++f) {
            const uint64_t fatStart = layout_.start + layout_.reservedSectors + uint64_t{f} * layout_.fatSize;
            put32(disk_.at(fatStart * layout_.sectorBytes + uint64_t{k} * 4), value);
        }
    }
    // Links `clusters` into one chain that ends with an end mark.
    void chain(std::initializer_list<uint32_t> clusters) {
        const uint32_t* c = clusters.begin();
        for (; c + 1 < clusters.end(); ++c) setFat(*c, c[1]);
        if (clusters.size() > 0) setFat(*c, 0x0FFFFFFF);
    }

    PartitionRecord record;

private:
    VolumeLayout layout_;
    MemoryDisk disk_;
};

}  // namespace undelete::test
