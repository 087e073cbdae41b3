#include "app/cli/BatchView.h"

#include <cstring>

#include "app/Language.h"
#include "app/ScanShell.h"

namespace undelete {
namespace {

// The FAT32 scanner's two messages around its directory walk: information,
// not a problem, so a script sees them only with -v.
bool isInformation(const char* text) {
    return std::strcmp(text, "程序正在准备初始化，可能需要很长时间才能响应") == 0 ||
           std::strcmp(text, "初始化已经成功完成") == 0;
}

}  // namespace

bool isReadFailureMessage(const char* text) {
    unsigned long long count = 0, first = 0;
    return std::strcmp(text, "ReadFile() Error") == 0 ||
           std::sscanf(text, tr(kReadFailuresFormat), &count, &first) == 2 ||
           std::sscanf(text, kReadFailuresFormat, &count, &first) == 2;
}

void BatchView::runOnUiThread(const std::function<void()>& task) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    task();
}

void BatchView::showMessageBox(const char* text) {
    // The batch says itself why a save failed, how many reads did and that
    // a scan was stopped (after its rows).
    if (isReadFailureMessage(text) || std::strcmp(text, kSaveFailedMessage) == 0 ||
        std::strcmp(text, kScanStoppedMessage) == 0) {
        return;
    }
    if (isInformation(text) && !verbose_) return;
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    endProgress();
    std::fprintf(stderr, "undelete: %s\n", tr(text));
    std::fflush(stderr);
}

bool BatchView::askYesNo(const char*) {
    if (!force_) declined_ = true;
    return force_;
}

void BatchView::setCounter(ControlId counter, unsigned value) {
    if (counter == kScannedCounter) scanned_ = value;
    if (counter == kDeletedCounter) deleted_ = value;
}

void BatchView::clearFileRows() {
    rows_.clear();
    firstPosition_ = 0;
}

BatchFileRow* BatchView::rowAt(int position) {
    if (position < 0 || static_cast<size_t>(position) < firstPosition_) return nullptr;
    const size_t at = static_cast<size_t>(position) - firstPosition_;
    return at < rows_.size() ? &rows_[at] : nullptr;
}

void BatchView::insertFileRow(int position, const char* numberText, uintptr_t itemData) {
    if (position < 0 || static_cast<size_t>(position) < firstPosition_) return;
    const size_t at = static_cast<size_t>(position) - firstPosition_;
    if (at > rows_.size()) return;
    BatchFileRow row;
    row.itemData = itemData;
    row.texts[0] = numberText;
    rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(at), std::move(row));
}

void BatchView::setFileRowText(int position, int column, const char* text) {
    BatchFileRow* row = rowAt(position);
    if (row == nullptr || column < 0 || column >= 4) return;
    row->texts[static_cast<size_t>(column)] = text;
}

// The shell sets a row's details last: the row is complete.
void BatchView::setFileRowDetails(int position, const DeletedFile& file) {
    BatchFileRow* row = rowAt(position);
    if (row == nullptr) return;
    row->file = file;
    if (!sink_) return;
    // Rows come in order, each appended: everything before this one has
    // gone out already.
    sink_(*row);
    firstPosition_ += rows_.size();
    rows_.clear();
}

uintptr_t BatchView::fileRowData(int position) {
    const BatchFileRow* row = rowAt(position);
    return row == nullptr ? 0 : row->itemData;
}

void BatchView::showProgress(Work work, uint64_t done, uint64_t total) {
    if (progress_ == nullptr) return;
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    const char* format = work == Work::Scan       ? tr("已检查 %llu / %llu")
                         : work == Work::DeepPass ? tr("已读空闲簇 %llu / %llu")
                         : work == Work::Search   ? tr("已搜索 %llu / %llu MiB")
                                                  : tr("已写入 %llu / %llu 字节");
    if (work == Work::Search) {
        done >>= 20;
        total >>= 20;
    }
    std::fputs("\r\033[K", progress_);
    std::fprintf(progress_, format, static_cast<unsigned long long>(done),
                 static_cast<unsigned long long>(total));
    std::fflush(progress_);
    progressShown_ = true;
}

void BatchView::endProgress() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (!progressShown_) return;
    std::fputs("\r\033[K", progress_);
    std::fflush(progress_);
    progressShown_ = false;
}

bool BatchView::askSavePath(const FileFilter&, const char*, std::string& path) {
    if (savePath_.empty()) return false;
    path = savePath_;
    return true;
}

}  // namespace undelete
