// The dialog on a terminal.
#pragma once
#include "app/ScanShell.h"

namespace undelete {

// Runs the dialog on the disk of `context` until the user closes it; returns the exit
// status (1, as the dialog's). When a scan worker cannot be ended at once
// the process ends here with that status, as closing the dialog ends the
// process together with its worker.
int runTerminalDialog(DiskSource source);

}  // namespace undelete
