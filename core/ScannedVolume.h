// A volume a scan has opened: its files described again, read and saved.
// Every read of a file's content goes through readContent.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "core/Scan.h"
#include "save/SaveService.h"
#include "scan/ScanContext.h"
#include "scan/VolumeScanner.h"

namespace undelete {

// The failed reads and cut causes of one volume's scanner, and the scan's
// stop, which its context asks. Shared by the volume and its scanner's
// context.
struct ReadTally {
    std::atomic<uint64_t> failedReads{0};
    std::atomic<uint64_t> firstFailedAt{0};
    std::atomic<uint64_t> incomplete{0};
};

class ScannedVolume {
public:
    ScannedVolume(std::unique_ptr<VolumeScanner> scanner, std::shared_ptr<ReadTally> tally,
                  const std::string& diskPath);

    // The scanner's context: messages go to the observer of the operation
    // that the calling thread runs (a scan, a read), failed reads are
    // counted in `tally`.
    static ScanContext contextFor(const DiskSource& source, const ScanOptions& options,
                                  const StopToken& stop, const std::shared_ptr<ReadTally>& tally);

    VolumeScanner& scanner() { return *scanner_; }
    const ReadTally& tally() const { return *tally_; }

    bool describe(uint32_t index, DeletedFile& file) { return scanner_->describe(index, file); }
    // Streams item `index`'s content into `sink`; the scanner's messages go
    // to `observer` (its first failed read told, the rest counted). True
    // when the whole length reached the sink.
    bool readContent(uint32_t index, ContentSink& sink, ScanObserver* observer = nullptr);

    // True when saving into `folder` would write to the disk being
    // recovered.
    bool onScannedDisk(const std::string& folder) const { return saves_.onScannedDisk(folder); }
    // Item `index` saved to `path` (SaveService::saveAs), or under `folder`
    // below its folder path inside the volume (SaveService::saveInto; a
    // failure naming `folder` when the item is no longer described).
    // Progress goes to `observer` as Saving.
    SaveReport saveAs(const std::string& path, uint32_t index, ScanObserver* observer = nullptr);
    SaveReport saveInto(const std::string& folder, uint32_t index,
                        ScanObserver* observer = nullptr);

    // The operation the calling thread runs on some volume, for the
    // scanner's callbacks: set for a scope, the previous one restored.
    class Operation {
    public:
        explicit Operation(ScanObserver* observer);
        ~Operation();
        Operation(const Operation&) = delete;
        Operation& operator=(const Operation&) = delete;
        static void tell(ScanMessage message);
        static void progress(ScanPhase phase, uint64_t done, uint64_t total);

    private:
        ScanObserver* observer_;
        bool readErrorTold_ = false;
        Operation* previous_;
    };

private:
    ContentSource contentOf(uint32_t index, ScanObserver* observer);
    SaveProgress progressTo(ScanObserver* observer);

    std::unique_ptr<VolumeScanner> scanner_;
    std::shared_ptr<ReadTally> tally_;
    SaveService saves_;
};

}  // namespace undelete
