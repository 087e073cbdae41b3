// A volume a scan has opened: its files described again, read and saved.
// Every read of a file's content goes through readContent.
#pragma once
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "core/Scan.h"
#include "save/SaveService.h"
#include "scan/ScanContext.h"
#include "scan/VolumeScanner.h"

namespace undelete {

// The failed reads and cut causes of one volume's scanner, counted by its
// context's callbacks. Shared by the volume and that context.
struct ReadTally {
    std::atomic<uint64_t> failedReads{0};
    std::atomic<uint64_t> firstFailedAt{0};
    std::atomic<uint64_t> incomplete{0};
};

class ScannedVolume : private SaveSource {
public:
    ScannedVolume(std::unique_ptr<VolumeScanner> scanner, std::shared_ptr<ReadTally> tally,
                  const std::string& diskPath);

    VolumeScanner& scanner() { return *scanner_; }
    const ReadTally& tally() const { return *tally_; }

    // As listed: false for an item the scan does not list (a recycle bin's
    // record), and the original name, folder and deletion time of one that
    // a recycle bin's record gave back.
    bool describe(uint32_t index, DeletedFile& file) override;
    // What the scan's recycle bin step found, for later describes.
    void relist(uint32_t index, const std::string& name, const std::string& path,
                uint64_t deletedAt);
    void unlist(uint32_t index);
    // Streams item `index`'s content into `sink`; the scanner's messages go
    // to `observer` (its first failed read told, the rest counted). True
    // when the whole length reached the sink.
    bool readContent(uint32_t index, ContentSink& sink, ScanObserver* observer = nullptr);

    // Saves items `indices` to `target` (SaveService::save), the scanner's
    // messages and the progress (as Saving) going to `observer`.
    SaveResult save(const SaveTarget& target, const std::vector<uint32_t>& indices,
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
        bool serves(const ScanObserver* observer) const { return observer_ == observer; }

    private:
        ScanObserver* observer_;
        bool readErrorTold_ = false;
        Operation* previous_;
    };

private:
    // A save's read, within the operation its save set.
    bool read(uint32_t index, ContentSink& sink) override { return scanner_->readContent(index, sink); }

    struct Relisted {
        std::string name;
        std::string path;
        uint64_t deletedAt = 0;
    };

    std::unique_ptr<VolumeScanner> scanner_;
    std::shared_ptr<ReadTally> tally_;
    // Set by the scan's thread, read by a save's (a save may run while the
    // scan lists).
    std::mutex relistedMutex_;
    std::map<uint32_t, Relisted> relisted_;
    std::set<uint32_t> unlisted_;
    SaveService saves_;
};

}  // namespace undelete
