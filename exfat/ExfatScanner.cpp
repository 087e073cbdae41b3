#include "exfat/ExfatScanner.h"

#include <algorithm>
#include <new>

#include "exfat/ExfatOrphanPass.h"
#include "partition/ExfatBootSector.h"
#include "scan/ContentReader.h"

namespace undelete {

namespace {

// The most entries one set takes: a File entry and 18 secondaries.
constexpr size_t kLargestSetBytes = (1 + kExfatMaxSecondaries) * kExfatEntrySize;

// The next extent of `runs` as a run of clusters of the volume.
bool nextRun(ExtentCursor& runs, uint32_t& first, uint32_t& count) {
    Extent extent;
    if (!runs.next(extent)) return false;
    first = static_cast<uint32_t>(extent.first);
    count = static_cast<uint32_t>(extent.count);
    return true;
}

}  // namespace

bool ExfatScanner::open(const PartitionRecord* record) {
    if (record == nullptr || !drive_.open()) return false;
    if (!volumeBoundsOf(*record, drive_, bounds_) || !readBootSector()) return false;
    if (stopped()) return true;  // nothing walked, nothing listed
    bool walked = false;
    try {
        fat_ = std::make_unique<ExfatFat>(drive_, fatOffset_, clusterLimit_);
        beginWalk();
        ExfatRootEntries root;
        if (!findRootEntries(root)) return false;
        loadBitmap(secondBitmap_ ? root.secondBitmap : root.bitmap);
        const uint64_t rootClusters = std::max<uint64_t>(1, kExfatMaxDirectoryBytes / clusterBytes_);
        // A stop before the root's first cluster was read is no failure.
        walked = walkDirectory({ExfatLayout::FatChain, rootCluster_, rootClusters, false}, 0) ||
                 stopped();
        if (walked && deep_ && !stopped()) findOrphans();
        for (Item& item : catalogue_) {
            if (item.extentValid && item.dataLength > 0) {
                item.layout = exfatLayoutOf(item.noFatChain, item.firstCluster,
                                            clustersFor(item.dataLength), *fat_);
            }
            item.state = stateOf(item);
        }
    } catch (const std::bad_alloc&) {
        walked = false;  // a catalogue or a record of the walk too large to hold
    }
    walkedClusters_ = {};
    return walked;
}

// Every sector count inside the volume is in the volume's own sectors; only
// the partition's place is in the disk's.
bool ExfatScanner::readBootSector() {
    ExfatBootSector boot;
    if (!readBootRegion(boot)) return false;
    const uint64_t partitionOffset = bounds_.start;
    const uint64_t sectorBytes = boot.sectorBytes();
    clusterBytes_ = boot.clusterBytes();
    // The boot sector's checks keep the heap and the FATs below 2^44 bytes
    // and the last cluster below 2^58: only the partition's offset may wrap.
    const uint64_t heapEnd = (uint64_t{boot.clusterHeapOffset} +
                              (uint64_t{boot.clusterCount} << boot.sectorsPerClusterShift)) *
                             sectorBytes;
    if (partitionOffset > UINT64_MAX - heapEnd) return false;
    firstDataOffset_ = partitionOffset + uint64_t{boot.clusterHeapOffset} * sectorBytes;
    fatOffset_ = partitionOffset + boot.activeFatSector() * sectorBytes;
    secondBitmap_ = boot.numberOfFats == 2 && (boot.volumeFlags & 1) != 0;

    // The clusters that lie inside the volume's bounds.
    const uint64_t heapStart = uint64_t{boot.clusterHeapOffset} * sectorBytes;
    const uint64_t present = bounds_.bytes();
    const uint64_t whole = present > heapStart ? (present - heapStart) / clusterBytes_ : 0;
    clusterLimit_ = static_cast<uint32_t>(std::min<uint64_t>(boot.clusterLimit(), 2 + whole));
    rootCluster_ = boot.rootCluster;
    if (!validCluster(rootCluster_)) {
        tellOutside();
        return false;
    }
    return true;
}

// The main boot region's checksum sector vouches for its first eleven
// sectors. Where it does not (the boot sector was damaged after it was
// written, even past decoding) and the backup region's does, the backup is
// the volume's word; where neither does, the main boot sector is taken as
// it decodes.
bool ExfatScanner::readBootRegion(ExfatBootSector& boot) {
    uint8_t sector[kExfatBootSectorBytes];
    const uint64_t start = bounds_.start;
    if (!drive_.readBytes(start, sector, sizeof sector)) return false;
    const bool mainOk = decodeExfatBootSector(sector, sizeof sector, boot) == ExfatBootCheck::Ok;
    const uint8_t shift = sector[kExfatBytesPerSectorShift];
    if (shift < 9 || shift > 12) return mainOk;
    const uint32_t sectorBytes = 1u << shift;
    const uint32_t regionBytes = kExfatBootRegionSectors * sectorBytes;
    std::vector<uint8_t> region(regionBytes);
    if (!bounds_.holds(start, 2 * uint64_t{regionBytes}) ||
        (drive_.readBytesQuietly(start, region.data(), regionBytes) &&
         exfatBootChecksumMatches(region.data(), regionBytes, sectorBytes))) {
        return mainOk;
    }
    ExfatBootSector backup;
    if (drive_.readBytesQuietly(start + regionBytes, region.data(), regionBytes) &&
        exfatBootChecksumMatches(region.data(), regionBytes, sectorBytes) &&
        decodeExfatBootSector(region.data(), regionBytes, backup) == ExfatBootCheck::Ok &&
        backup.sectorBytes() == sectorBytes) {
        boot = backup;
        return true;
    }
    return mainOk;
}

uint32_t ExfatScanner::pieceBytes() const {
    return std::min(clusterBytes_, kWindowBytes);
}

bool ExfatScanner::findRootEntries(ExfatRootEntries& root) {
    // The root's own entries come first: read until the bitmap's is found.
    // A chain longer than the volume has clusters comes back on itself:
    // reading on would only read the same clusters again.
    const uint64_t clusters = std::max<uint64_t>(
        1, std::min<uint64_t>(kExfatMaxDirectoryBytes / clusterBytes_, clusterLimit_ - 2u));
    const auto runs = exfatClusters(ExfatLayout::FatChain, rootCluster_, clusters, *fat_, bitmap_,
                          clusterLimit_);
    std::vector<uint8_t> piece(pieceBytes());
    bool readAny = false;
    uint32_t first = 0, count = 0;
    while (nextRun(*runs, first, count)) {
        const uint64_t bytes = uint64_t{count} * clusterBytes_;
        for (uint64_t at = 0; at < bytes; at += piece.size()) {
            if (!walkReads_->read(clusterOffset(first) + at, piece.data(),
                                  static_cast<uint32_t>(piece.size()))) {
                return readAny;
            }
            readAny = true;
            const ExfatWalkSummary summary = walkExfatDirectory(
                piece.data(), piece.size(), ExfatWalkBounds{clusterLimit_, clusterBytes_},
                {}, &root);
            if ((secondBitmap_ ? root.secondBitmap : root.bitmap).found || summary.endSeen) {
                return true;
            }
        }
    }
    return readAny;
}

void ExfatScanner::loadBitmap(const ExfatRootRun& run) {
    bitmapKnown_ = false;
    if (!bitmap_.reset(clusterLimit_)) return;
    // One bit a cluster from cluster 2, in clusters the FAT chains (or in
    // one run, as formatters lay it out).
    const uint64_t bytes = (clusterLimit_ - 2u + 7) / 8;
    bool whole = run.found && run.dataLength >= bytes && validCluster(run.firstCluster);
    if (whole) {
        const ExfatLayout layout = fat_->chainHolds(run.firstCluster, clustersFor(run.dataLength))
                                       ? ExfatLayout::FatChain
                                       : ExfatLayout::Contiguous;
        FileLayout where;
        where.length = where.validLength = bytes;
        where.clusters = {firstDataOffset_, 2, clusterBytes_};
        where.extents = exfatClusters(layout, run.firstCluster, clustersFor(bytes), *fat_, bitmap_,
                                      clusterLimit_);
        MapBitsSink sink(bitmap_, 2);
        ContentReader reader(drive_, bounds_);
        whole = reader.read(where, sink) && sink.whole(bytes);
    }
    bitmap_.finish();
    bitmapKnown_ = whole;
}

bool ExfatScanner::walkDirectory(const DirectorySource& source, uint32_t folder) {
    // Read in windows; a window's last set may run into the next, so the
    // tail that could hold one is walked again with it.
    const auto runs = exfatClusters(source.layout, source.first, source.clusters, *fat_, bitmap_,
                          clusterLimit_);
    const ExfatWalkBounds bounds{clusterLimit_, clusterBytes_};
    const uint32_t piece = pieceBytes();
    std::vector<uint8_t> window;
    std::vector<ExfatEntrySet> sets;
    bool readAny = false, ended = false;
    // False once the directory has ended at an end mark.
    const auto walkWindow = [&](bool last) {
        sets.clear();
        const ExfatWalkSummary summary = walkExfatDirectory(
            window.data(), window.size(), bounds,
            [&](const ExfatEntrySet& set) { sets.push_back(set); });
        const bool whole = last || summary.endSeen;
        const size_t cut = whole ? window.size() : window.size() - kLargestSetBytes;
        for (const ExfatEntrySet& set : sets) {
            if (set.offset < cut) take(set, folder, source.deleted);
        }
        window.erase(window.begin(), window.begin() + static_cast<std::ptrdiff_t>(cut));
        return !summary.endSeen;
    };
    uint32_t first = 0, count = 0;
    while (!ended && !stopped() && nextRun(*runs, first, count)) {
        for (uint32_t c = first; !ended && c - first < count && !stopped(); ++c) {
            // A cluster walked before (a loop, a cross-link), or one a live
            // file uses now inside a deleted folder, is not this directory's.
            if ((source.deleted && bitmap_.used(c)) || !markWalked(c)) {
                ended = true;
                break;
            }
            for (uint32_t at = 0; at < clusterBytes_ && !ended; at += piece) {
                const size_t old = window.size();
                window.resize(old + piece);
                const bool read = walkReads_->read(clusterOffset(c) + at, window.data() + old, piece);
                if (!read || (source.deleted && !readsAsExfatEntries(window.data() + old, piece))) {
                    window.resize(old);
                    ended = true;
                    break;
                }
                readAny = true;
                if (window.size() >= kWindowBytes + kLargestSetBytes && !walkWindow(false)) {
                    return true;
                }
            }
        }
    }
    if (!window.empty()) walkWindow(true);
    return readAny;
}

void ExfatScanner::take(const ExfatEntrySet& set, uint32_t folder, bool inDeletedFolder) {
    if (set.isDirectory()) {
        enter(set, folder, inDeletedFolder);
        return;
    }
    // Inside a deleted folder, only what was deleted itself, as on FAT.
    if (!set.deleted) return;
    catalogue_.push_back(itemOf(set, folder));
}

ExfatScanner::Item ExfatScanner::itemOf(const ExfatEntrySet& set, uint32_t folder) {
    Item item;
    item.name = set.name;
    item.folder = folder;
    item.created = set.created;
    item.firstCluster = set.firstCluster;
    item.validDataLength = set.validDataLength;
    item.dataLength = set.dataLength;
    item.noFatChain = set.noFatChain();
    item.checksumValid = set.checksumValid;
    item.extentValid = set.extentValid;
    return item;
}

void ExfatScanner::findOrphans() {
    if (bitmap_.limit() == 0 || folders_.size() >= UINT32_MAX) return;
    const uint32_t marker = folders_.add(0, kOrphanFolderName);
    ExfatOrphanFinds finds;
    findExfatOrphans(*walkReads_, bitmap_, freeClusterVolume(), freeClusterHooks(), finds);
    const auto placed = finds.folders.place(folders_, marker, {});
    for (const ExfatOrphanFinds::File& file : finds.files) {
        const auto it = placed.find(file.folder);
        Item item = itemOf(file.set, it != placed.end() ? it->second : marker);
        item.origin = FileOrigin::Orphan;
        catalogue_.push_back(std::move(item));
    }
}

void ExfatScanner::enter(const ExfatEntrySet& set, uint32_t parent, bool parentDeleted) {
    const bool deleted = set.deleted || parentDeleted;
    if (!isWalkableExfatDirectory(set)) {
        // A live folder whose clusters lie past the volume's last: its
        // files cannot be listed.
        if (!deleted && set.checksumValid && set.dataLength > 0 &&
            set.firstCluster >= clusterLimit_) {
            tellOutside();
        }
        return;
    }
    // The root is the first level.
    if (depth_ + 1 >= kMaxDirectoryDepth || folders_.size() >= UINT32_MAX || stopped()) return;
    const uint64_t clusters = clustersFor(set.dataLength);
    DirectorySource source{ExfatLayout::FatChain, set.firstCluster, clusters, deleted};
    if (set.noFatChain()) source.layout = ExfatLayout::Contiguous;
    else if (deleted) source.layout = exfatLayoutOf(false, set.firstCluster, clusters, *fat_);
    const uint32_t folder = folders_.add(parent, set.name);
    ++depth_;
    // A subdirectory that cannot be read contributes nothing; its parent
    // goes on.
    walkDirectory(source, folder);
    --depth_;
}

bool ExfatScanner::describe(uint32_t index, DeletedFile& file) {
    if (index >= catalogue_.size()) return false;
    const Item& item = catalogue_[index];
    file = DeletedFile{};
    file.name = item.name;
    file.size = item.dataLength;
    file.created = exfatCreationTime(item.created);
    file.path = paths_.pathOf(item.folder);
    file.state = item.state;
    file.origin = item.origin;
    return true;
}

}  // namespace undelete
