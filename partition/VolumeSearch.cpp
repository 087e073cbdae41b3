#include "partition/VolumeSearch.h"

#include <algorithm>
#include <set>

#include "common/Bytes.h"
#include "disk/DriveReader.h"
#include "partition/NtfsBootSector.h"
#include "partition/PartitionTableWalker.h"
#include "partition/VolumeProbe.h"

namespace undelete {
namespace {

constexpr uint64_t kPlaceSpacingBytes = uint64_t{1} << 20;  // volumes begin on MiB boundaries
constexpr uint64_t kFat32BackupSector = 6;  // where formatters put FAT32's copy
constexpr uint64_t kExfatBackupSector = 12;
// A place's window: the sector before it and the place with the 12 after it.
constexpr uint64_t kWindowBefore = 1;
constexpr uint64_t kWindowAfter = kExfatBackupSector + 1;
// Windows this close are read in one piece, up to this much.
constexpr uint64_t kJoinGapBytes = 64 * 1024;
constexpr uint64_t kMaxReadBytes = uint64_t{1} << 20;
// A geometry of smaller cylinders (a floppy's, or a device's made-up one)
// would make places of most of the disk: only the MiB places are read.
// 16 heads of 63 sectors are the smallest a translated disk gives.
constexpr uint64_t kMinCylinderSectors = 16 * 63;
// Progress is told about this many times over a whole disk.
constexpr uint64_t kProgressSteps = 128;

bool overlaps(uint64_t a, uint64_t aEnd, uint64_t b, uint64_t bEnd) {
    return a < bEnd && b < aEnd;
}

uint64_t endOf(const VolumeCandidate& c) { return saturatingSum(c.start, c.sectors); }

bool isNamedFileSystem(FileSystemKind kind) {
    return kind != FileSystemKind::NotProbed && kind != FileSystemKind::Unknown;
}

FileSystemKind kindOfCopy(BootCopy copy) {
    switch (copy) {
    case BootCopy::Fat32Backup: return FileSystemKind::Fat32;
    case BootCopy::ExfatBackup: return FileSystemKind::Exfat;
    case BootCopy::NtfsBackup: return FileSystemKind::Ntfs;
    default: return FileSystemKind::Unknown;
    }
}

// A table row that stands for a volume: its boot sector names a file system.
bool shadows(const PartitionRecord& row) {
    return row.table != PartitionTableKind::Found && isNamedFileSystem(row.fileSystem);
}

// The non-overlapping subset of `pool` that covers the most sectors of the
// disk (weighted interval scheduling); on a tie, the earlier ending ones.
std::vector<VolumeCandidate> mostCovering(std::vector<VolumeCandidate> pool, uint64_t diskSectors) {
    std::sort(pool.begin(), pool.end(), [](const VolumeCandidate& a, const VolumeCandidate& b) {
        return endOf(a) != endOf(b) ? endOf(a) < endOf(b) : a.start < b.start;
    });
    const size_t n = pool.size();
    std::vector<uint64_t> ends(n), best(n + 1, 0);
    std::vector<size_t> before(n);
    std::vector<bool> taken(n, false);
    for (size_t i = 0; i < n; ++i) ends[i] = endOf(pool[i]);
    for (size_t i = 0; i < n; ++i) {
        // The candidates that end before this one starts.
        before[i] = static_cast<size_t>(std::upper_bound(ends.begin(), ends.begin() + i,
                                                         pool[i].start) - ends.begin());
        const uint64_t onDisk = std::min(ends[i], diskSectors);
        const uint64_t weight = onDisk > pool[i].start ? onDisk - pool[i].start : 0;
        const uint64_t with = best[before[i]] + weight;
        taken[i] = with > best[i];
        best[i + 1] = taken[i] ? with : best[i];
    }
    std::vector<VolumeCandidate> chosen;
    for (size_t i = n; i > 0;) {
        if (taken[i - 1]) {
            chosen.push_back(pool[i - 1]);
            i = before[i - 1];
        } else {
            --i;
        }
    }
    return chosen;
}

// An NTFS boot sector claims its size without a check of it: the volume
// must at least hold its master file table's first cluster.
bool ntfsHoldsItsTable(const uint8_t* sector, const VolumeShape& shape) {
    NtfsBootFields fields;
    if (!decodeNtfsBootSector(sector, fields) || fields.mftCluster == 0) return false;
    const uint64_t tableAt = saturatingProduct(fields.mftCluster, fields.bytesPerCluster);
    return tableAt < saturatingProduct(shape.sectors, shape.sectorBytes);
}

}  // namespace

bool volumeToldBy(const uint8_t* sector, size_t length, uint64_t at, BootCopy copy,
                  uint32_t diskSectorBytes, VolumeCandidate& out) {
    if (diskSectorBytes == 0) return false;
    const VolumeShape shape = probeVolume(sector, length);
    if (shape.kind == FileSystemKind::Unknown) return false;
    if (shape.kind == FileSystemKind::Ntfs && !ntfsHoldsItsTable(sector, shape)) return false;
    VolumeCandidate c;
    c.kind = shape.kind;
    // NTFS claims its sectors without the backup's, which follows them.
    const uint64_t own = shape.kind == FileSystemKind::Ntfs ? saturatingSum(shape.sectors, 1)
                                                            : shape.sectors;
    const uint64_t bytes = saturatingProduct(own, shape.sectorBytes);
    c.sectors = bytes / diskSectorBytes + (bytes % diskSectorBytes != 0);
    if (copy == BootCopy::First) {
        c.start = at;
    } else {
        // A backup's place is counted in the volume's sectors: it is where
        // the search reads only when they are the disk's.
        if (shape.kind != kindOfCopy(copy) || shape.sectorBytes != diskSectorBytes) return false;
        if (shape.backupSector == 0 || shape.backupSector > at) return false;
        if (copy == BootCopy::Fat32Backup && shape.backupSector != kFat32BackupSector) return false;
        c.start = at - shape.backupSector;
        c.bootOffset = shape.backupSector * diskSectorBytes;  // at most at × sector: a disk offset
        if (c.bootOffset / diskSectorBytes != shape.backupSector) return false;
    }
    if (c.sectors == 0) return false;
    out = c;
    return true;
}

std::vector<VolumeCandidate> chooseVolumes(std::vector<VolumeCandidate> candidates,
                                           const std::vector<PartitionRecord>& tableRows,
                                           uint64_t diskSectors) {
    // One per volume, the one its first sector told of first.
    std::sort(candidates.begin(), candidates.end(),
              [](const VolumeCandidate& a, const VolumeCandidate& b) {
                  if (a.start != b.start) return a.start < b.start;
                  if (a.kind != b.kind) return a.kind < b.kind;
                  if (a.sectors != b.sectors) return a.sectors < b.sectors;
                  return a.bootOffset < b.bootOffset;
              });
    candidates.erase(std::unique(candidates.begin(), candidates.end(),
                                 [](const VolumeCandidate& a, const VolumeCandidate& b) {
                                     return a.start == b.start && a.kind == b.kind &&
                                            a.sectors == b.sectors;
                                 }),
                     candidates.end());

    std::vector<std::pair<uint64_t, uint64_t>> taken;  // extents kept so far
    for (const PartitionRecord& row : tableRows) {
        if (shadows(row)) {
            taken.emplace_back(row.firstSector(), saturatingSum(row.firstSector(), row.totalSectors));
        }
    }
    const auto free = [&taken](const VolumeCandidate& c) {
        return std::none_of(taken.begin(), taken.end(), [&c](const auto& extent) {
            return overlaps(c.start, endOf(c), extent.first, extent.second);
        });
    };
    std::vector<VolumeCandidate> chosen;
    for (int tier = 0; tier < 4; ++tier) {
        std::vector<VolumeCandidate> pool;
        for (const VolumeCandidate& c : candidates) {
            const int tierOf = (endOf(c) > diskSectors ? 2 : 0) + (c.bootOffset != 0 ? 1 : 0);
            if (tierOf == tier && free(c)) pool.push_back(c);
        }
        for (const VolumeCandidate& c : mostCovering(std::move(pool), diskSectors)) {
            chosen.push_back(c);
            taken.emplace_back(c.start, endOf(c));
        }
    }
    std::sort(chosen.begin(), chosen.end(),
              [](const VolumeCandidate& a, const VolumeCandidate& b) { return a.start < b.start; });
    return chosen;
}

namespace {

uint64_t cylinderOf(const DriveReader& reader) {
    const uint64_t sectors = uint64_t{reader.sectorsPerTrack()} * reader.tracksPerCylinder();
    return sectors >= kMinCylinderSectors ? sectors : 0;
}

// One search over one open reader: the places in order, their windows read
// in pieces, the candidates they tell of.
class Searcher {
public:
    Searcher(DriveReader& reader, const SearchControl& control)
        : reader_(reader),
          control_(control),
          sectorBytes_(reader.bytesPerSector()),
          sectors_(sectorBytes_ ? reader.deviceBytes() / sectorBytes_ : 0),
          spacing_(std::max<uint64_t>(1, kPlaceSpacingBytes / std::max<uint32_t>(sectorBytes_, 1))),
          track_(reader.sectorsPerTrack()),
          cylinder_(cylinderOf(reader)),
          maxRead_(std::max<uint64_t>(kMaxReadBytes / std::max<uint32_t>(sectorBytes_, 1),
                                      kWindowBefore + kWindowAfter)),
          joinGap_(kJoinGapBytes / std::max<uint32_t>(sectorBytes_, 1)) {}

