// The temporary file a save is writing, removed when a signal ends the
// process before the save is done, so that an interrupted save leaves
// nothing behind. The batch and terminal faces install the handlers; the
// save service names the file. One file at a time: saves run one after
// another.
#pragma once
#include <string>

namespace undelete {

// From now on SIGINT, SIGTERM and SIGHUP first remove the named file and
// then do what they did before: a handler found installed (curses') is
// called, the default action ends the process. A signal that is ignored
// (as SIGHUP under nohup) stays ignored. Once per process, after the
// face's own handlers are set; nothing on Windows.
void removePartialFileOnSignals();

// Names the file a signal must remove; false when its path is too long for
// the handler's buffer (it is then left, as after a crash).
bool removeOnSignal(const std::string& path);
// Forgets it: renamed into place, or removed.
void keepOnSignal();

}  // namespace undelete
