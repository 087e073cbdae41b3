#include "core/ScannedVolume.h"

#include <utility>

namespace undelete {
namespace {

// The scanner calls back on the thread of the operation it serves: a
// scan's worker, or the thread that saves.
thread_local ScannedVolume::Operation* currentOperation = nullptr;

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

bool ScannedVolume::describe(uint32_t index, DeletedFile& file) {
    if (!scanner_->describe(index, file)) return false;
    std::lock_guard<std::mutex> lock(relistedMutex_);
    if (unlisted_.count(index) != 0) return false;
    const auto relisted = relisted_.find(index);
    if (relisted != relisted_.end()) {
        file.name = relisted->second.name;
        file.path = relisted->second.path;
        file.deletedAt = relisted->second.deletedAt;
    }
    return true;
}

void ScannedVolume::relist(uint32_t index, const std::string& name, const std::string& path,
                           uint64_t deletedAt) {
    std::lock_guard<std::mutex> lock(relistedMutex_);
    relisted_[index] = Relisted{name, path, deletedAt};
}

void ScannedVolume::unlist(uint32_t index) {
    std::lock_guard<std::mutex> lock(relistedMutex_);
    unlisted_.insert(index);
}

bool ScannedVolume::readContent(uint32_t index, ContentSink& sink, ScanObserver* observer) {
    // Within an operation for the same observer (a scan reading a record),
    // its first failed read stays the one told.
    if (currentOperation != nullptr && currentOperation->serves(observer)) {
        return scanner_->readContent(index, sink);
    }
    Operation operation(observer);
    return scanner_->readContent(index, sink);
}

SaveResult ScannedVolume::save(const SaveTarget& target, const std::vector<uint32_t>& indices,
                               ScanObserver* observer) {
    Operation operation(observer);
    SaveProgress progress;
    if (observer != nullptr) {
        progress = [observer](uint64_t done, uint64_t total) {
            observer->progress(ScanPhase::Saving, done, total);
        };
    }
    return saves_.save(target, indices, *this, progress);
}

}  // namespace undelete
