// A step of the scan, the same for every file system: files Windows moved
// into a recycle bin ("/$Recycle.Bin/<user>/$R…", and the files of a moved
// folder) are listed under their original names and folders, with the
// deletion time, once the "$I…" record beside them is read; the records
// themselves are not listed. A moved file is held back until its record is
// found, or the walk ends (then it keeps its own name).
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "core/RecycleRecord.h"
#include "core/Scan.h"

namespace undelete {

class ScannedVolume;

// Where a listed file lies in a bin, when it is a record, a moved file or
// folder, or inside a moved folder. `key` pairs a record with what it
// moved: the user's folder and the letters after "$I"/"$R", without case.
struct BinPlace {
    enum class Kind { Record, Moved, InsideMoved };
    Kind kind = Kind::Moved;
    std::string key;
    std::string below;  // InsideMoved: the path below the moved folder ("a/b/")
};

// False when `file` lies in no bin's user folder, or is none of the three.
// A FAT name that lost its first character to the deletion ('#') counts
// as one that began with '$'.
bool binPlaceOf(const DeletedFile& file, BinPlace& place);

class RecycleBin {
public:
    // `emit` lists a file; false when the observer wants no more.
    using Emit = std::function<bool(FoundFile&)>;
    RecycleBin(ScannedVolume& volume, ScanObserver& observer, Emit emit);

    // A file the walk found: listed at once, held back, or read as a record
    // (which lists the files held for it). False when listing was refused.
    bool take(FoundFile& found);
    // The walk has ended: what is still held is listed as it is.
    bool finish();

private:
    struct Held {
        FoundFile found;
        BinPlace place;
    };
    bool readRecord(FoundFile& found, const BinPlace& place);
    bool emitPaired(FoundFile& found, const BinPlace& place, const RecycleRecord& record);

    ScannedVolume& volume_;
    ScanObserver& observer_;
    Emit emit_;
    std::map<std::string, RecycleRecord> records_;
    std::multimap<std::string, Held> held_;
    uint64_t recordBytes_ = 0;  // of the names and paths kept
};

}  // namespace undelete
