#include "core/CarvingScanner.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "scan/FileStates.h"
#include "scan/TimeText.h"

namespace undelete {

const char kCarvedFolder[] = "/$Carved/";

namespace {

// The disk as the carving pass reads it: inside the row's bounds only, and
// copied. A piece mapped where it lies would cost more to walk than to
// copy (a page-table walk each page met; measured: listing a carve took
// 1.5 times as long mapped).
class DriveBytes final : public ByteSource {
public:
    DriveBytes(DriveReader& drive, const VolumeBounds& bounds) : drive_(drive), bounds_(bounds) {}
    uint64_t size() const override { return bounds_.end; }
    bool read(uint64_t offset, uint8_t* into, size_t length) override {
        if (length == 0) return true;
        if (!bounds_.holds(offset, length)) return false;
        while (length > 0) {
            const uint32_t n = static_cast<uint32_t>(std::min<size_t>(length, 1u << 30));
            if (!drive_.readBytes(offset, into, n)) return false;
            offset += n;
            into += n;
            length -= n;
        }
        return true;
    }

private:
    DriveReader& drive_;
    const VolumeBounds& bounds_;
};

// A time a file keeps ("2024-05-01T12:00:00", a zone when it tells one) as
// a creation time: local time as the FAT family keeps it, or UTC.
CreationTime creationOf(const std::string& text) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, used = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%n", &year, &month, &day, &hour, &minute,
                    &second, &used) != 6) {
        return {};
    }
    const std::string zone = text.substr(static_cast<size_t>(used));
    if (zone.empty()) {
        if (year < 1980 || year > 2107) return {};
        const auto date = static_cast<uint16_t>(((year - 1980) << 9) | (month << 5) | day);
        const auto time = static_cast<uint16_t>((hour << 11) | (minute << 5) | (second / 2));
        return CreationTime::fat(date, time, static_cast<uint8_t>(second % 2 * 100));
    }
    int offset = 0;
    int zoneHours = 0, zoneMinutes = 0;
    if (zone != "Z") {
        if (std::sscanf(zone.c_str() + 1, "%2d:%2d", &zoneHours, &zoneMinutes) != 2) return {};
        offset = (zone[0] == '-' ? -1 : 1) * (zoneHours * 3600 + zoneMinutes * 60);
    }
    const int64_t unix = daysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 +
                         second - offset;
    constexpr int64_t kUnixFrom1601 = 11644473600;
    if (unix < -kUnixFrom1601) return {};
    return CreationTime::fileTime(static_cast<uint64_t>(unix + kUnixFrom1601) * 10000000u);
}

// A title as part of a file name: no folder separators nor control bytes,
// and short.
std::string nameSafe(const std::string& title) {
    constexpr size_t kLongest = 64;
    std::string out;
    for (const char c : title) {
        const auto b = static_cast<unsigned char>(c);
        if (out.size() >= kLongest && (b & 0xC0) != 0x80) break;  // at a character's start
        out += (b < 0x20 || c == '/' || c == '\\' || c == ':' || b == 0x7F) ? '_' : c;
    }
    return out;
}

}  // namespace

CarvingScanner::CarvingScanner(std::unique_ptr<VolumeScanner> inner, const ScanContext& context)
    : LayoutScanner(context), inner_(std::move(inner)), progress_(context.showPassProgress) {}

std::string CarvingScanner::carvedName(uint64_t sector, const std::string& title,
                                       const char* extension) {
    char digits[24];
    std::snprintf(digits, sizeof digits, "%010llu", static_cast<unsigned long long>(sector));
    std::string name = digits;
    const std::string safe = nameSafe(title);
    if (!safe.empty()) name += ' ' + safe;
    return name + '.' + extension;
}

bool CarvingScanner::open(const PartitionRecord* record) {
    if (record == nullptr || !drive_.open() || !volumeBoundsOf(*record, drive_, bounds_)) {
        return false;
    }
    // A volume that no longer opens is carved as a whole, like an unknown one.
    if (inner_ && !inner_->open(record)) inner_.reset();
    base_ = countInner();
    if (inner_ && inner_->cutShortByStop()) return true;  // carved only when the listing is whole
    blocks_ = ClusterGeometry{bounds_.start, 0, drive_.bytesPerSector()};
    if (inner_ && inner_->allocation(map_, blocks_) &&
        (blocks_.bytes == 0 || blocks_.origin < bounds_.start || blocks_.origin >= bounds_.end)) {
        map_ = nullptr;
        blocks_ = ClusterGeometry{bounds_.start, 0, drive_.bytesPerSector()};
    }
    if (blocks_.bytes == 0) blocks_.bytes = 512;
    carve();
    return true;
}

