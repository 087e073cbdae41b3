// A row's catalogue with the files its content alone still tells of: the
// scanner of the row's file system (if any) lists its files first, then
// the carving pass's files follow at the indices after them. The pass
// reads the volume's free clusters when the scanner keeps an allocation
// map, and the whole row otherwise (a file system no scanner reads, a
// volume that no longer opens, a disk whose table and volumes are gone).
// A carved file that begins where a listed file begins is that file: it
// is listed once, under the entry's name.
#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "carve/CarvePass.h"
#include "disk/DriveReader.h"
#include "scan/ScanContext.h"
#include "scan/VolumeBounds.h"
#include "scan/LayoutScanner.h"

namespace undelete {

// The folder carved files are listed under, a folder per kind below it.
extern const char kCarvedFolder[];  // "/$Carved/"

class CarvingScanner final : public LayoutScanner {
public:
    // `inner` may be null: the whole row is carved.
    CarvingScanner(std::unique_ptr<VolumeScanner> inner, const ScanContext& context);

    // Opens the inner scanner, then carves (progress told as the context's
    // pass progress, in bytes; a stop ends the pass, keeping its files).
    bool open(const PartitionRecord* record) override;
    bool hasItem(uint32_t index) override;
    uint64_t itemCount() override { return base_ + carved_.size(); }
    bool cutShortByStop() const override;
    bool describe(uint32_t index, DeletedFile& file) override;
    bool layout(uint32_t index, FileLayout& layout) override;
    bool allocation(const ClusterMap*& map, ClusterGeometry& clusters) override;

    // The name a carved file is listed under: its first sector, ten digits
    // at least, then the title it keeps (if any), then its kind's extension.
    static std::string carvedName(uint64_t sector, const std::string& title,
                                  const char* extension);

private:
    struct Carved {
        uint64_t offset = 0;  // absolute
        uint64_t length = 0;
        const char* kind = "";
        const char* extension = "";
        FileMetadata metadata;
    };

    uint32_t countInner();
    void carve();
    // The absolute offset of the first byte of a listed file's content.
    bool startOf(uint32_t index, uint64_t& offset);
    void carvedLayout(const Carved& file, FileLayout& layout) const;

    std::unique_ptr<VolumeScanner> inner_;
    std::function<void(uint64_t, uint64_t)> progress_;
    // The blocks carved: where they begin and how long each is; with the
    // volume's map when `map_` is set.
    ClusterGeometry blocks_;
    const ClusterMap* map_ = nullptr;
    uint32_t base_ = 0;  // the first carved file's index
    std::vector<Carved> carved_;
    // Of the inner files described so far: the scan's worker adds to it
    // while a save may ask of it.
    std::mutex listedMutex_;
    std::set<uint64_t> listedStarts_;
    bool carveStopped_ = false;
};

}  // namespace undelete
