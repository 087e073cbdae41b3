// The shell's view in batch mode: lists kept in memory, messages written to
// standard error without waiting, the save path given on the command line.
#pragma once
#include <array>
#include <mutex>
#include <string>
#include <vector>

#include "app/ShellView.h"

namespace undelete {

struct BatchFileRow {
    uintptr_t itemData = 0;
    std::array<std::string, 4> texts;
};

class BatchView : public ShellView {
public:
    // The calling thread stands for the user-interface thread; tasks of the
    // worker run under the same lock, one at a time.
    void runOnUiThread(const std::function<void()>& task) override;
    void showMessageBox(const char* text) override;
    void setScanCaption(const char* caption) override { caption_ = caption; }
    std::string scanCaption() override { return caption_; }
    void setCounter(ControlId counter, unsigned value) override;
    void clearFileRows() override { rows_.clear(); }
    void insertFileRow(int position, const char* numberText, uintptr_t itemData) override;
    void setFileRowText(int position, int column, const char* text) override;
    int firstSelectedFileRow() override { return selectedFile_; }
    uintptr_t fileRowData(int position) override;
    const PartitionRecord* selectedPartitionRecord() override { return selectedPartition_; }
    bool askSavePath(const FileFilter& filter, const char* defaultExtension,
                     std::string& path) override;

    // Set-up by the batch driver, under the lock of runOnUiThread.
    void selectPartition(const PartitionRecord* record) { selectedPartition_ = record; }
    void selectFileRow(int position) { selectedFile_ = position; }
    void setSavePath(const std::string& path) { savePath_ = path; }
    const std::vector<BatchFileRow>& rows() const { return rows_; }
    unsigned scannedCount() const { return scanned_; }
    unsigned deletedCount() const { return deleted_; }

private:
    std::recursive_mutex mutex_;
    std::string caption_ = "扫描";
    std::vector<BatchFileRow> rows_;
    unsigned scanned_ = 0;
    unsigned deleted_ = 0;
    const PartitionRecord* selectedPartition_ = nullptr;
    int selectedFile_ = -1;
    std::string savePath_;
};

}  // namespace undelete
