#include "carve/TiffDirectories.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "carve/MetadataText.h"

namespace undelete {
namespace {

constexpr size_t kMaxDirectories = 64;
constexpr uint16_t kMaxEntries = 4096;
constexpr uint32_t kMaxStrips = 1u << 22;

// Published tag numbers.
enum : uint16_t {
    kMake = 0x010F,
    kModel = 0x0110,
    kStripOffsets = 0x0111,
    kStripByteCounts = 0x0117,
    kDateTime = 0x0132,
    kSubIfds = 0x014A,
    kTileOffsets = 0x0144,
    kTileByteCounts = 0x0145,
    kJpegOffset = 0x0201,
    kJpegLength = 0x0202,
    kExifIfd = 0x8769,
    kGpsIfd = 0x8825,
    kDateTimeOriginal = 0x9003,
    kInteropIfd = 0xA005,
    kDngVersion = 0xC612,
};

uint32_t typeBytes(uint16_t type) {
    switch (type) {
        case 1:
        case 2:
        case 6:
        case 7: return 1;
        case 3:
        case 8: return 2;
        case 4:
        case 9:
        case 11:
        case 13: return 4;
        case 5:
        case 10:
        case 12:
        case 16:
        case 17:
        case 18: return 8;
        default: return 0;
    }
}

struct Entry {
    uint16_t tag = 0, type = 0;
    uint32_t count = 0;
    uint64_t values = 0;  // where its values lie, from the header
};

class Walker {
public:
    Walker(Window& file, uint64_t base) : file_(file), base_(base) {}

    TiffWalk run() {
        const uint8_t* header = file_.at(base_, 8);
        if (header == nullptr) return {};
        if (header[0] == 'I' && header[1] == 'I') {
            big_ = false;
        } else if (header[0] == 'M' && header[1] == 'M') {
            big_ = true;
        } else {
            return {};
        }
        if (u16(header + 2) != 42) return {};
        result_.end = 8;
        pending_.push_back(u32(header + 4));
        while (!pending_.empty()) {
            const uint64_t at = pending_.back();
            pending_.pop_back();
            if (std::find(seen_.begin(), seen_.end(), at) != seen_.end()) continue;
            if (seen_.size() == kMaxDirectories) break;
            seen_.push_back(at);
            if (!directory(at)) return {};
        }
        result_.ok = true;
        return result_;
    }

private:
    uint16_t u16(const uint8_t* p) const { return big_ ? be16(p) : le16(p); }
    uint32_t u32(const uint8_t* p) const { return big_ ? be32(p) : le32(p); }
    bool reaches(uint64_t at, uint64_t length) {
        if (!file_.has(base_, 0) || !fits(at, length, file_.size() - base_)) return false;
        result_.end = std::max(result_.end, at + length);
        return true;
    }

    bool directory(uint64_t at) {
        uint16_t count;
        const uint8_t* p = file_.at(base_ + at, 2);
        if (p == nullptr) return false;
        count = u16(p);
        if (count == 0 || count > kMaxEntries || !reaches(at, 2 + 12ull * count + 4)) return false;
        std::vector<Entry> entries(count);
        for (uint16_t i = 0; i < count; ++i) {
            const uint8_t* e = file_.at(base_ + at + 2 + 12ull * i, 12);
            if (e == nullptr) return false;
            Entry& entry = entries[i];
            entry.tag = u16(e);
            entry.type = u16(e + 2);
            entry.count = u32(e + 4);
            const uint64_t bytes = uint64_t{typeBytes(entry.type)} * entry.count;
            entry.values = bytes <= 4 ? at + 2 + 12ull * i + 8 : u32(e + 8);
            if (bytes > 4 && !reaches(entry.values, bytes)) return false;
        }
        const uint8_t* next = file_.at(base_ + at + 2 + 12ull * count, 4);
        if (next == nullptr) return false;
        if (u32(next) != 0) pending_.push_back(u32(next));
        for (const Entry& entry : entries) take(entry);
        return data(entries, kStripOffsets, kStripByteCounts) &&
               data(entries, kTileOffsets, kTileByteCounts) &&
               data(entries, kJpegOffset, kJpegLength);
    }

