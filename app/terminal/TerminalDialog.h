// The dialog on a terminal.
#pragma once

namespace undelete {

// Runs the dialog on drive 0 until the user closes it; returns the exit
// status (1, as the dialog's). When a scan worker cannot be ended at once
// the process ends here with that status, as closing the dialog ends the
// process together with its worker.
int runTerminalDialog();

}  // namespace undelete
