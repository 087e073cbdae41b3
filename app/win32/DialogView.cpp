#include "app/win32/DialogView.h"

#include <commctrl.h>
#include <commdlg.h>

#include <vector>

namespace undelete::win32 {

void insertListRow(HWND list, int position, const char* text, LPARAM itemData) {
    LVITEMA item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = position;
    item.iSubItem = 0;
    item.pszText = const_cast<char*>(text);  // the list copies the text
    item.lParam = itemData;
    SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
}

void setListRowText(HWND list, int position, int column, const char* text) {
    LVITEMA item{};
    item.mask = LVIF_TEXT;
    item.iItem = position;
    item.iSubItem = column;
    item.pszText = const_cast<char*>(text);
    SendMessageA(list, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
}

int firstSelectedRow(HWND list) {
    return static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1),
                                         MAKELPARAM(LVNI_SELECTED, 0)));
}

LPARAM listRowData(HWND list, int position) {
    LVITEMA item{};
    item.mask = LVIF_PARAM;
    item.iItem = position;
    if (!SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) return 0;
    return item.lParam;
}

void DialogView::attach(HWND dialog) {
    dialog_ = dialog;
    partitionList_ = GetDlgItem(dialog, kPartitionList);
    fileList_ = GetDlgItem(dialog, kFileList);
    uiThread_ = GetCurrentThreadId();
}

void DialogView::runTask(LPARAM task) {
    (*reinterpret_cast<const std::function<void()>*>(task))();
}

void DialogView::runOnUiThread(const std::function<void()>& task) {
    if (GetCurrentThreadId() == uiThread_) {
        task();
        return;
    }
    // Completed by the user-interface thread, also while it sits in a modal
    // loop (a message box, the save-file dialog). Once the dialog is gone
    // the send returns at once and the task does not run.
    SendMessageA(dialog_, kRunTaskMessage, 0, reinterpret_cast<LPARAM>(&task));
}

void DialogView::showMessageBox(const char* text) {
    MessageBoxA(nullptr, text, "", MB_OK);
}

bool DialogView::askYesNo(const char* question) {
    // Owned by the dialog: no second command starts while it waits.
    return MessageBoxA(dialog_, question, "", MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES;
}

void DialogView::setScanCaption(const char* caption) {
    SetDlgItemTextA(dialog_, kScanButton, caption);
}

std::string DialogView::scanCaption() {
    char caption[20] = {};
    GetDlgItemTextA(dialog_, kScanButton, caption, sizeof caption);
    return caption;
}

void DialogView::setCounter(ControlId counter, unsigned value) {
    SetDlgItemInt(dialog_, counter, value, FALSE);
}

void DialogView::clearFileRows() {
    SendMessageA(fileList_, LVM_DELETEALLITEMS, 0, 0);
}

void DialogView::insertFileRow(int position, const char* numberText, uintptr_t itemData) {
    insertListRow(fileList_, position, numberText, static_cast<LPARAM>(itemData));
}

void DialogView::setFileRowText(int position, int column, const char* text) {
    setListRowText(fileList_, position, column, text);
}

int DialogView::firstSelectedFileRow() {
    return firstSelectedRow(fileList_);
}

uintptr_t DialogView::fileRowData(int position) {
    return static_cast<uintptr_t>(listRowData(fileList_, position));
}

const PartitionRecord* DialogView::selectedPartitionRecord() {
    const int row = firstSelectedRow(partitionList_);
    if (row < 0) return nullptr;
    return reinterpret_cast<const PartitionRecord*>(listRowData(partitionList_, row));
}

bool DialogView::askSavePath(const FileFilter& filter, const char* defaultExtension,
                             std::string& path) {
    // Display text and pattern pairs, each zero-terminated, then one more zero.
    std::string filterBlock;
    for (const auto& [text, pattern] : filter) {
        filterBlock += text;
        filterBlock += '\0';
        filterBlock += pattern;
        filterBlock += '\0';
    }
    filterBlock += '\0';

    char file[MAX_PATH] = {};
    OPENFILENAMEA request{};
    request.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    request.hwndOwner = dialog_;
    request.lpstrFilter = filterBlock.c_str();
    request.nFilterIndex = 0;
    request.lpstrFile = file;
    request.nMaxFile = sizeof file;
    request.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_EXPLORER;
    request.lpstrDefExt = defaultExtension;
    if (!GetSaveFileNameA(&request)) return false;
    path = file;
    return true;
}

}  // namespace undelete::win32
