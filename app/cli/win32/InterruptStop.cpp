#include "app/cli/InterruptStop.h"

#include <windows.h>

#include <cstdlib>

#include "app/cli/win32/Console.h"

namespace undelete {
namespace {

// The status of a run ended by a second Ctrl-C, as on Linux.
constexpr int kInterruptedStatus = 130;

// The one object the handler serves; runs are one at a time.
std::atomic<InterruptStop*> current{nullptr};

}  // namespace

InterruptStop::InterruptStop(std::function<void()> onFirst) : onFirst_(std::move(onFirst)) {
    current = this;
    installed_ = SetConsoleCtrlHandler(handle, TRUE) != 0;
}

InterruptStop::~InterruptStop() {
    if (installed_) SetConsoleCtrlHandler(handle, FALSE);
    current = nullptr;
}

int __stdcall InterruptStop::handle(unsigned long event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;  // closing: end
    InterruptStop* stop = current.load();
    if (stop == nullptr) return FALSE;
    if (stop->interrupted_.exchange(true)) {
        restoreConsole();
        std::_Exit(kInterruptedStatus);
    }
    if (stop->onFirst_) stop->onFirst_();
    return TRUE;
}

}  // namespace undelete
