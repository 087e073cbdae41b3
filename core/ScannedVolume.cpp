#include "core/ScannedVolume.h"

#include <cstring>
#include <utility>

#include "fat/FatScanner.h"

namespace undelete {
namespace {

// The scanner calls back on the thread of the operation it serves: a
// scan's worker, or the thread that saves.
thread_local ScannedVolume::Operation* currentOperation = nullptr;

const char kReadErrorText[] = "ReadFile() Error";

ScanMessage::Kind kindOf(const char* text) {
    if (std::strcmp(text, kReadErrorText) == 0) return ScanMessage::Kind::FirstReadError;
    if (std::strcmp(text, kFatPreparingMessage) == 0 || std::strcmp(text, kFatReadyMessage) == 0) {
        return ScanMessage::Kind::Information;
    }
    return ScanMessage::Kind::Problem;
}

}  // namespace

ScannedVolume::Operation::Operation(ScanObserver* observer)
    : observer_(observer), previous_(currentOperation) {
    currentOperation = this;
}

ScannedVolume::Operation::~Operation() { currentOperation = previous_; }

void ScannedVolume::Operation::tell(ScanMessage message) {
    Operation* operation = currentOperation;
    if (operation == nullptr || operation->observer_ == nullptr) return;
    if (message.kind == ScanMessage::Kind::FirstReadError) {
        if (operation->readErrorTold_) return;
        operation->readErrorTold_ = true;
    }
    operation->observer_->told(message);
}

void ScannedVolume::Operation::progress(ScanPhase phase, uint64_t done, uint64_t total) {
    Operation* operation = currentOperation;
    if (operation != nullptr && operation->observer_ != nullptr) {
        operation->observer_->progress(phase, done, total);
    }
}

ScannedVolume::ScannedVolume(std::unique_ptr<VolumeScanner> scanner,
                             std::shared_ptr<ReadTally> tally, const std::string& diskPath)
    : scanner_(std::move(scanner)), tally_(std::move(tally)), saves_(diskPath) {}

ScanContext ScannedVolume::contextFor(const DiskSource& source, const ScanOptions& options,
                                      const StopToken& stop,
                                      const std::shared_ptr<ReadTally>& tally) {
    ScanContext context;
    context.openDrive = source.openDrive;
    context.mftValidDataLength = source.mftValidDataLength;
    context.showMessage = [](const char* text) { Operation::tell({kindOf(text), text}); };
    context.readFailed = [tally](uint64_t offset, uint32_t) {
        if (tally->failedReads.fetch_add(1) == 0) tally->firstFailedAt = offset;
    };
    context.toldIncomplete = [tally](const char* text) {
        ++tally->incomplete;
        Operation::tell({ScanMessage::Kind::Incomplete, text});
    };
    context.stopRequested = [stop] { return stop.stopped(); };
    context.deepScan = options.deep;
    context.showPassProgress = [](uint64_t done, uint64_t total) {
        Operation::progress(ScanPhase::DeepPass, done, total);
    };
    return context;
}

bool ScannedVolume::readContent(uint32_t index, ContentSink& sink, ScanObserver* observer) {
    Operation operation(observer);
    return scanner_->readContent(index, sink);
}

ContentSource ScannedVolume::contentOf(uint32_t index, ScanObserver* observer) {
    return [this, index, observer](ContentSink& sink) { return readContent(index, sink, observer); };
}

SaveProgress ScannedVolume::progressTo(ScanObserver* observer) {
    if (observer == nullptr) return {};
    return [observer](uint64_t done, uint64_t total) {
        observer->progress(ScanPhase::Saving, done, total);
    };
}

SaveReport ScannedVolume::saveAs(const std::string& path, uint32_t index, ScanObserver* observer) {
    SaveReport report = saves_.saveAs(path, contentOf(index, observer), progressTo(observer));
    report.index = index;
    return report;
}

SaveReport ScannedVolume::saveInto(const std::string& folder, uint32_t index,
                                   ScanObserver* observer) {
    DeletedFile file;
    SaveReport report;
    if (describe(index, file)) {
        report = saves_.saveInto(folder, file, index, contentOf(index, observer),
                                 progressTo(observer));
    } else {
        report.outcome = SaveOutcome::Failed;
        report.path = folder;
    }
    report.index = index;
    return report;
}

}  // namespace undelete
