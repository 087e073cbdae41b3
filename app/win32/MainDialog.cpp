#include "app/win32/MainDialog.h"

#include <commctrl.h>

#include <charconv>
#include <deque>
#include <string>
#include <utility>

#include "app/win32/DialogIds.h"

namespace undelete::win32 {
namespace {

constexpr int kHeaderMargin = 40;  // pixels beside a partition header's text
// After a save that wrote unreadable bytes as zeros; %s: their count.
const char kLossySaveFormat[] = "文件已保存，但其中 %s 字节无法从磁盘读取，已写为零。";
constexpr DWORD kListStyle = LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT;

// Process-wide, set before the dialog exists and never changed afterwards.
struct DialogState {
    DialogView* view = nullptr;
    ScanShell* shell = nullptr;
    PartitionSource partitions;
    LostVolumeSearch* search = nullptr;
    // The records the partition rows point to: only ever appended to, so
    // a row's record stays where it is.
    std::deque<PartitionRow> rows;
};

DialogState& state() {
    static DialogState* s = new DialogState;  // lives until the process ends
    return *s;
}

void insertColumn(HWND list, int index, const char* header, int width) {
    LVCOLUMNA column{};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
    column.fmt = LVCFMT_LEFT;
    column.cx = width;
    column.pszText = const_cast<char*>(header);
    column.cchTextMax = lstrlenA(header);
    SendMessageA(list, LVM_INSERTCOLUMNA, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(&column));
}

// Appends `rows` after the list's last row.
void addPartitionRows(std::vector<PartitionRow> rows) {
    DialogState& s = state();
    const HWND list = s.view->partitionList();
    for (PartitionRow& added : rows) {
        const int position = static_cast<int>(s.rows.size());
        s.rows.push_back(std::move(added));
        const PartitionRow& row = s.rows.back();
        insertListRow(list, position, row.texts[0].c_str(),
                      reinterpret_cast<LPARAM>(&row.record));
        for (int column = 1; column < kPartitionColumns; ++column) {
            setListRowText(list, position, column, row.texts[static_cast<size_t>(column)].c_str());
        }
    }
}

void onInitDialog(HWND window) {
    DialogState& s = state();
    s.view->attach(window);
    setupListColumns();
    PartitionListing listing = s.partitions();
    const std::vector<PartitionRow> table = listing.rows;
    addPartitionRows(std::move(listing.rows));
    // "未找到分区表" has been shown; the volumes the search finds by their
    // boot sectors are added as rows once it ends. The dialog has no key
    // for it, so this is the one time it runs.
    if (listing.kind == PartitionTableKind::None && s.search != nullptr) {
        s.search->start(table, [](FoundRows found) { addPartitionRows(std::move(found.rows)); });
    }
}

// A save without loss stays silent; one with unreadable bytes says how many.
void onSave() {
    ScanShell& shell = *state().shell;
    if (shell.onSaveCommand() != SaveOutcome::Saved) return;
    const uint64_t lost = shell.lastSaveReport().lostBytes;
    if (lost == 0) return;
    char count[24];
    *std::to_chars(count, count + sizeof count - 1, lost).ptr = '\0';
    std::string text = kLossySaveFormat;
    text.replace(text.find("%s"), 2, count);
    state().view->showMessageBox(text.c_str());
}

void onCommand(WORD command) {
    switch (command) {
    case IDC_SAVE: onSave(); break;
    case IDC_SCAN: state().shell->onScanCommand(); break;
    default: break;  // IDOK (Enter) and IDCANCEL (Escape) included
    }
}

}  // namespace

void setupListColumns() {
    const HWND partitions = state().view->partitionList();
    const HWND files = state().view->fileList();
    for (int i = 0; i < kPartitionColumns; ++i) {
        const char* header = kPartitionColumnHeaders[i];
        const int width = static_cast<int>(
            SendMessageA(partitions, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(header)));
        insertColumn(partitions, i, header, width + kHeaderMargin);
    }
    for (int i = 0; i < 4; ++i) insertColumn(files, i, kFileColumnHeaders[i], kFileColumnWidths[i]);
    SendMessageA(partitions, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, kListStyle);
    SendMessageA(files, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, kListStyle);
}

INT_PTR CALLBACK mainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        onInitDialog(window);
        break;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        EndPaint(window, &paint);
        break;
    }
    case WM_CLOSE:
        EndDialog(window, 1);
        break;
    case WM_COMMAND:
        onCommand(LOWORD(wParam));
        break;
    case kRunTaskMessage:
        DialogView::runTask(lParam);
        break;
    default:
        break;
    }
    // FALSE throughout: no initial focus is set, and the dialog manager
    // does its default handling after each message.
    return FALSE;
}

void runMainDialog(HINSTANCE instance, DialogView& view, ScanShell& shell,
                   PartitionSource partitions, LostVolumeSearch* search) {
    DialogState& s = state();
    s.view = &view;
    s.shell = &shell;
    s.search = search;
    s.partitions = std::move(partitions);
    DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_UNDELETE), nullptr, mainDialogProc, 0);
}

}  // namespace undelete::win32