    // False when stopped.
    bool run(uint64_t& places);
    const std::vector<VolumeCandidate>& candidates() const { return candidates_; }
    uint64_t sectors() const { return sectors_; }
    uint64_t reads() const { return reads_; }

private:
    bool nextPlace(uint64_t from, uint64_t& place) const;
    uint64_t windowFirst(uint64_t place) const { return place >= kWindowBefore ? place - kWindowBefore : 0; }
    uint64_t windowEnd(uint64_t place) const { return std::min(place + kWindowAfter, sectors_); }
    bool load(uint64_t place);
    bool readInto(uint64_t first, uint64_t end);
    const uint8_t* sectorAt(uint64_t sector) const;
    void examine(uint64_t place);
    void consider(const uint8_t* sector, uint64_t at, BootCopy copy, uint64_t place);
    void report(uint64_t place);

    DriveReader& reader_;
    const SearchControl& control_;
    const uint32_t sectorBytes_;
    const uint64_t sectors_;
    const uint64_t spacing_;   // sectors between MiB places
    const uint64_t track_;     // sectors of a track, the cylinder's first being skipped
    const uint64_t cylinder_;  // 0: no geometry
    const uint64_t maxRead_;   // sectors
    const uint64_t joinGap_;   // sectors
    std::vector<uint8_t> buffer_;
    uint64_t bufferFirst_ = 0, bufferEnd_ = 0;  // sectors it holds
    std::set<uint64_t> afterVolumes_;  // the sectors after volumes found
    std::vector<VolumeCandidate> candidates_;
    uint64_t nextReport_ = 0;
    uint64_t reads_ = 0;
};

uint64_t nextMultiple(uint64_t from, uint64_t step) {
    return (from + step - 1) / step * step;
}

// The smallest place at or after `from`; false past the disk's end (whose
// own place is the end itself, for the backup in its last sector).
bool Searcher::nextPlace(uint64_t from, uint64_t& place) const {
    if (from > sectors_) return false;
    uint64_t next = std::min(nextMultiple(from, spacing_), sectors_);
    if (cylinder_ != 0) {
        next = std::min(next, nextMultiple(from, cylinder_));
        const uint64_t afterTrack = from <= track_ ? track_
                                                   : nextMultiple(from - track_, cylinder_) + track_;
        next = std::min(next, afterTrack);
    }
    const auto extra = afterVolumes_.lower_bound(from);
    if (extra != afterVolumes_.end()) next = std::min(next, *extra);
    place = next;
    return true;
}

bool Searcher::readInto(uint64_t first, uint64_t end) {
    ++reads_;
    // At most maxRead_ sectors: the buffer grows only that far.
    const auto bytes = static_cast<uint32_t>((end - first) * sectorBytes_);
    if (buffer_.size() < bytes) buffer_.resize(bytes);
    if (!reader_.readBytesQuietly(first * sectorBytes_, buffer_.data(), bytes)) {
        bufferFirst_ = bufferEnd_ = 0;
        return false;
    }
    bufferFirst_ = first;
    bufferEnd_ = end;
    return true;
}

// Makes the buffer hold `place`'s window, with the windows of the places
// that follow closely.
bool Searcher::load(uint64_t place) {
    const uint64_t first = windowFirst(place);
    uint64_t end = windowEnd(place);
    if (first >= bufferFirst_ && end <= bufferEnd_) return true;
    for (uint64_t at = place, next = 0; nextPlace(at + 1, next); at = next) {
        const uint64_t nextEnd = windowEnd(next);
        if (windowFirst(next) > end + joinGap_ || nextEnd - first > maxRead_) break;
        end = std::max(end, nextEnd);
    }
    // A piece that cannot be read may hold one bad sector: the window alone.
    return readInto(first, end) || readInto(first, windowEnd(place));
}

const uint8_t* Searcher::sectorAt(uint64_t sector) const {
    if (sector < bufferFirst_ || sector >= bufferEnd_) return nullptr;
    return buffer_.data() + (sector - bufferFirst_) * sectorBytes_;
}

void Searcher::consider(const uint8_t* sector, uint64_t at, BootCopy copy, uint64_t place) {
    VolumeCandidate c;
    if (sector == nullptr || !volumeToldBy(sector, sectorBytes_, at, copy, sectorBytes_, c)) return;
    // A backup read after a place belongs to the volume at the place.
    if ((copy == BootCopy::Fat32Backup || copy == BootCopy::ExfatBackup) && c.start != place) return;
    candidates_.push_back(c);
    const uint64_t end = endOf(c);
    if (end > place && end < sectors_) afterVolumes_.insert(end);
}

void Searcher::examine(uint64_t place) {
    if (place >= 1) consider(sectorAt(place - 1), place - 1, BootCopy::NtfsBackup, place);
    if (place >= sectors_) return;
    consider(sectorAt(place), place, BootCopy::First, place);
    consider(sectorAt(place + kFat32BackupSector), place + kFat32BackupSector,
             BootCopy::Fat32Backup, place);
    consider(sectorAt(place + kExfatBackupSector), place + kExfatBackupSector,
             BootCopy::ExfatBackup, place);
}

void Searcher::report(uint64_t place) {
    if (!control_.progress || place < nextReport_) return;
    nextReport_ = place + std::max<uint64_t>(sectors_ / kProgressSteps, spacing_);
    control_.progress(place * sectorBytes_, sectors_ * sectorBytes_);
}

bool Searcher::run(uint64_t& places) {
    if (sectors_ == 0) return true;
    uint64_t place = 0;
    for (uint64_t from = 0; nextPlace(from, place); from = place + 1) {
        if (control_.stopRequested && control_.stopRequested()) return false;
        report(place);
        ++places;
        if (load(place)) examine(place);
        if (candidates_.size() >= kMaxVolumeCandidates) break;
    }
    if (control_.progress) control_.progress(sectors_ * sectorBytes_, sectors_ * sectorBytes_);
    return true;
}

PartitionRecord recordOf(const VolumeCandidate& c, const DriveReader& reader, uint64_t sectors) {
    PartitionRecord record;
    record.table = PartitionTableKind::Found;
    record.fileSystem = c.kind;
    record.partitionType = mbrTypeFor(c.kind, 0);
    record.relativeSectors = c.start;
    record.totalSectors = c.sectors;
    record.bootSectorOffset = c.bootOffset;
    record.deviceSectors = sectors;
    setAddressFromLba(c.start, endOf(c) - 1, reader.sectorsPerTrack(), reader.tracksPerCylinder(),
                      record);
    return record;
}

}  // namespace

VolumeSearchResult searchVolumes(DriveReader& reader, const std::vector<PartitionRecord>& tableRows,
                                 const SearchControl& control) {
    VolumeSearchResult result;
    if (!reader.isOpen() || reader.bytesPerSector() == 0) return result;
    Searcher searcher(reader, control);
    result.stopped = !searcher.run(result.places);
    result.reads = searcher.reads();
    for (const VolumeCandidate& c :
         chooseVolumes(searcher.candidates(), tableRows, searcher.sectors())) {
        result.found.push_back(recordOf(c, reader, searcher.sectors()));
    }
    return result;
}

}  // namespace undelete
