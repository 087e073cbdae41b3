// The temporary files a save is writing, or has written and not yet named,
// removed when a signal ends the process before the save is done, so that
// an interrupted save leaves nothing behind. The batch and terminal faces
// install the handlers; the save service names the files (at most
// kPartialSlots at once; saves run one after another).
#pragma once
#include <string>

namespace undelete {

// From now on SIGINT, SIGTERM and SIGHUP first remove the named file and
// then do what they did before: a handler found installed (curses') is
// called, the default action ends the process. A signal that is ignored
// (as SIGHUP under nohup) stays ignored. Once per process, after the
// face's own handlers are set; nothing on Windows.
void removePartialFileOnSignals();

constexpr int kPartialSlots = 64;

// Names a file a signal must remove: its slot, or -1 when its path is too
// long for the handler's buffer or every slot is taken (it is then left,
// as after a crash).
int removeOnSignal(const std::string& path);
// Forgets the file of `slot` (-1: none): renamed into place, or removed.
void keepOnSignal(int slot);

}  // namespace undelete
