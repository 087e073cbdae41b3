#include "app/ScanShell.h"

#include <cstdio>
#include <new>
#include <utility>

#include "app/OutputFile.h"
#include "disk/DriveSelection.h"

namespace undelete {

const char* const kScanCaption = "扫描";
const char* const kStopCaption = "停止";
const char* const kUnsupportedMessage = "不支持的分区";
const char* const kSaveFailedMessage = "保存失败";
const char* const kFileColumnHeaders[4] = {"序号", "文件名", "创建时间", "大小"};
const int kFileColumnWidths[4] = {40, 200, 120, 60};

namespace {

const FileFilter& saveFilter() {
    static const FileFilter filter = {{"文本文件 (*.txt)", "*.txt"}, {"所有文件 (*.*)", "*.*"}};
    return filter;
}

}  // namespace

ScanShell::ScanShell(ShellView& view, ShellContext context)
    : view_(view),
      context_(std::move(context)),
      scanContext_{context_.openDrive, [&view](const char* text) { view.showMessageBox(text); },
                   {}, context_.mftValidDataLength} {}

ScanShell::~ScanShell() {
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
            thread = std::move(threads_.back());
            threads_.pop_back();
        }
        if (thread.joinable()) thread.join();
    }
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

void ScanShell::onScanCommand() {
    const PartitionRecord* record = view_.selectedPartitionRecord();
    if (record == nullptr) return;
    const bool start = view_.scanCaption() == kScanCaption;
    switchScan(start, start ? record : nullptr);
}

void ScanShell::switchScan(bool start, const PartitionRecord* record) {
    if (start) {
        if (running_ || record == nullptr) return;
        auto token = std::make_shared<WorkerToken>();
        try {
            std::lock_guard<std::mutex> lock(threadsMutex_);
            threads_.emplace_back(&ScanShell::scanWorker, this, *record, token);
        } catch (const std::exception&) {
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
    // The scanner is shared: the save command holds it while it reads, and a
    // replaced scanner is released only when its last user lets go.
    const std::shared_ptr<VolumeScanner> scanner = openStep(record, token);
    if (scanner) listStep(scanner, token);
}

// Ends this worker's run of the switch, unless it was stopped (the stopper
// has reset the switch) or a newer worker owns it now.
void ScanShell::finishStep(const std::shared_ptr<WorkerToken>& token, ScanOutcome outcome) {
    updateIfCurrent(token, [&] {
        if (running_ != token) return;
        switchScan(false, nullptr);
        outcome_ = outcome;
    });
}

std::shared_ptr<VolumeScanner> ScanShell::openStep(const PartitionRecord& record,
                                                   const std::shared_ptr<WorkerToken>& token) {
    std::shared_ptr<VolumeScanner> scanner;
    try {
        if (context_.makeScanner) scanner = context_.makeScanner(record, scanContext_);
    } catch (const std::bad_alloc&) {
        scanner.reset();
    }
    if (!updateIfCurrent(token, [&] { current_ = scanner; })) return nullptr;
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

void ScanShell::listStep(const std::shared_ptr<VolumeScanner>& scanner,
                         const std::shared_ptr<WorkerToken>& token) {
    DeletedFile file;
    ResultRow row{};
    int count = 0;
    for (uint32_t index = 0; !token->stopRequested; ++index) {
        if (!updateIfCurrent(token, [&] { view_.setCounter(kScannedCounter, index); })) return;
        if (!scanner->hasItem(index)) {
            finishStep(token, ScanOutcome::Completed);
            return;
        }
        if (scanner->describe(index, file)) {
            formatResultRow(file, context_.utcOffset ? context_.utcOffset() : 0, row);
            const int position = count;
            if (!updateIfCurrent(token, [&] {
                    addResultRow(index, position, row, file);
                    view_.setCounter(kDeletedCounter, static_cast<unsigned>(position + 1));
                })) {
                return;
            }
            ++count;
        }
        if (index == UINT32_MAX) {  // no index beyond the 32-bit range
            finishStep(token, ScanOutcome::Completed);
            return;
        }
    }
}

void ScanShell::addResultRow(uint32_t index, int count, const ResultRow& row,
                             const DeletedFile& file) {
    char number[16];
    std::snprintf(number, sizeof number, "%d", count);
    view_.insertFileRow(count, number, static_cast<uintptr_t>(index));
    view_.setFileRowText(count, 1, row.nameText);
    view_.setFileRowText(count, 2, row.timeText);
    view_.setFileRowText(count, 3, row.sizeText);
    view_.setFileRowDetails(count, file);
}

SaveOutcome ScanShell::onSaveCommand() {
    const int position = view_.firstSelectedFileRow();
    if (position < 0) return SaveOutcome::NothingToDo;
    const uint64_t rowData = view_.fileRowData(position);
    // A row's index means something only to the scanner that listed it; rows
    // left from an earlier scan (after a failed or unsupported one) are not
    // saved. The listed scanner's open has returned true by construction.
    if (!listed_ || listed_ != current_ || rowData > UINT32_MAX) return SaveOutcome::NothingToDo;
    std::shared_ptr<VolumeScanner> scanner = listed_;
    const auto index = static_cast<uint32_t>(rowData);

    std::string path;
    if (!view_.askSavePath(saveFilter(), "txt", path)) return SaveOutcome::Cancelled;
    if (isDiskPath(path, context_.diskPath)) {
        showMessage(kSaveFailedMessage);
        return SaveOutcome::Failed;
    }

    OutputFile file(path);
    bool ok = false;
    try {
        ok = scanner->readContent(index, file) && file.finish();
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    if (!ok) {
        file.discard();
        showMessage(kSaveFailedMessage);
        return SaveOutcome::Failed;
    }
    return SaveOutcome::Saved;
}

}  // namespace undelete
