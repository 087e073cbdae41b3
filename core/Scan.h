// A scan of one partition row, run on the calling thread to its end or its
// stop: the scanner of the row's file system is made and opened, and each
// deleted file it lists is handed to an observer as it is found. No words
// of a user interface: the faces word what they are told.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>

#include "core/DiskSource.h"
#include "partition/PartitionRecord.h"
#include "scan/DeletedFile.h"

namespace undelete {

class ScannedVolume;

// Scan options (a struct, so new ones come without new parameters).
struct ScanOptions {
    bool deep = false;  // free clusters read too (FAT: old folders; NTFS: old records)
    // Files recognised by their content listed too, under /$Carved/ (the
    // volume's free clusters carved, or the whole row when no scanner
    // reads it or it keeps no allocation map).
    bool carve = false;
};

// Asked by the scan's long passes; copies share one flag, so a face may
// stop a scan from any thread (a Ctrl-C watcher, a button).
class StopToken {
public:
    void stop() const { *flag_ = true; }
    bool stopped() const { return *flag_; }

private:
    std::shared_ptr<std::atomic<bool>> flag_ = std::make_shared<std::atomic<bool>>(false);
};

// How a scan ended. Running and None are the faces' own (a scan under way,
// no scan yet).
enum class ScanOutcome { None, Running, Unsupported, OpenFailed, Stopped, Completed };

// A scan as a whole; the failed reads are those of the scan only.
struct ScanReport {
    ScanOutcome outcome = ScanOutcome::None;
    uint64_t examined = 0;        // catalogue indices examined
    uint64_t listed = 0;          // files found
    uint64_t failedReads = 0;     // reads of the disk that failed, open included
    uint64_t firstFailedAt = 0;   // byte position of the first of them
    uint64_t incomplete = 0;      // causes told why the files found may not be all
};

// A message of the scanner, one of the program's texts (untranslated).
struct ScanMessage {
    enum class Kind {
        Information,     // the FAT walk's preparing and ready texts
        Problem,         // anything else the scanner tells
        Incomplete,      // why the files found may not be all (counted)
        FirstReadError,  // the first failed read of an operation; the rest are counted only
    };
    Kind kind = Kind::Problem;
    const char* text = "";
};

enum class ScanPhase { Listing, DeepPass, Carving, Saving };

// One deleted file found.
struct FoundFile {
    uint32_t index = 0;   // catalogue index: what a save asks for
    uint64_t number = 0;  // its place among the files found, from 0
    DeletedFile file;     // exact values
};

// Told on the thread that runs the scan (or the read, for told and
// progress). A face that answers false no longer wants the scan: it ends
// at once, as stopped.
class ScanObserver {
public:
    virtual ~ScanObserver() = default;
    virtual void told(const ScanMessage& /*message*/) {}
    // The scan has its volume, not yet open; null when no scanner reads
    // the row (the scan then ends as Unsupported).
    virtual bool began(const std::shared_ptr<ScannedVolume>& /*volume*/) { return true; }
    // The volume is open and its catalogue ready: a face clears its list.
    virtual bool catalogueOpen() { return true; }
    // Indices 0 … `index` − 1 examined (or `index` at a stop); told every
    // kExaminedStep indices and at the end.
    virtual bool examined(uint32_t /*index*/) { return true; }
    virtual bool found(const FoundFile& /*file*/) { return true; }
    // Listing: indices of `total` (0: unknown), every kListingProgressStep;
    // DeepPass: free clusters read; Carving: bytes of the region passed;
    // Saving: bytes written.
    virtual void progress(ScanPhase /*phase*/, uint64_t /*done*/, uint64_t /*total*/) {}
};

constexpr uint32_t kExaminedStep = 256;
constexpr uint32_t kListingProgressStep = 4096;
static_assert(kListingProgressStep % kExaminedStep == 0, "progress falls on an examined step");

struct ScanResult {
    ScanReport report;
    // The open volume (null when unsupported or not open): describe, read
    // and save its files. Shared, so a face keeps it while a newer scan runs.
    std::shared_ptr<ScannedVolume> volume;
};

// The whole disk as one row of no file system: carved as a whole.
PartitionRecord wholeDiskRecord(const DiskSource& source);

// Completed: the catalogue was walked to its end (after a stop too, when
// open's pass was cut short and the catalogue it found is in memory).
// Stopped: the stop or the observer cut it.
ScanResult scanRow(const DiskSource& source, const PartitionRecord& record,
                   const ScanOptions& options, const StopToken& stop, ScanObserver& observer);

}  // namespace undelete
