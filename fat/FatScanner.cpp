#include "fat/FatScanner.h"

#include <algorithm>
#include <memory>
#include <new>

#include "fat/FatDirectoryEntry.h"
#include "fat/OrphanEntries.h"
#include "fat/OrphanPass.h"
#include "partition/FatBootSector.h"
#include "scan/FileStates.h"
#include "scan/FreeAfterFirst.h"

namespace undelete {

const char kFatPreparingMessage[] = "程序正在准备初始化，可能需要很长时间才能响应";
const char kFatReadyMessage[] = "初始化已经成功完成";

bool FatScanner::open(const PartitionRecord* record) {
    if (record == nullptr || !drive_.open()) return false;
    if (!volumeBoundsOf(*record, drive_, bounds_) || !readBootSector(*record)) return false;

    if (messages_) messages_(kFatPreparingMessage);
    // Stopped while the message was up: nothing is walked, nothing listed.
    if (stopped()) return true;
    bool walked = false;
    try {
        fat_ = std::make_unique<FatTable>(drive_, fatLocation_);
        fatKnown_ = fat_->load();
        beginWalk();
        folderAt_.clear();
        walked = type_ == FatType::Fat32 ? walkLiveDirectory(rootCluster_, 0) : walkFixedRoot();
        if (walked && deep_ && !stopped()) findOrphans();
        for (DeletedEntry& entry : catalogue_) entry.state = stateOf(entry);
    } catch (const std::bad_alloc&) {
        walked = false;  // a catalogue or a record of the walk too large to hold
    }
    walkedClusters_ = {};
    folderAt_ = {};
    if (!walked) return false;
    // A walk cut by a stop has not succeeded: the shell says it was stopped.
    if (messages_ && !cutShort_) messages_(kFatReadyMessage);
    return true;
}

// Sector counts inside the volume are in the volume's own sectors (its boot
// sector says how large); only the partition's place is in the disk's.
bool FatScanner::readBootSector(const PartitionRecord& record) {
    uint8_t sector[kFatBootSectorBytes];
    const uint64_t partitionOffset = bounds_.start;
    // A found volume's damaged first sector is read from its backup.
    uint64_t bootAt = 0;
    if (!record.bootSectorAt(partitionOffset, bootAt) ||
        !drive_.readBytes(bootAt, sector, sizeof sector)) {
        return false;
    }
    FatBootSector boot;
    if (decodeFatBootSector(sector, sizeof sector, boot) != FatBootCheck::Ok) return false;
    const uint32_t sectorBytes = boot.bytesPerSector;
    const uint32_t cluster = boot.clusterBytes();
    if (cluster == 0 || cluster > kMaxDirectoryBytes) return false;
    clusterBytes_ = cluster;
    type_ = boot.type;
    rootCluster_ = boot.type == FatType::Fat32 ? std::max<uint32_t>(boot.rootCluster, 2) : 0;
    // At most 2^16 + 2^8 × 2^32 sectors of 4 KiB before cluster 2: far from
    // wrapping 64 bits, but the partition's own offset may lie anywhere.
    const uint64_t dataOffsetBytes = boot.firstDataSector() * sectorBytes;
    if (partitionOffset > UINT64_MAX - dataOffsetBytes) return false;
    firstDataOffset_ = partitionOffset + dataOffsetBytes;
    rootOffset_ = partitionOffset + boot.rootDirectorySector() * sectorBytes;
    rootBytes_ = uint32_t{boot.rootEntryCount} * kDirEntrySize;

    // The volume ends where its boot sector says, but never past its
    // bounds (the partition, the device).
    clusterLimit_ = boot.clusterLimitWithin(bounds_.bytes() / sectorBytes);
    // Below 2^28 clusters of at most 2 MiB: no cluster's offset wraps.
    if (firstDataOffset_ > UINT64_MAX - uint64_t{clusterLimit_} * clusterBytes_) return false;
    fatLocation_.type = boot.type;
    fatLocation_.firstOffset = partitionOffset + boot.fatSector() * sectorBytes;
    fatLocation_.bytesPerFat = uint64_t{boot.fatSize} * sectorBytes;
    fatLocation_.numberOfFats = boot.numberOfFats;
    fatLocation_.clusterLimit = clusterLimit_;
    return true;
}

bool FatScanner::clusterFreeNow(uint32_t cluster) const {
    return !fat_ || !fat_->used().used(cluster) || fat_->used().limit() == 0;
}

bool FatScanner::readClusters(uint32_t first, uint32_t count, uint8_t* into) {
    const uint64_t bytes = uint64_t{count} * clusterBytes_;
    if (bytes == 0 || bytes > UINT32_MAX) return false;
    return walkReads_->read(clusterOffset(first), into, static_cast<uint32_t>(bytes));
}

bool FatScanner::walkLiveDirectory(uint32_t cluster, uint32_t folder) {
    const uint32_t bytes = clusterBytes_;
    if (bytes == 0) return false;
    if (!validCluster(cluster)) {
        if (cluster >= clusterLimit_) tellOutside();
        return false;
    }
    if (!markWalked(cluster)) return true;  // a loop back, or a cross-link

    // The chain through the FAT: it ends at an end mark, a free or bad
    // entry, a cluster outside the volume or one walked before, or at the
    // format's largest directory.
    const uint32_t maxClusters = std::max<uint32_t>(1, kMaxDirectoryBytes / bytes);
    std::vector<uint32_t> chain{cluster};
    for (uint32_t next = 0; chain.size() < maxClusters; chain.push_back(next)) {
        const FatLink link = fat_->link(chain.back(), next);
        if (link != FatLink::Next) {
            if (link == FatLink::Reserved && next >= clusterLimit_) tellOutside();
            break;
        }
        if (!markWalked(next)) break;
    }

    // Contiguous stretches of the chain are read at once.
    std::vector<uint8_t> directory(chain.size() * size_t{bytes});
    size_t read = 0;
    while (read < chain.size()) {
        size_t run = 1;
        while (read + run < chain.size() && chain[read + run] == chain[read] + run) ++run;
        if (!readClusters(chain[read], static_cast<uint32_t>(run),
                          directory.data() + read * size_t{bytes})) {
            break;
        }
        read += run;
    }
    if (read == 0) return false;
    directory.resize(read * size_t{bytes});
    walkEntries(directory, folder, false);
    return true;
}

bool FatScanner::walkFixedRoot() {
    // FAT12 and FAT16: the root is a region of its own before cluster 2, as
    // long as its entry count says (at most 2 MiB).
    std::vector<uint8_t> root(rootBytes_);
    if (rootBytes_ == 0 || !walkReads_->read(rootOffset_, root.data(), rootBytes_)) return false;
    walkEntries(root, 0, false);
    return true;
}

namespace {

// True when every entry up to an end mark could be a directory entry; `ended`
// tells whether an end mark was met.
bool holdsDirectoryEntries(const uint8_t* bytes, size_t length, uint32_t clusterLimit, bool& ended) {
    ended = false;
    for (size_t p = 0; p + kDirEntrySize <= length; p += kDirEntrySize) {
        if (bytes[p] == kEntryEnd) {
            ended = true;
            return p > 0;
        }
        if (!looksLikeDirectoryEntry(bytes + p, clusterLimit)) return false;
    }
    return true;
}

}  // namespace

void FatScanner::walkDeletedDirectory(uint32_t cluster, uint32_t folder) {
    // Its chain is gone from the FAT: the clusters that follow the first one
    // on the disk are taken while they are free and still read as entries
    // of a directory.
    const uint32_t bytes = clusterBytes_;
    if (bytes == 0 || !validCluster(cluster) || !clusterFreeNow(cluster) || wasWalked(cluster)) {
        return;
    }
    std::vector<uint8_t> directory(bytes);
    if (!readClusters(cluster, 1, directory.data())) return;
    uint32_t parent = 0;
    if (!startsDirectory(directory.data(), bytes, cluster, parent)) return;
    markWalked(cluster);
    bool ended = false;
    holdsDirectoryEntries(directory.data(), bytes, clusterLimit_, ended);
    std::vector<uint8_t> next(bytes);
    for (uint32_t c = cluster + 1;
         !ended && directory.size() + bytes <= kMaxDirectoryBytes && !stopped(); ++c) {
        if (!validCluster(c) || !clusterFreeNow(c) || wasWalked(c)) break;
        if (!readClusters(c, 1, next.data())) break;
        if (!holdsDirectoryEntries(next.data(), bytes, clusterLimit_, ended)) break;
        markWalked(c);
        directory.insert(directory.end(), next.begin(), next.end());
    }
    walkEntries(directory, folder, true);
}

void FatScanner::walkEntries(const std::vector<uint8_t>& bytes, uint32_t folder,
                               bool deletedFolder) {
    parseDirectory(bytes.data(), bytes.size(), folder, catalogue_,
                   [&](const Subdirectory& sub) { enter(sub, folder, deletedFolder); });
}

void FatScanner::findOrphans() {
    if (!fat_ || fat_->used().limit() == 0 || folders_.size() >= UINT32_MAX) return;
    const uint32_t marker = folders_.add(0, kOrphanFolderName);
    OrphanFinds finds;
    OrphanPass(*walkReads_, fat_->used(), freeClusterVolume(), freeClusterHooks()).run(finds);
    // Found folders go under the live folder their chain reaches, else
    // under the marker.
    const auto placed = finds.folders.place(folders_, marker, [this](uint32_t cluster, uint32_t& at) {
        const auto it = folderAt_.find(cluster);
        if (it == folderAt_.end()) return false;
        at = it->second;
        return true;
    });
    for (DeletedEntry& entry : finds.files) {
        const auto it = placed.find(entry.folder);
        entry.folder = it != placed.end() ? it->second : marker;
        entry.origin = FileOrigin::Orphan;
        catalogue_.push_back(std::move(entry));
    }
}

void FatScanner::enter(const Subdirectory& sub, uint32_t parent, bool parentDeleted) {
    // A deleted entry's cluster may be any leftover; a live folder's is the
    // volume's word that it lies outside.
    if (!validCluster(sub.cluster)) {
        if (!sub.deleted && !parentDeleted && sub.cluster >= clusterLimit_) tellOutside();
        return;
    }
    // The root is the first level.
    if (depth_ + 1 >= kMaxDirectoryDepth || stopped()) return;
    if (folders_.size() >= UINT32_MAX) return;
    const uint32_t folder = folders_.add(parent, sub.name);
    ++depth_;
    // Inside a deleted folder every chain is gone, whatever the entry's mark.
    // A subdirectory's own result does not matter: one that cannot be read
    // contributes nothing and its parent goes on.
    if (sub.deleted || parentDeleted) walkDeletedDirectory(sub.cluster, folder);
    else walkLiveDirectory(sub.cluster, folder);
    // The folder the deep pass links a found folder's ".." to.
    if (deep_ && wasWalked(sub.cluster)) folderAt_.try_emplace(sub.cluster, folder);
    --depth_;
}

FileState FatScanner::stateOf(const DeletedEntry& entry) {
    if (entry.fileSize == 0) return FileState::Intact;  // nothing to lose
    FileLayout where;
    return layoutState(layout(entry, where) ? &where : nullptr, fat_->used(), fatKnown_);
}

bool FatScanner::describe(uint32_t index, DeletedFile& file) {
    if (index >= catalogue_.size()) return false;
    const DeletedEntry& entry = catalogue_[index];
    file = DeletedFile{};
    file.name = entry.name;
    file.size = entry.fileSize;
    file.created = CreationTime::fat(entry.creationDate, entry.creationTime,
                                     entry.creationHundredths);
    file.path = paths_.pathOf(entry.folder);
    file.state = entry.state;
    file.origin = entry.origin;
    return true;
}

bool FatScanner::layout(uint32_t index, FileLayout& where) {
    return index < catalogue_.size() && layout(catalogue_[index], where);
}

// The first cluster is the file's by its entry; the rest are the free
// clusters that follow it. A layout that the volume ends before is no
// file's.
bool FatScanner::layout(const DeletedEntry& entry, FileLayout& where) const {
    if (!fat_) return false;
    where.length = where.validLength = entry.fileSize;
    where.clusters = {firstDataOffset_, 2, clusterBytes_};
    where.guessed = where.mustCover = true;
    if (entry.fileSize == 0) return true;
    const uint32_t first = entry.firstCluster();
    if (!validCluster(first) || clusterBytes_ == 0) return false;
    where.extents = std::make_unique<FreeAfterFirst>(fat_->used(), first,
                                                     clustersForSize(entry.fileSize, clusterBytes_));
    return true;
}

}  // namespace undelete
