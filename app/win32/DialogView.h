// The shell's window operations on the Win32 dialog: list-view messages,
// dialog item texts, message boxes and the save-file dialog. The worker's
// updates reach the dialog as a private message sent to it, so they run on
// the user-interface thread, in the dialog procedure.
#pragma once
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <functional>
#include <string>

#include "app/ShellView.h"

namespace undelete::win32 {

// Sent to the dialog with a task for the user-interface thread (lParam
// points to a std::function<void()> that lives until the send returns).
constexpr UINT kRunTaskMessage = WM_APP + 1;

class DialogView : public ShellView {
public:
    // Keeps the dialog's handle and those of both lists; on the
    // user-interface thread, once, while the dialog is being created.
    void attach(HWND dialog);
    HWND partitionList() const { return partitionList_; }
    HWND fileList() const { return fileList_; }

    // Runs the task a kRunTaskMessage carries.
    static void runTask(LPARAM task);

    // ShellView
    void runOnUiThread(const std::function<void()>& task) override;
    void showMessageBox(const char* text) override;
    bool askYesNo(const char* question) override;
    void setScanCaption(const char* caption) override;
    std::string scanCaption() override;
    void setCounter(ControlId counter, unsigned value) override;
    void clearFileRows() override;
    void insertFileRow(int position, const char* numberText, uintptr_t itemData) override;
    void setFileRowText(int position, int column, const char* text) override;
    int firstSelectedFileRow() override;
    uintptr_t fileRowData(int position) override;
    const PartitionRecord* selectedPartitionRecord() override;
    bool askSavePath(const FileFilter& filter, const char* defaultExtension,
                     std::string& path) override;

private:
    HWND dialog_ = nullptr;
    HWND partitionList_ = nullptr;
    HWND fileList_ = nullptr;
    DWORD uiThread_ = 0;
};

// Row operations of a report-view list, shared with the partition rows.
void insertListRow(HWND list, int position, const char* text, LPARAM itemData);
void setListRowText(HWND list, int position, int column, const char* text);
int firstSelectedRow(HWND list);  // −1: none
LPARAM listRowData(HWND list, int position);

}  // namespace undelete::win32
