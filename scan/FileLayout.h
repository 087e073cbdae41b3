// Where a file's content lies, the same for every file system: its extents
// in file order (runs of clusters stored on the disk, sparse runs, runs
// whose place is lost), its length and valid-data length, and how its
// clusters are kept (as they lie, or in compressed units). A scanner
// describes a file this way; the one reader (ContentReader.h) reads every
// layout alike, and the one state rule (FileStates.h) weighs it against the
// volume's allocation map.
#pragma once
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace undelete {

// Where a volume's clusters lie on the disk.
struct ClusterGeometry {
    uint64_t origin = 0;  // absolute byte offset of cluster `first`
    uint64_t first = 0;   // the lowest cluster number that holds data (FAT, exFAT: 2)
    uint32_t bytes = 0;   // of a cluster: also the unit a failed read is read again in

    // The absolute byte offset of `cluster`; false below `first` or when it
    // wraps.
    bool offsetOf(uint64_t cluster, uint64_t& offset) const {
        if (cluster < first || bytes == 0) return false;
        const uint64_t from = cluster - first;
        if (from > (UINT64_MAX - origin) / bytes) return false;
        offset = origin + from * bytes;
        return true;
    }
};

// One run of a file, in file order: `count` clusters stored from cluster
// `first` on, or sparse (they read as zeros), or missing (the layout cannot
// say where they lie: their bytes are lost).
struct Extent {
    enum class Kind : uint8_t { Stored, Sparse, Missing };
    Kind kind = Kind::Stored;
    uint64_t first = 0;
    uint64_t count = 0;

    static Extent stored(uint64_t first, uint64_t count) { return {Kind::Stored, first, count}; }
    static Extent sparse(uint64_t count) { return {Kind::Sparse, 0, count}; }
    static Extent missing(uint64_t count) { return {Kind::Missing, 0, count}; }
};

// Gives a file's extents one at a time, so that a layout as long as the
// file (a guess over a huge free space) never needs a list as long.
class ExtentCursor {
public:
    virtual ~ExtentCursor() = default;
    // The next extent; false when there is none.
    virtual bool next(Extent& extent) = 0;
    // Back to the first (the reader walks them once to check, once to read).
    virtual void rewind() = 0;
};

class ExtentList final : public ExtentCursor {
public:
    explicit ExtentList(std::vector<Extent> extents) : extents_(std::move(extents)) {}
    bool next(Extent& extent) override {
        if (at_ >= extents_.size()) return false;
        extent = extents_[at_++];
        return true;
    }
    void rewind() override { at_ = 0; }

private:
    std::vector<Extent> extents_;
    size_t at_ = 0;
};

struct FileLayout {
    uint64_t length = 0;       // bytes of the file
    uint64_t validLength = 0;  // bytes that hold data; past them it reads as zeros
    ClusterGeometry clusters;
    std::unique_ptr<ExtentCursor> extents;  // none: no cluster is the file's

    // Content held in the file's own record (NTFS), not in clusters.
    bool resident = false;
    std::vector<uint8_t> residentBytes;
    // Kept in compressed units of `compressionUnit` clusters (NTFS LZNT1; 0:
    // a unit no reader can decode).
    bool compressed = false;
    uint64_t compressionUnit = 0;
    // Encrypted: read as it lies, and the user is told it cannot be opened.
    bool encrypted = false;
    // A layout guessed from the free clusters after the first (FAT and
    // exFAT once a chain is gone): clusters between its extents were
    // passed over because live files use them.
    bool guessed = false;
    // Extents that stop short of the data make the content unreadable, not
    // lost: a guess or a chain that runs off the volume is no file.
    bool mustCover = false;
    // Where the extents stop short, what lies past them is not known (a
    // record that says where it lies could not be read), rather than gone.
    bool shortfallUnknown = false;
};

}  // namespace undelete
