// Dialog 101: the dialog procedure, the columns of both lists and the run
// of the dialog. The procedure only dispatches: scanning and saving live in
// the shell.
#pragma once
#include <functional>
#include <vector>

#include "app/LostVolumeSearch.h"
#include "app/ScanShell.h"
#include "app/win32/DialogView.h"
#include "partition/PartitionRows.h"

namespace undelete::win32 {

// The rows of the partition list and what sector 0 held.
struct PartitionListing {
    std::vector<PartitionRow> rows;
    PartitionTableKind kind = PartitionTableKind::Mbr;
};

// Gives the partition list; called once, while the dialog is being
// created, on the user-interface thread.
using PartitionSource = std::function<PartitionListing()>;

// Runs dialog 101 modally until it is closed. `view`, `shell`, `search` and
// the rows stay in use until the process ends (a worker may still run
// then). When sector 0 holds neither a table nor a volume, `search` (if
// any) looks for lost volumes once the dialog is up, and their rows are
// added to the list as they come.
void runMainDialog(HINSTANCE instance, DialogView& view, ScanShell& shell,
                   PartitionSource partitions, LostVolumeSearch* search);

INT_PTR CALLBACK mainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The ten measured columns of the partition list, the four fixed ones of
// the file list, and grid lines with full-row selection on both.
void setupListColumns();

}  // namespace undelete::win32
