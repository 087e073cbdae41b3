// The shell's view in batch mode: lists kept in memory, messages written to
// standard error without waiting (in the message language; information
// only when asked for), progress on standard error when it is a terminal,
// the save path given on the command line.
#pragma once
#include <array>
#include <cstdio>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "app/ShellView.h"

namespace undelete {

struct BatchFileRow {
    uintptr_t itemData = 0;
    std::array<std::string, 4> texts;
    DeletedFile file;  // the exact values behind the texts
};

class BatchView : public ShellView {
public:
    // `verbose`: informational messages too. `progress`: where progress
    // goes (a terminal), or null for none.
    explicit BatchView(bool verbose = false, FILE* progress = nullptr)
        : verbose_(verbose), progress_(progress) {}

    // The calling thread stands for the user-interface thread; tasks of the
    // worker run under the same lock, one at a time.
    void runOnUiThread(const std::function<void()>& task) override;
    void showMessageBox(const char* text) override;
    // Yes only with --force; a no is kept for the batch to say why.
    bool askYesNo(const char* question) override;
    void setScanCaption(const char* caption) override { caption_ = caption; }
    std::string scanCaption() override { return caption_; }
    void setCounter(ControlId counter, unsigned value) override;
    void clearFileRows() override;
    void insertFileRow(int position, const char* numberText, uintptr_t itemData) override;
    void setFileRowText(int position, int column, const char* text) override;
    void setFileRowDetails(int position, const DeletedFile& file) override;
    int firstSelectedFileRow() override { return selected_.empty() ? -1 : selected_.front(); }
    std::vector<int> selectedFileRows() override { return selected_; }
    uintptr_t fileRowData(int position) override;
    void showProgress(Work work, uint64_t done, uint64_t total) override;
    const PartitionRecord* selectedPartitionRecord() override { return selectedPartition_; }
    bool askSavePath(const FileFilter& filter, const char* defaultExtension,
                     std::string& path) override;

    // Set-up by the batch driver, under the lock of runOnUiThread.
    void selectPartition(const PartitionRecord* record) { selectedPartition_ = record; }
    void selectFileRows(std::vector<int> positions) { selected_ = std::move(positions); }
    void setSavePath(const std::string& path) { savePath_ = path; }
    void setForce(bool force) { force_ = force; }
    // True once a question was answered no.
    bool declined() const { return declined_; }
    const std::deque<BatchFileRow>& rows() const { return rows_; }
    // From now on each row goes to `sink` once complete and is not kept, so
    // that a long listing's memory does not grow with it; rows() stays empty.
    void streamRows(std::function<void(const BatchFileRow&)> sink) { sink_ = std::move(sink); }
    unsigned scannedCount() const { return scanned_; }
    unsigned deletedCount() const { return deleted_; }
    // Removes a progress line from the terminal.
    void endProgress();

private:
    BatchFileRow* rowAt(int position);

    std::recursive_mutex mutex_;
    const bool verbose_;
    FILE* const progress_;
    bool progressShown_ = false;
    std::string caption_ = "扫描";
    std::deque<BatchFileRow> rows_;  // appended to without moving the rows held
    size_t firstPosition_ = 0;       // the position of rows_.front(): rows streamed before it
    std::function<void(const BatchFileRow&)> sink_;
    unsigned scanned_ = 0;
    unsigned deleted_ = 0;
    const PartitionRecord* selectedPartition_ = nullptr;
    std::vector<int> selected_;
    std::string savePath_;
    bool force_ = false;
    bool declined_ = false;
};

// True for the summary of a scan's failed reads and the box of the first
// one: the batch prints its own summary from the scan's report instead.
bool isReadFailureMessage(const char* text);

}  // namespace undelete
