#include "core/RecycleBin.h"

#include <utility>
#include <vector>

#include "core/ScannedVolume.h"
#include "scan/ContentSink.h"

namespace undelete {
namespace {

// Bounds that no disk can push further: files held back at once, records
// kept, and the bytes of their names and paths. Past them a file is listed
// as it is.
constexpr size_t kHeldMost = 65536;
constexpr size_t kRecordsMost = 65536;
constexpr uint64_t kRecordBytesMost = 16u << 20;

const char kBinFolder[] = "/$recycle.bin/";

char folded(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string foldedText(const std::string& text) {
    std::string out = text;
    for (char& c : out) c = folded(c);
    return out;
}

// "$I" or "$R" (`kind`) and six letters, with or without an extension.
bool isBinName(const std::string& name, char kind) {
    if (name.size() < 8 || (name.size() > 8 && name[8] != '.')) return false;
    return (name[0] == '$' || name[0] == '#') && folded(name[1]) == kind;
}

}  // namespace

bool binPlaceOf(const DeletedFile& file, BinPlace& place) {
    const std::string path = foldedText(file.path);
    const size_t binLength = sizeof kBinFolder - 1;
    if (path.compare(0, binLength, kBinFolder) != 0) return false;
    const size_t user = path.find('/', binLength);
    if (user == std::string::npos || user == binLength) return false;
    const std::string folder = path.substr(0, user + 1);
    if (user + 1 == path.size()) {
        // In the user's folder: a record, or a moved file.
        if (isBinName(file.name, 'i')) {
            place.kind = BinPlace::Kind::Record;
        } else if (isBinName(file.name, 'r')) {
            place.kind = BinPlace::Kind::Moved;
        } else {
            return false;
        }
        place.key = folder + foldedText(file.name.substr(2));
        place.below.clear();
        return true;
    }
    // Deeper: inside a moved folder.
    const size_t moved = path.find('/', user + 1);
    const std::string top = file.path.substr(user + 1, moved - user - 1);
    if (!isBinName(top, 'r')) return false;
    place.kind = BinPlace::Kind::InsideMoved;
    place.key = folder + foldedText(top.substr(2));
    place.below = file.path.substr(moved + 1);
    return true;
}

RecycleBin::RecycleBin(ScannedVolume& volume, ScanObserver& observer, Emit emit)
    : volume_(volume), observer_(observer), emit_(std::move(emit)) {}

bool RecycleBin::take(FoundFile& found) {
    BinPlace place;
    if (!binPlaceOf(found.file, place)) return emit_(found);
    if (place.kind == BinPlace::Kind::Record) return readRecord(found, place);
    const auto record = records_.find(place.key);
    if (record != records_.end()) return emitPaired(found, place, record->second);
    if (held_.size() >= kHeldMost) return emit_(found);
    const std::string key = place.key;
    held_.emplace(key, Held{found, std::move(place)});
    return true;
}

bool RecycleBin::finish() {
    for (auto& [key, held] : held_) {
        if (!emit_(held.found)) return false;
    }
    held_.clear();
    return true;
}

// Read through the same path as a save; a record that does not read, or
// one past the bounds, is listed as a file of its own.
bool RecycleBin::readRecord(FoundFile& found, const BinPlace& place) {
    if (found.file.size > kRecycleRecordMost) return emit_(found);
    std::vector<uint8_t> bytes;
    BufferSink sink(bytes, kRecycleRecordMost);
    if (!volume_.readContent(found.index, sink, &observer_)) return emit_(found);
    std::optional<RecycleRecord> record = parseRecycleRecord(bytes.data(), bytes.size());
    if (!record) return emit_(found);
    volume_.unlist(found.index);
    const uint64_t bytesKept = record->name.size() + record->path.size();
    if (records_.count(place.key) != 0 || records_.size() >= kRecordsMost ||
        recordBytes_ + bytesKept > kRecordBytesMost) {
        return true;
    }
    recordBytes_ += bytesKept;
    const RecycleRecord& kept = records_.emplace(place.key, std::move(*record)).first->second;
    const auto [first, last] = held_.equal_range(place.key);
    for (auto at = first; at != last; ++at) {
        if (!emitPaired(at->second.found, at->second.place, kept)) return false;
    }
    held_.erase(first, last);
    return true;
}

bool RecycleBin::emitPaired(FoundFile& found, const BinPlace& place, const RecycleRecord& record) {
    DeletedFile& file = found.file;
    if (place.kind == BinPlace::Kind::Moved) {
        file.name = record.name;
        file.path = record.path;
    } else {
        file.path = record.path + record.name + "/" + place.below;
    }
    file.deletedAt = record.deletedAt;
    volume_.relist(found.index, file.name, file.path, file.deletedAt);
    return emit_(found);
}

}  // namespace undelete
