#include "fat32/Fat32Scanner.h"

#include <memory>
#include <new>

#include "common/Message.h"
#include "fat32/Fat32BootSector.h"
#include "fat32/Fat32DirectoryParser.h"

namespace undelete {

const char kFat32PreparingMessage[] = "程序正在准备初始化，可能需要很长时间才能响应";
const char kFat32ReadyMessage[] = "初始化已经成功完成";

bool Fat32Scanner::open(const PartitionRecord* record) {
    if (record == nullptr) return false;
    if (!drive.open()) return false;
    partitionStart = record->baseSector + record->relativeSectors;
    if (!readBootSector()) return false;

    showMessage(kFat32PreparingMessage);
    walkedClusters_.clear();
    depth_ = 0;
    bool walked = false;
    try {
        walked = readDirectory(rootCluster);
    } catch (const std::bad_alloc&) {
        walked = false;  // a catalogue or cluster record too large to hold
    }
    walkedClusters_.clear();
    if (!walked) return false;
    showMessage(kFat32ReadyMessage);
    return true;
}

bool Fat32Scanner::readBootSector() {
    const uint32_t sectorBytes = drive.bytesPerSector;
    if (sectorBytes == 0) return false;
    std::unique_ptr<uint8_t[]> sector(new (std::nothrow) uint8_t[sectorBytes]());
    if (!sector || !drive.readSectors(partitionStart, sector.get(), 1)) return false;
    Fat32BootSector boot;
    if (!decodeFat32BootSector(sector.get(), sectorBytes, boot)) return false;
    sectorsPerCluster = boot.sectorsPerCluster;
    reservedSectors = boot.reservedSectors;
    numberOfFats = boot.numberOfFats;
    fatSize = boot.fatSize;
    rootCluster = boot.rootCluster;
    firstDataSector = firstDataSectorOf(partitionStart, boot);
    return true;
}

uint64_t Fat32Scanner::clusterSector(uint32_t cluster) const {
    return clusterSectorOf(firstDataSector, sectorsPerCluster, cluster);
}

uint32_t Fat32Scanner::clusterBytes() const {
    const uint64_t bytes = static_cast<uint64_t>(sectorsPerCluster) * drive.bytesPerSector;
    return bytes > UINT32_MAX ? 0u : static_cast<uint32_t>(bytes);
}

bool Fat32Scanner::readDirectory(uint32_t cluster) {
    // A damaged volume may lead back to a directory already walked, or nest
    // without end: both are passed over, and the walk ends.
    if (depth_ >= kMaxDirectoryDepth) return true;
    if (!walkedClusters_.insert(cluster).second) return true;
    const uint32_t bytes = clusterBytes();
    if (bytes == 0) return false;
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[bytes]());
    if (!buffer) return false;
    if (!drive.readSectors(clusterSector(cluster), buffer.get(), sectorsPerCluster)) return false;
    ++depth_;
    parseDirectoryEntries(buffer.get(), bytes);
    --depth_;
    return true;
}

bool Fat32Scanner::parseDirectoryEntries(const uint8_t* buffer, uint32_t length) {
    // The subdirectory's own result does not matter: one that cannot be read
    // contributes nothing and its parent goes on.
    parseDirectoryCluster(buffer, length, catalogue,
                          [this](uint32_t cluster) { readDirectory(cluster); });
    return true;
}

bool Fat32Scanner::hasItem(uint32_t index) {
    return index < catalogue.size();
}

bool Fat32Scanner::describe(uint32_t index, ResultRow& row) {
    if (index >= catalogue.size()) return false;
    describeDeletedEntry(catalogue[index], row);
    return true;
}

bool Fat32Scanner::readContent(uint32_t index, std::vector<uint8_t>& data, uint64_t& length) {
    std::vector<uint8_t>().swap(data);
    length = 0;
    if (index >= catalogue.size()) return false;
    const DeletedEntry& entry = catalogue[index];
    length = entry.fileSize;
    if (entry.fileSize == 0) return true;

    const uint32_t clusterSize = clusterBytes();
    if (clusterSize == 0) return false;
    const uint64_t count = clustersForSize(entry.fileSize, clusterSize);
    const uint64_t total = count * clusterSize;
    if (total > data.max_size()) return false;
    try {
        data.assign(static_cast<size_t>(total), 0);
    } catch (const std::bad_alloc&) {
        return false;
    }

    // The clusters are taken to follow one another from the first on.
    const uint64_t start = clusterSector(entry.firstCluster());
    for (uint64_t k = 0; k < count; ++k) {
        if (!drive.readSectors(start + k * sectorsPerCluster, data.data() + k * clusterSize,
                               sectorsPerCluster)) {
            return false;
        }
    }
    return true;
}

}  // namespace undelete
