// The dialog on a terminal.
#pragma once

namespace undelete {

// Runs the dialog on drive 0 until the user closes it; returns the exit
// status (1, as the dialog's).
int runTerminalDialog();

}  // namespace undelete
