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

bool ScannedVolume::readContent(uint32_t index, ContentSink& sink, ScanObserver* observer) {
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
    return saves_.save(target, indices, *scanner_, progress);
}

}  // namespace undelete