    // The `index`-th value of an integer entry.
    bool value(const Entry& entry, uint32_t index, uint64_t& out) {
        const uint32_t size = typeBytes(entry.type);
        if (index >= entry.count || (entry.type != 3 && entry.type != 4 && entry.type != 13 &&
                                     entry.type != 16 && entry.type != 18)) {
            return false;
        }
        const uint8_t* p = file_.at(base_ + entry.values + uint64_t{size} * index, size);
        if (p == nullptr) return false;
        out = size == 2 ? u16(p) : size == 4 ? u32(p) : big_ ? be64(p) : le64(p);
        return true;
    }

    std::string text(const Entry& entry) {
        if (entry.type != 2 || entry.count == 0 || entry.count > 256) return {};
        const uint8_t* p = file_.at(base_ + entry.values, entry.count);
        return p ? metadataText(p, entry.count, TextEncoding::Latin1) : std::string();
    }

    // "YYYY:MM:DD HH:MM:SS", as Exif keeps a local time.
    static std::string exifTime(const std::string& t) {
        if (t.size() < 19) return {};
        auto n = [&](size_t at, size_t len) { return std::atoi(t.substr(at, len).c_str()); };
        return isoTime(n(0, 4), n(5, 2), n(8, 2), n(11, 2), n(14, 2), n(17, 2));
    }

    void take(const Entry& entry) {
        uint64_t offset;
        switch (entry.tag) {
            case kMake: result_.make = text(entry); break;
            case kModel: model_ = text(entry); break;
            case kDateTime:
                if (result_.metadata.created.empty()) {
                    result_.metadata.created = exifTime(text(entry));
                }
                break;
            case kDateTimeOriginal: result_.metadata.created = exifTime(text(entry)); break;
            case kDngVersion: result_.dng = true; break;
            case kSubIfds:
            case kExifIfd:
            case kGpsIfd:
            case kInteropIfd:
                for (uint32_t i = 0; i < entry.count && i < kMaxDirectories; ++i) {
                    if (value(entry, i, offset) && offset != 0) pending_.push_back(offset);
                }
                break;
            default: break;
        }
        if (!model_.empty()) {
            const bool named =
                result_.make.empty() || model_.compare(0, result_.make.size(), result_.make) == 0;
            result_.metadata.camera = named ? model_ : result_.make + " " + model_;
        }
    }

    // Pieces given by an entry of offsets and one of lengths.
    bool data(const std::vector<Entry>& entries, uint16_t offsetsTag, uint16_t lengthsTag) {
        const Entry* offsets = nullptr;
        const Entry* lengths = nullptr;
        for (const Entry& entry : entries) {
            if (entry.tag == offsetsTag) offsets = &entry;
            if (entry.tag == lengthsTag) lengths = &entry;
        }
        if (offsets == nullptr || lengths == nullptr) return true;
        const uint32_t n = std::min(offsets->count, lengths->count);
        if (n > kMaxStrips) return false;
        for (uint32_t i = 0; i < n; ++i) {
            uint64_t at, length;
            if (!value(*offsets, i, at) || !value(*lengths, i, length)) return false;
            if (length == 0) continue;
            if (!reaches(at, length)) return false;
            result_.imageData = true;
        }
        return true;
    }

    Window& file_;
    const uint64_t base_;
    bool big_ = false;
    std::vector<uint64_t> pending_;
    std::vector<uint64_t> seen_;
    std::string model_;
    TiffWalk result_;
};

}  // namespace

TiffWalk walkTiff(Window& file, uint64_t base) { return Walker(file, base).run(); }

}  // namespace undelete
