// Dialog 101: the dialog procedure, the columns of both lists and the run
// of the dialog. The procedure only dispatches: scanning and saving live in
// the shell.
#pragma once
#include <functional>
#include <vector>

#include "app/ScanShell.h"
#include "app/win32/DialogView.h"
#include "partition/PartitionRows.h"

namespace undelete::win32 {

// Gives the rows of the partition list; called once, while the dialog is
// being created, on the user-interface thread.
using PartitionSource = std::function<std::vector<PartitionRow>()>;

// Runs dialog 101 modally until it is closed. `view`, `shell` and the rows
// stay in use until the process ends (a worker may still run then).
void runMainDialog(HINSTANCE instance, DialogView& view, ScanShell& shell,
                   PartitionSource partitions);

INT_PTR CALLBACK mainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The ten measured columns of the partition list, the four fixed ones of
// the file list, and grid lines with full-row selection on both.
void setupListColumns();

}  // namespace undelete::win32
