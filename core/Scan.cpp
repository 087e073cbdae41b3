#include "core/Scan.h"

#include <cstring>
#include <new>
#include <utility>

#include "core/RecycleBin.h"
#include "core/CarvingScanner.h"
#include "core/ScannedVolume.h"
#include "fat/FatScanner.h"

namespace undelete {
namespace {

const char kReadErrorText[] = "ReadFile() Error";

ScanMessage::Kind kindOf(const char* text) {
    if (std::strcmp(text, kReadErrorText) == 0) return ScanMessage::Kind::FirstReadError;
    if (std::strcmp(text, kFatPreparingMessage) == 0 || std::strcmp(text, kFatReadyMessage) == 0) {
        return ScanMessage::Kind::Information;
    }
    return ScanMessage::Kind::Problem;
}

// The scanner's context: messages go to the observer of the operation the
// calling thread runs (a scan, a read); failed reads are counted in `tally`.
ScanContext contextFor(const DiskSource& source, const ScanOptions& options, const StopToken& stop,
                       const std::shared_ptr<ReadTally>& tally) {
    ScanContext context;
    context.openDrive = source.openDrive;
    context.mftValidDataLength = source.mftValidDataLength;
    context.showMessage = [](const char* text) { ScannedVolume::Operation::tell({kindOf(text), text}); };
    context.readFailed = [tally](uint64_t offset, uint32_t) {
        if (tally->failedReads.fetch_add(1) == 0) tally->firstFailedAt = offset;
    };
    context.toldIncomplete = [tally](const char* text) {
        ++tally->incomplete;
        ScannedVolume::Operation::tell({ScanMessage::Kind::Incomplete, text});
    };
    context.stopRequested = [stop] { return stop.stopped(); };
    context.deepScan = options.deep;
    context.showPassProgress = [](uint64_t done, uint64_t total) {
        ScannedVolume::Operation::progress(ScanPhase::DeepPass, done, total);
    };
    return context;
}

// Examined indices told, with the listing's progress on its steps.
bool tellExamined(ScanObserver& observer, VolumeScanner& scanner, uint32_t index) {
    if (!observer.examined(index)) return false;
    if (index % kListingProgressStep == 0) {
        observer.progress(ScanPhase::Listing, index, scanner.itemCount());
    }
    return true;
}

// Walks the open catalogue; `drain`: the stop came during open, whose
// catalogue so far is listed all the same. Files of a recycle bin may be
// held back to its end (RecycleBin.h).
ScanOutcome list(ScannedVolume& volume, const StopToken& stop, bool drain,
                 ScanObserver& observer, ScanReport& report) {
    VolumeScanner& scanner = volume.scanner();
    RecycleBin bin(volume, observer, [&observer, &report](FoundFile& found) {
        found.number = report.listed;
        if (!observer.found(found)) return false;
        ++report.listed;
        return true;
    });
    // The walk's end: what was held is listed before the last count.
    const auto ended = [&](uint32_t last) {
        return bin.finish() && tellExamined(observer, scanner, last) ? ScanOutcome::Completed
                                                                     : ScanOutcome::Stopped;
    };
    FoundFile found;
    uint32_t index = 0;
    for (; drain || !stop.stopped(); ++index) {
        if (index % kExaminedStep == 0 && !tellExamined(observer, scanner, index)) {
            return ScanOutcome::Stopped;
        }
        report.examined = index;
        const bool last = index == UINT32_MAX;  // no index beyond the 32-bit range
        if (!scanner.hasItem(index)) return ended(index);
        if (volume.describe(index, found.file)) {
            found.index = index;
            if (!bin.take(found)) return ScanOutcome::Stopped;
        }
        if (last) return ended(index);
    }
    // Stopped: what was found is listed all the same, and the count ends
    // where the walk did.
    if (!bin.finish()) return ScanOutcome::Stopped;
    if (index > 0) {
        report.examined = index - 1;
        tellExamined(observer, scanner, index - 1);
    }
    return ScanOutcome::Stopped;
}

}  // namespace

PartitionRecord wholeDiskRecord(const DiskSource& source) {
    PartitionRecord record;
    record.table = PartitionTableKind::None;
    record.fileSystem = FileSystemKind::Unknown;
    DriveReader drive(source.openDrive, {});
    if (drive.open() && drive.bytesPerSector() != 0) {
        record.totalSectors = drive.deviceBytes() / drive.bytesPerSector();
        record.deviceSectors = record.totalSectors;
    }
    return record;
}

ScanResult scanRow(const DiskSource& source, const PartitionRecord& record,
                   const ScanOptions& options, const StopToken& stop, ScanObserver& observer) {
    ScanResult result;
    ScanReport& report = result.report;
    ScannedVolume::Operation operation(&observer);
    std::shared_ptr<ScannedVolume> volume;
    try {
        auto tally = std::make_shared<ReadTally>();
        std::unique_ptr<VolumeScanner> scanner;
        if (source.makeScanner) {
            scanner = source.makeScanner(
                record, contextFor(source, options, stop, tally));
        }
        if (options.carve) {
            ScanContext context = contextFor(source, options, stop, tally);
            context.showPassProgress = [](uint64_t done, uint64_t total) {
                ScannedVolume::Operation::progress(ScanPhase::Carving, done, total);
            };
            scanner.reset(new CarvingScanner(std::move(scanner), context));
        }
        if (scanner) volume = std::make_shared<ScannedVolume>(std::move(scanner), tally, source.diskPath);
    } catch (const std::bad_alloc&) {
        volume.reset();
    }
    if (!observer.began(volume)) {
        report.outcome = ScanOutcome::Stopped;
        return result;
    }
    if (!volume) {
        report.outcome = ScanOutcome::Unsupported;
        return result;
    }
    const bool opened = volume->scanner().open(&record);
    report.outcome = ScanOutcome::Stopped;
    if (opened && observer.catalogueOpen()) {
        result.volume = volume;
        // A stop that cut open's pass short leaves the catalogue found so
        // far, which is listed all the same.
        const bool drain = stop.stopped() && volume->scanner().cutShortByStop();
        report.outcome = list(*volume, stop, drain, observer, report);
    } else if (!opened) {
        report.outcome = ScanOutcome::OpenFailed;
    }
    const ReadTally& tally = volume->tally();
    report.failedReads = tally.failedReads;
    report.firstFailedAt = tally.firstFailedAt;
    report.incomplete = tally.incomplete;
    return result;
}

}  // namespace undelete
