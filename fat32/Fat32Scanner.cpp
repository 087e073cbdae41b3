#include "fat32/Fat32Scanner.h"

#include <algorithm>
#include <memory>
#include <new>

#include "fat32/Fat32BootSector.h"
#include "fat32/Fat32DirectoryParser.h"

namespace undelete {

const char kFat32PreparingMessage[] = "程序正在准备初始化，可能需要很长时间才能响应";
const char kFat32ReadyMessage[] = "初始化已经成功完成";

Fat32Scanner::Fat32Scanner(const ScanContext& context)
    : messages_(context.showMessage), drive_(context.openDrive, context.showMessage, context.readFailed) {}

bool Fat32Scanner::open(const PartitionRecord* record) {
    if (record == nullptr) return false;
    if (!drive_.open()) return false;
    partitionStart_ = record->firstSector();
    if (!readBootSector()) return false;

    if (messages_) messages_(kFat32PreparingMessage);
    walkedClusters_.clear();
    depth_ = 0;
    bool walked = false;
    try {
        walked = readDirectory(rootCluster_);
    } catch (const std::bad_alloc&) {
        walked = false;  // a catalogue or cluster record too large to hold
    }
    walkedClusters_.clear();
    if (!walked) return false;
    if (messages_) messages_(kFat32ReadyMessage);
    return true;
}

bool Fat32Scanner::readBootSector() {
    const uint32_t sectorBytes = drive_.bytesPerSector();
    if (sectorBytes == 0) return false;
    std::unique_ptr<uint8_t[]> sector(new (std::nothrow) uint8_t[sectorBytes]());
    if (!sector || !drive_.readSectors(partitionStart_, sector.get(), 1)) return false;
    Fat32BootSector boot;
    if (!decodeFat32BootSector(sector.get(), sectorBytes, boot)) return false;
    sectorsPerCluster_ = boot.sectorsPerCluster;
    rootCluster_ = boot.rootCluster;
    firstDataSector_ = firstDataSectorOf(partitionStart_, boot);
    return true;
}

uint64_t Fat32Scanner::clusterSector(uint32_t cluster) const {
    return clusterSectorOf(firstDataSector_, sectorsPerCluster_, cluster);
}

uint32_t Fat32Scanner::clusterBytes() const {
    const uint64_t bytes = static_cast<uint64_t>(sectorsPerCluster_) * drive_.bytesPerSector();
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
    if (!drive_.readSectors(clusterSector(cluster), buffer.get(), sectorsPerCluster_)) return false;
    ++depth_;
    // A subdirectory's own result does not matter: one that cannot be read
    // contributes nothing and its parent goes on.
    parseDirectoryCluster(buffer.get(), bytes, catalogue_,
                          [this](uint32_t child) { readDirectory(child); });
    --depth_;
    return true;
}

bool Fat32Scanner::hasItem(uint32_t index) {
    return index < catalogue_.size();
}

bool Fat32Scanner::describe(uint32_t index, DeletedFile& file) {
    if (index >= catalogue_.size()) return false;
    describeDeletedEntry(catalogue_[index], file);
    return true;
}

bool Fat32Scanner::readContent(uint32_t index, ContentSink& sink) {
    if (index >= catalogue_.size()) return false;
    const DeletedEntry& entry = catalogue_[index];
    if (!sink.begin(entry.fileSize)) return false;
    if (entry.fileSize == 0) return true;

    const uint32_t clusterSize = clusterBytes();
    if (clusterSize == 0) return false;
    // A piece holds whole clusters, at least one.
    const uint64_t perPiece = std::max<uint64_t>(1, kContentPieceBytes / clusterSize);
    std::unique_ptr<uint8_t[]> piece(new (std::nothrow) uint8_t[perPiece * clusterSize]);
    if (!piece) return false;

    // The clusters are taken to follow one another from the first on; each
    // is read on its own, and a piece goes to the sink once it is full.
    const uint64_t start = clusterSector(entry.firstCluster());
    uint64_t left = entry.fileSize;
    uint64_t k = 0;
    while (left > 0) {
        uint64_t filled = 0;
        while (filled < left && filled < perPiece * clusterSize) {
            if (!drive_.readSectors(start + k * sectorsPerCluster_, piece.get() + filled,
                                    sectorsPerCluster_)) {
                return false;
            }
            filled += clusterSize;
            ++k;
        }
        const uint64_t bytes = std::min(filled, left);
        if (!sink.write(piece.get(), static_cast<size_t>(bytes))) return false;
        left -= bytes;
    }
    return true;
}

}  // namespace undelete