// The inner catalogue's length: hasItem holds exactly below it.
uint32_t CarvingScanner::countInner() {
    if (!inner_ || !inner_->hasItem(0)) return 0;
    uint64_t low = 1, high = 2;  // hasItem(low - 1) holds; hasItem(high) is not known
    while (high <= UINT32_MAX && inner_->hasItem(static_cast<uint32_t>(high - 1))) {
        low = high;
        high *= 2;
    }
    high = std::min<uint64_t>(high, uint64_t{UINT32_MAX} + 1);
    while (high - low > 1) {  // hasItem(low - 1) holds, hasItem(high - 1) does not
        const uint64_t middle = low + (high - low) / 2;
        if (inner_->hasItem(static_cast<uint32_t>(middle - 1))) low = middle;
        else high = middle;
    }
    return static_cast<uint32_t>(std::min<uint64_t>(low, UINT32_MAX - 1));
}

void CarvingScanner::carve() {
    DriveBytes disk(drive_, bounds_);
    CarveHooks hooks;
    if (map_ != nullptr) {
        hooks.allocated = [this](uint64_t offset) {
            return map_->used(blocks_.first + (offset - blocks_.origin) / blocks_.bytes);
        };
    }
    hooks.stop = [this] { return stopRequested_ && stopRequested_(); };
    if (progress_) hooks.progress = progress_;
    hooks.found = [this](const CarvedFile& file) {
        if (carved_.size() >= UINT32_MAX - 1 - base_) return;  // no index left
        carved_.push_back({file.offset, file.length, file.kind, file.extension, file.metadata});
    };
    CarvePass pass(disk, blocks_.origin, bounds_.end - blocks_.origin, blocks_.bytes,
                   std::move(hooks));
    carveStopped_ = pass.run().stopped;
}

bool CarvingScanner::hasItem(uint32_t index) {
    if (index < base_) return true;
    return index - base_ < carved_.size();
}

bool CarvingScanner::cutShortByStop() const {
    return carveStopped_ || (inner_ && inner_->cutShortByStop());
}

bool CarvingScanner::startOf(uint32_t index, uint64_t& offset) {
    FileLayout where;
    Extent first;
    if (!inner_->layout(index, where) || where.resident || !where.extents ||
        !where.extents->next(first) || first.kind != Extent::Kind::Stored) {
        return false;
    }
    return where.clusters.offsetOf(first.first, offset);
}

bool CarvingScanner::describe(uint32_t index, DeletedFile& file) {
    if (index < base_) {
        if (!inner_ || !inner_->describe(index, file)) return false;
        uint64_t start = 0;
        if (startOf(index, start)) {
            std::lock_guard<std::mutex> lock(listedMutex_);
            listedStarts_.insert(start);
        }
        return true;
    }
    if (index - base_ >= carved_.size()) return false;
    const Carved& carved = carved_[index - base_];
    {
        // Listed already, by the entry that tells its name.
        std::lock_guard<std::mutex> lock(listedMutex_);
        if (listedStarts_.count(carved.offset) != 0) return false;
    }
    const uint32_t sector = std::max<uint32_t>(512, drive_.bytesPerSector());
    file = DeletedFile{};
    // A photo has no title: the camera that took it tells it apart.
    const FileMetadata& about = carved.metadata;
    file.name = carvedName(carved.offset / sector, about.title.empty() ? about.camera : about.title,
                           carved.extension);
    file.path = std::string(kCarvedFolder) + carved.kind + '/';
    file.size = carved.length;
    file.created = creationOf(carved.metadata.created);
    file.origin = FileOrigin::Carved;
    if (map_ != nullptr) {
        FileLayout where;
        carvedLayout(carved, where);
        file.state = layoutState(&where, *map_, true);
    }
    return true;
}

void CarvingScanner::carvedLayout(const Carved& file, FileLayout& layout) const {
    layout = FileLayout{};
    layout.length = file.length;
    layout.validLength = file.length;
    layout.clusters = blocks_;
    layout.mustCover = true;
    const uint64_t first = blocks_.first + (file.offset - blocks_.origin) / blocks_.bytes;
    const uint64_t count = file.length / blocks_.bytes + (file.length % blocks_.bytes != 0);
    layout.extents.reset(new ExtentList({Extent::stored(first, count)}));
}

bool CarvingScanner::layout(uint32_t index, FileLayout& layout) {
    if (index < base_) return inner_ && inner_->layout(index, layout);
    if (index - base_ >= carved_.size()) return false;
    try {
        carvedLayout(carved_[index - base_], layout);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool CarvingScanner::allocation(const ClusterMap*& map, ClusterGeometry& clusters) {
    return inner_ && inner_->allocation(map, clusters);
}

}  // namespace undelete
