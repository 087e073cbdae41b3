#include "partition/NtfsBootSector.h"

#include <cstring>

#include "common/Bytes.h"

namespace undelete {
namespace {

constexpr size_t kOemId = 3;
constexpr size_t kBytesPerSector = 11;
constexpr size_t kSectorsPerCluster = 13;
constexpr size_t kMftCluster = 48;
constexpr size_t kClustersPerRecord = 64;
constexpr size_t kTotalSectors = 40;
constexpr size_t kSerial = 72;

// Counts above 0x80 cannot be literal (a cluster holds a power-of-two
// number of sectors up to 128): they give the cluster size as 2^(256 − v)
// sectors, as volumes with clusters above 64 KiB write it.
uint64_t sectorsPerCluster(uint8_t v) {
    if (v <= 0x80) return v;
    const unsigned shift = 256u - v;
    return shift < 32 ? (1ULL << shift) : 0;
}

bool isRecordSize(uint64_t bytes) {
    return bytes >= kNtfsMinRecordBytes && bytes <= kNtfsMaxRecordBytes &&
           (bytes & (bytes - 1)) == 0;
}

// Negative: 2^−v bytes (modulo 32 in the shift, as the record size has
// always been computed). Positive: that many clusters.
uint64_t recordBytes(int8_t v, uint64_t bytesPerCluster) {
    if (v > 0) return static_cast<uint64_t>(v) * bytesPerCluster;
    const unsigned shift = static_cast<unsigned>(-static_cast<int>(v)) % 32;
    return 1ULL << shift;
}

}  // namespace

bool decodeNtfsBootSector(const uint8_t* sector, NtfsBootFields& out) {
    if (sector == nullptr) return false;
    if (std::memcmp(sector + kOemId, "NTFS", 4) != 0) return false;
    const uint32_t bytesPerSector = le16(sector + kBytesPerSector);
    if (bytesPerSector < 512 || bytesPerSector > 4096 ||
        (bytesPerSector & (bytesPerSector - 1)) != 0) {
        return false;
    }
    const uint64_t cluster = sectorsPerCluster(sector[kSectorsPerCluster]) * bytesPerSector;
    const uint64_t record = recordBytes(static_cast<int8_t>(sector[kClustersPerRecord]), cluster);
    if (cluster == 0 || cluster > UINT32_MAX || !isRecordSize(record)) return false;
    out.bytesPerSector = bytesPerSector;
    out.bytesPerCluster = static_cast<uint32_t>(cluster);
    out.recordSize = static_cast<uint32_t>(record);
    out.totalSectors = le64(sector + kTotalSectors);
    out.mftCluster = le64(sector + kMftCluster);
    out.serial = le32(sector + kSerial);
    return true;
}

}  // namespace undelete
