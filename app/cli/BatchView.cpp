#include "app/cli/BatchView.h"

#include <cstdio>

namespace undelete {

void BatchView::runOnUiThread(const std::function<void()>& task) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    task();
}

void BatchView::showMessageBox(const char* text) {
    std::fprintf(stderr, "%s\n", text);
    std::fflush(stderr);
}

void BatchView::setCounter(ControlId counter, unsigned value) {
    if (counter == kScannedCounter) scanned_ = value;
    if (counter == kDeletedCounter) deleted_ = value;
}

void BatchView::insertFileRow(int position, const char* numberText, uintptr_t itemData) {
    if (position < 0 || static_cast<size_t>(position) > rows_.size()) return;
    BatchFileRow row;
    row.itemData = itemData;
    row.texts[0] = numberText;
    rows_.insert(rows_.begin() + position, std::move(row));
}

void BatchView::setFileRowText(int position, int column, const char* text) {
    if (position < 0 || static_cast<size_t>(position) >= rows_.size()) return;
    if (column < 0 || column >= 4) return;
    rows_[static_cast<size_t>(position)].texts[static_cast<size_t>(column)] = text;
}

uintptr_t BatchView::fileRowData(int position) {
    if (position < 0 || static_cast<size_t>(position) >= rows_.size()) return 0;
    return rows_[static_cast<size_t>(position)].itemData;
}

bool BatchView::askSavePath(const FileFilter&, const char*, std::string& path) {
    if (savePath_.empty()) return false;
    path = savePath_;
    return true;
}

}  // namespace undelete
