#include "app/ScanShell.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

#include "save/FileSystem.h"
#include "app/Language.h"

namespace undelete {

const char* const kScanCaption = "扫描";
const char* const kStopCaption = "停止";
const char* const kUnsupportedMessage = "不支持的分区";
const char* const kSaveFailedMessage = "保存失败";
const char* const kScanStoppedMessage = "扫描已停止：只列出了停止前找到的文件";
const char* const kOnScannedDiskQuestion =
    "保存位置在正在恢复的磁盘上：写入可能覆盖尚未保存的已删除文件。仍要保存吗？";
const char* const kReadFailuresFormat = "读取失败 %llu 次，第一次在字节 %llu";
const char* const kFileColumnHeaders[4] = {"序号", "文件名", "创建时间", "大小"};
const int kFileColumnWidths[4] = {40, 200, 120, 60};

// A scanner's failed reads: the first of an operation (a scan, a save) is
// shown at once, the rest only counted, so a damaged disk cannot bury the
// user in one box per record; a scan ends with one summary.
struct ScanShell::ReadFailures {
    std::atomic<uint64_t> count{0};
    std::atomic<uint64_t> firstAt{0};
    std::atomic<bool> shown{false};
    std::atomic<uint64_t> incomplete{0};
};

namespace {

const char kReadErrorText[] = "ReadFile() Error";
constexpr uint32_t kProgressStep = 4096;          // indices between two progress reports
constexpr uint32_t kCounterStep = 256;            // indices between two counter moves
static_assert(kProgressStep % kCounterStep == 0, "progress falls on a counter move");
const FileFilter& saveFilter() {
    static const FileFilter filter = {{"文本文件 (*.txt)", "*.txt"}, {"所有文件 (*.*)", "*.*"}};
    return filter;
}

}  // namespace

ScanShell::ScanShell(ShellView& view, ShellContext context)
    : view_(view),
      context_(std::move(context)),
      scanContext_{context_.openDrive, [&view](const char* text) { view.showMessageBox(text); },
                   {}, context_.mftValidDataLength, {}},
      saves_(context_.diskPath) {}

ScanShell::~ScanShell() {
    closing_ = true;
    view_.runOnUiThread([this] {
        if (running_) running_->stopRequested = true;
        if (newest_) newest_->stopRequested = true;
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

std::shared_ptr<VolumeScanner> ScanShell::currentScanner() {
    std::shared_ptr<VolumeScanner> scanner;
    view_.runOnUiThread([&] { scanner = current_; });
    return scanner;
}

void ScanShell::onScanCommand(bool deep) {
    const PartitionRecord* record = view_.selectedPartitionRecord();
    if (record == nullptr) return;
    const bool start = view_.scanCaption() == kScanCaption;
    switchScan(start, start ? record : nullptr, deep);
}

void ScanShell::switchScan(bool start, const PartitionRecord* record, bool deep) {
    if (start) {
        if (running_ || record == nullptr) return;
        reapEndedWorkers();
        auto token = std::make_shared<WorkerToken>();
        token->sequence = nextSequence_++;
        token->deep = deep;
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
        running_->stopRequested = true;
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
    if (!token->stopRequested) {
        // The scanner is shared: the save command holds it while it reads,
        // and a replaced scanner is released when its last user lets go.
        const std::shared_ptr<VolumeScanner> scanner = openStep(record, token);
        // A stop that cut open's pass short leaves the catalogue found so
        // far, which is listed all the same.
        const bool drain = token->stopRequested && scanner && scanner->cutShortByStop();
        if (scanner) listStep(scanner, token, drain);
        if (scanner) tellStopped(token);
    }
    endTurn(*token);
}

// Ends this worker's run of the switch, unless it was stopped (the stopper
// has reset the switch) or a newer worker owns it now.
void ScanShell::finishStep(const std::shared_ptr<WorkerToken>& token, ScanOutcome outcome) {
    uint64_t failed = 0;
    uint64_t firstAt = 0;
    updateIfCurrent(token, [&] {
        if (failures_) {
            failed = report_.failedReads = failures_->count;
            firstAt = report_.firstFailedAt = failures_->firstAt;
            report_.incomplete = failures_->incomplete;
        }
        if (running_ != token) return;
        switchScan(false, nullptr);
        outcome_ = outcome;
    });
    // The one summary, when more than the first failure was kept back.
    if (failed > 1) {
        char text[160];
        std::snprintf(text, sizeof text, tr(kReadFailuresFormat),
                      static_cast<unsigned long long>(failed),
                      static_cast<unsigned long long>(firstAt));
        showMessage(text);
    }
}

std::shared_ptr<VolumeScanner> ScanShell::openStep(const PartitionRecord& record,
                                                   const std::shared_ptr<WorkerToken>& token) {
    std::shared_ptr<VolumeScanner> scanner;
    std::shared_ptr<ReadFailures> failures;
    try {
        failures = std::make_shared<ReadFailures>();
        if (context_.makeScanner) scanner = context_.makeScanner(record, workerContext(token, failures));
    } catch (const std::bad_alloc&) {
        scanner.reset();
    }
    if (!updateIfCurrent(token, [&] {
            current_ = scanner;
            // Rows of an earlier scan that stay on the screen cannot be
            // saved (their scanner is no longer current): it is released.
            listed_.reset();
            failures_ = failures;
            report_ = ScanReport{};
        })) {
        return nullptr;
    }
    if (!scanner) {
        showMessage(kUnsupportedMessage);
        finishStep(token, ScanOutcome::Unsupported);
        return nullptr;
    }
    if (!scanner->open(&record)) {
        finishStep(token, ScanOutcome::OpenFailed);
        return nullptr;
    }
    if (!updateIfCurrent(token, [&] {
            view_.setCounter(kScannedCounter, 0);
            view_.setCounter(kDeletedCounter, 0);
            view_.clearFileRows();
            listed_ = scanner;
        })) {
        return nullptr;
    }
    return scanner;
}

ScanContext ScanShell::workerContext(const std::shared_ptr<WorkerToken>& token,
                                     const std::shared_ptr<ReadFailures>& failures) {
    ScanContext context = scanContext_;
    context.showMessage = [failures, show = scanContext_.showMessage](const char* text) {
        const bool readError = std::strcmp(text, kReadErrorText) == 0;
        if (readError && failures->shown.exchange(true)) return;
        show(text);
    };
    context.readFailed = [failures](uint64_t offset, uint32_t) {
        if (failures->count.fetch_add(1) == 0) failures->firstAt = offset;
    };
    context.toldIncomplete = [failures, show = scanContext_.showMessage](const char* text) {
        ++failures->incomplete;
        show(text);
    };
    // The token, not the shell, is held: a pass asks it until it ends.
    context.stopRequested = [token] { return token->stopRequested.load(); };
    context.deepScan = token->deep;
    context.showPassProgress = [this, token](uint64_t done, uint64_t total) {
        updateIfCurrent(token, [&] { view_.showProgress(ShellView::Work::DeepPass, done, total); });
    };
    return context;
}

void ScanShell::listStep(const std::shared_ptr<VolumeScanner>& scanner,
                         const std::shared_ptr<WorkerToken>& token, bool drain) {
    DeletedFile file;
    ResultRow row{};
    int count = 0;
    uint32_t index = 0;
    for (; drain || !token->stopRequested; ++index) {
        if (index % kCounterStep == 0 && !showScanned(scanner, token, index)) return;
        const bool last = index == UINT32_MAX;  // no index beyond the 32-bit range
        if (!scanner->hasItem(index)) {
            if (showScanned(scanner, token, index)) finishStep(token, ScanOutcome::Completed);
            return;
        }
        if (scanner->describe(index, file)) {
            formatResultRow(file, context_.zone, row);
            const int position = count;
            if (!updateIfCurrent(token, [&] {
                    setScanned(index);
                    addResultRow(index, position, row, file);
                    view_.setCounter(kDeletedCounter, static_cast<unsigned>(position + 1));
                    report_.listed = static_cast<uint64_t>(position) + 1;
                })) {
                return;
            }
            ++count;
        }
        if (last) {
            if (showScanned(scanner, token, index)) finishStep(token, ScanOutcome::Completed);
            return;
        }
    }
    // Stopped: the counter ends where the walk did.
    if (index > 0) showScanned(scanner, token, index - 1);
}

void ScanShell::tellStopped(const std::shared_ptr<WorkerToken>& token) {
    // The user's stop, not the end of the catalogue (which resets the
    // switch too) nor the shell going.
    bool stopped = false;
    updateIfCurrent(token, [&] { stopped = outcome_ == ScanOutcome::Stopped; });
    if (stopped && !closing_) showMessage(kScanStoppedMessage);
}

// The scanned counter moves every kCounterStep indices, with each row and
// at the end, not at every index: each move is a hop to the user-interface
// thread.
bool ScanShell::showScanned(const std::shared_ptr<VolumeScanner>& scanner,
                            const std::shared_ptr<WorkerToken>& token, uint32_t index) {
    return updateIfCurrent(token, [&] {
        setScanned(index);
        // Often enough to move, rarely enough to cost nothing.
        if (index % kProgressStep == 0) {
            view_.showProgress(ShellView::Work::Scan, index, scanner->itemCount());
        }
    });
}

void ScanShell::setScanned(uint32_t index) {
    view_.setCounter(kScannedCounter, index);
    report_.examined = index;
}

void ScanShell::addResultRow(uint32_t index, int count, const ResultRow& row,
                             const DeletedFile& file) {
    char number[16];
    *std::to_chars(number, number + sizeof number - 1, count).ptr = '\0';
    view_.insertFileRow(count, number, static_cast<uintptr_t>(index));
    view_.setFileRowText(count, 1, row.nameText);
    view_.setFileRowText(count, 2, row.timeText);
    view_.setFileRowText(count, 3, row.sizeText);
    view_.setFileRowDetails(count, file);
}

std::shared_ptr<VolumeScanner> ScanShell::listedScanner() const {
    // A row's index means something only to the scanner that listed it;
    // rows left from an earlier scan (after a failed or unsupported one) are
    // not saved. The listed scanner's open has returned true by
    // construction.
    return listed_ && listed_ == current_ ? listed_ : nullptr;
}

SaveOutcome ScanShell::onSaveCommand() {
    lastSave_ = SaveReport{};
    const int position = view_.firstSelectedFileRow();
    if (position < 0) return SaveOutcome::NothingToDo;
    const uint64_t rowData = view_.fileRowData(position);
    const std::shared_ptr<VolumeScanner> scanner = listedScanner();
    if (!scanner || rowData > UINT32_MAX) return SaveOutcome::NothingToDo;
    const auto index = static_cast<uint32_t>(rowData);

    std::string path;
    lastSave_.outcome = SaveOutcome::Cancelled;
    lastSave_.index = index;
    if (!view_.askSavePath(saveFilter(), "txt", path)) return SaveOutcome::Cancelled;
    lastSave_.path = path;
    if (!agreedTarget(folderOf(path))) return SaveOutcome::Cancelled;
    lastSave_ = saves_.saveAs(path, contentOf(scanner, index), saveProgress());
    lastSave_.index = index;
    if (lastSave_.outcome != SaveOutcome::Saved) showMessage(kSaveFailedMessage);
    return lastSave_.outcome;
}

bool ScanShell::agreedTarget(const std::string& folder) {
    return !saves_.onScannedDisk(folder) || view_.askYesNo(kOnScannedDiskQuestion);
}

ContentSource ScanShell::contentOf(const std::shared_ptr<VolumeScanner>& scanner,
                                   uint32_t index) {
    if (failures_) failures_->shown = false;  // a save is an operation of its own
    return [scanner, index](ContentSink& sink) { return scanner->readContent(index, sink); };
}

SaveProgress ScanShell::saveProgress() {
    return [this](uint64_t done, uint64_t total) {
        view_.showProgress(ShellView::Work::Save, done, total);
    };
}

std::vector<SaveReport> ScanShell::saveSelectedInto(const std::string& folder) {
    std::vector<SaveReport> reports;
    const std::shared_ptr<VolumeScanner> scanner = listedScanner();
    if (!scanner || !agreedTarget(folder)) return reports;
    for (const int position : view_.selectedFileRows()) {
        const uint64_t rowData = view_.fileRowData(position);
        if (rowData > UINT32_MAX) continue;
        const auto index = static_cast<uint32_t>(rowData);
        DeletedFile file;
        SaveReport report;
        if (scanner->describe(index, file)) {
            report = saves_.saveInto(folder, file, index, contentOf(scanner, index),
                                        saveProgress());
        } else {
            report.outcome = SaveOutcome::Failed;
            report.path = folder;
        }
        report.index = index;
        reports.push_back(report);
    }
    return reports;
}

}  // namespace undelete
