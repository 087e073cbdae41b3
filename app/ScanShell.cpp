#include "app/ScanShell.h"

#include <charconv>
#include <cstdio>
#include <utility>

#include "app/Language.h"
#include "scan/RowTexts.h"

namespace undelete {
namespace {

const FileFilter& saveFilter() {
    static const FileFilter filter = {{"文本文件 (*.txt)", "*.txt"}, {"所有文件 (*.*)", "*.*"}};
    return filter;
}

}  // namespace

// A worker's scan, turned into view updates on the user-interface thread
// while its worker is the newest; the scanner's messages are shown at once.
class ScanShell::WorkerObserver : public ScanObserver {
public:
    WorkerObserver(ScanShell& shell, std::shared_ptr<WorkerToken> token)
        : shell_(shell), token_(std::move(token)) {}

    // True once the list shows this scan's rows.
    bool listing() const { return listing_; }

    void told(const ScanMessage& message) override { shell_.showMessage(message.text); }
    bool began(const std::shared_ptr<ScannedVolume>& volume) override {
        volume_ = volume;
        return shell_.updateIfCurrent(token_, [&] {
            shell_.current_ = volume;
            // Rows of an earlier scan that stay on the screen cannot be
            // saved (their volume is no longer current): it is released.
            shell_.listed_.reset();
            shell_.report_ = ScanReport{};
        });
    }
    bool catalogueOpen() override {
        listing_ = shell_.updateIfCurrent(token_, [&] {
            shell_.view_.setCounter(kScannedCounter, 0);
            shell_.view_.setCounter(kDeletedCounter, 0);
            shell_.view_.clearFileRows();
            shell_.listed_ = volume_;
        });
        return listing_;
    }
    // The scanned counter moves every kExaminedStep indices, with each row
    // and at the end, not at every index: each move is a hop to the
    // user-interface thread.
    bool examined(uint32_t index) override {
        return shell_.updateIfCurrent(token_, [&] { shell_.setScanned(index); });
    }
    bool found(const FoundFile& found) override {
        ResultRow row{};
        formatResultRow(found.file, shell_.source_.zone, row);
        return shell_.updateIfCurrent(token_, [&] {
            shell_.setScanned(found.index);
            shell_.addResultRow(found, row);
        });
    }
    void progress(ScanPhase phase, uint64_t done, uint64_t total) override {
        const auto work = phase == ScanPhase::Listing   ? ShellView::Work::Scan
                          : phase == ScanPhase::Carving ? ShellView::Work::Carving
                                                        : ShellView::Work::DeepPass;
        shell_.updateIfCurrent(token_, [&] { shell_.view_.showProgress(work, done, total); });
    }

private:
    ScanShell& shell_;
    const std::shared_ptr<WorkerToken> token_;
    std::shared_ptr<ScannedVolume> volume_;
    bool listing_ = false;
};

// A save on the user-interface thread: its messages and progress.
class ScanShell::SaveObserver : public ScanObserver {
public:
    explicit SaveObserver(ShellView& view) : view_(view) {}
    void told(const ScanMessage& message) override { view_.showMessageBox(message.text); }
    void progress(ScanPhase, uint64_t done, uint64_t total) override {
        view_.showProgress(ShellView::Work::Save, done, total);
    }

private:
    ShellView& view_;
};

ScanShell::ScanShell(ShellView& view, DiskSource source)
    : view_(view), source_(std::move(source)) {}

ScanShell::~ScanShell() {
    closing_ = true;
    view_.runOnUiThread([this] {
        if (running_) running_->stop.stop();
        if (newest_) newest_->stop.stop();
    });
    waitForWorkers();
}

void ScanShell::waitForWorkers() {
    for (;;) {
        std::thread thread;
        {
            std::lock_guard<std::mutex> lock(threadsMutex_);
            if (threads_.empty()) return;
            thread = std::move(threads_.back().first);
            threads_.pop_back();
        }
        if (thread.joinable()) thread.join();
    }
}

void ScanShell::reapEndedWorkers() {
    std::vector<std::thread> ended;
    {
        std::lock_guard<std::mutex> lock(threadsMutex_);
        for (auto it = threads_.begin(); it != threads_.end();) {
            if (!it->second->ended) {
                ++it;
                continue;
            }
            ended.push_back(std::move(it->first));
            it = threads_.erase(it);
        }
    }
    // Each has set its flag as its last act: the joins are at once.
    for (std::thread& thread : ended) {
        if (thread.joinable()) thread.join();
    }
}

void ScanShell::awaitTurn(const WorkerToken& token) {
    std::unique_lock<std::mutex> lock(turnsMutex_);
    turnEnded_.wait(lock, [&] { return *alive_.begin() == token.sequence; });
}

void ScanShell::endTurn(WorkerToken& token) {
    {
        std::lock_guard<std::mutex> lock(turnsMutex_);
        alive_.erase(token.sequence);
    }
    turnEnded_.notify_all();
    token.ended = true;
}

ScanReport ScanShell::lastScanReport() {
    ScanReport report;
    view_.runOnUiThread([&] {
        report = report_;
        report.outcome = outcome_;
    });
    return report;
}

ScanOutcome ScanShell::lastOutcome() {
    ScanOutcome outcome = ScanOutcome::None;
    view_.runOnUiThread([&] { outcome = outcome_; });
    return outcome;
}

std::shared_ptr<ScannedVolume> ScanShell::currentVolume() {
    std::shared_ptr<ScannedVolume> volume;
    view_.runOnUiThread([&] { volume = current_; });
    return volume;
}

void ScanShell::onScanCommand(bool deep) {
    const PartitionRecord* record = view_.selectedPartitionRecord();
    if (record == nullptr) return;
    const bool start = view_.scanCaption() == kScanCaption;
    switchScan(start, start ? record : nullptr, deep);
}

void ScanShell::onCarveCommand() {
    if (view_.scanCaption() != kScanCaption) return;
    const PartitionRecord* record = view_.selectedPartitionRecord();
    const PartitionRecord disk = wholeDiskRecord(source_);
    switchScan(true, record != nullptr ? record : &disk, false, true);
}

bool ScanShell::selectedContent(ContentVerdict& verdict) {
    const std::vector<int> selected = view_.selectedFileRows();
    const int position = selected.size() <= 1 ? view_.firstSelectedFileRow() : -1;
    if (position < 0) return false;
    const uint64_t rowData = view_.fileRowData(position);
    const std::shared_ptr<ScannedVolume> volume = listedVolume();
    DeletedFile file;
    if (!volume || rowData > UINT32_MAX || !volume->describe(static_cast<uint32_t>(rowData), file)) {
        return false;
    }
    verdict = checkListedContent(*volume, static_cast<uint32_t>(rowData), file);
    return true;
}

void ScanShell::switchScan(bool start, const PartitionRecord* record, bool deep, bool carve) {
    if (start) {
        if (running_ || record == nullptr) return;
        reapEndedWorkers();
        auto token = std::make_shared<WorkerToken>();
        token->sequence = nextSequence_++;
        token->deep = deep;
        token->carve = carve;
        try {
            {
                std::lock_guard<std::mutex> lock(turnsMutex_);
                alive_.insert(token->sequence);
            }
            std::lock_guard<std::mutex> lock(threadsMutex_);
            threads_.emplace_back(std::thread(&ScanShell::scanWorker, this, *record, token), token);
        } catch (const std::exception&) {
            std::lock_guard<std::mutex> lock(turnsMutex_);
            alive_.erase(token->sequence);
            return;  // no thread: the switch stays idle
        }
        running_ = token;
        newest_ = token;
        outcome_ = ScanOutcome::Running;
        view_.setScanCaption(kStopCaption);
    } else {
        if (!running_) return;
        running_->stop.stop();
        running_.reset();
        if (outcome_ == ScanOutcome::Running) outcome_ = ScanOutcome::Stopped;
        view_.setScanCaption(kScanCaption);
    }
}

template <typename Task>
bool ScanShell::updateIfCurrent(const std::shared_ptr<WorkerToken>& token, Task task) {
    bool done = false;
    view_.runOnUiThread([&] {
        if (newest_ != token) return;
        task();
        done = true;
    });
    return done;
}

void ScanShell::scanWorker(PartitionRecord record, std::shared_ptr<WorkerToken> token) {
    // An earlier worker, stopped, ends its pass first; one stopped while it
    // waited does not begin at all.
    awaitTurn(*token);
    if (!token->stop.stopped()) {
        WorkerObserver observer(*this, token);
        // The volume is shared: the save command holds it while it reads,
        // and a replaced volume is released when its last user lets go.
        const ScanReport report =
            scanRow(source_, record, ScanOptions{token->deep, token->carve}, token->stop, observer)
                .report;
        if (report.outcome == ScanOutcome::Unsupported) showMessage(kUnsupportedMessage);
        if (report.outcome != ScanOutcome::Stopped) finishStep(token, report);
        if (observer.listing()) tellStopped(token);
    }
    endTurn(*token);
}

// Ends this worker's run of the switch, unless it was stopped (the stopper
// has reset the switch) or a newer worker owns it now.
void ScanShell::finishStep(const std::shared_ptr<WorkerToken>& token, const ScanReport& report) {
    bool current = false;
    updateIfCurrent(token, [&] {
        current = true;
        report_.failedReads = report.failedReads;
        report_.firstFailedAt = report.firstFailedAt;
        report_.incomplete = report.incomplete;
        if (running_ != token) return;
        switchScan(false, nullptr);
        outcome_ = report.outcome;
    });
    // The one summary, when more than the first failure was kept back.
    if (current && report.failedReads > 1) {
        char text[160];
        std::snprintf(text, sizeof text, tr(kReadFailuresFormat),
                      static_cast<unsigned long long>(report.failedReads),
                      static_cast<unsigned long long>(report.firstFailedAt));
        showMessage(text);
    }
}

void ScanShell::tellStopped(const std::shared_ptr<WorkerToken>& token) {
    // The user's stop, not the end of the catalogue (which resets the
    // switch too) nor the shell going.
    bool stopped = false;
    updateIfCurrent(token, [&] { stopped = outcome_ == ScanOutcome::Stopped; });
    if (stopped && !closing_) showMessage(kScanStoppedMessage);
}

void ScanShell::setScanned(uint32_t index) {
    view_.setCounter(kScannedCounter, index);
    report_.examined = index;
}

void ScanShell::addResultRow(const FoundFile& found, const ResultRow& row) {
    const int count = static_cast<int>(found.number);
    char number[24];
    *std::to_chars(number, number + sizeof number - 1, found.number).ptr = '\0';
    view_.insertFileRow(count, number, static_cast<uintptr_t>(found.index));
    view_.setFileRowText(count, 1, row.nameText);
    view_.setFileRowText(count, 2, row.timeText);
    view_.setFileRowText(count, 3, row.sizeText);
    view_.setFileRowDetails(count, found.file);
    view_.setCounter(kDeletedCounter, static_cast<unsigned>(count + 1));
    report_.listed = found.number + 1;
}

std::shared_ptr<ScannedVolume> ScanShell::listedVolume() const {
    // A row's index means something only to the volume that listed it;
    // rows left from an earlier scan (after a failed or unsupported one) are
    // not saved. The listed volume is open by construction.
    return listed_ && listed_ == current_ ? listed_ : nullptr;
}

SaveOutcome ScanShell::onSaveCommand() {
    lastSave_ = SaveReport{};
    const int position = view_.firstSelectedFileRow();
    if (position < 0) return SaveOutcome::NothingToDo;
    const uint64_t rowData = view_.fileRowData(position);
    const std::shared_ptr<ScannedVolume> volume = listedVolume();
    if (!volume || rowData > UINT32_MAX) return SaveOutcome::NothingToDo;
    const auto index = static_cast<uint32_t>(rowData);

    std::string path;
    lastSave_.outcome = SaveOutcome::Cancelled;
    lastSave_.index = index;
    if (!view_.askSavePath(saveFilter(), "txt", path)) return SaveOutcome::Cancelled;
    lastSave_.path = path;
    SaveObserver observer(view_);
    const SaveResult result = volume->save(target(path), {index}, &observer);
    if (result.declined) return SaveOutcome::Cancelled;
    lastSave_ = result.reports.front();
    if (lastSave_.outcome != SaveOutcome::Saved) showMessage(kSaveFailedMessage);
    return lastSave_.outcome;
}

SaveTarget ScanShell::target(const std::string& path, SaveTarget::Kind kind) {
    SaveTarget target;
    target.kind = kind;
    target.path = path;
    target.agreeOnScannedDisk = [this] { return view_.askYesNo(kOnScannedDiskQuestion); };
    return target;
}

std::vector<SaveReport> ScanShell::saveSelectedInto(const std::string& folder) {
    const std::shared_ptr<ScannedVolume> volume = listedVolume();
    if (!volume) return {};
    std::vector<uint32_t> indices;
    for (const int position : view_.selectedFileRows()) {
        const uint64_t rowData = view_.fileRowData(position);
        if (rowData <= UINT32_MAX) indices.push_back(static_cast<uint32_t>(rowData));
    }
    SaveObserver observer(view_);
    return volume->save(target(folder, SaveTarget::Kind::Folder), indices, &observer).reports;
}

}  // namespace undelete
