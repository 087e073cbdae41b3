#include "app/cli/win32/Console.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "common/Text.h"

namespace undelete {
namespace {

// The code page found at start; 0 when it was not changed.
std::atomic<UINT> previousCodePage{0};

// Last in the chain: the program is ending by a Ctrl-C or the console's
// closing, and the console outlives it.
BOOL WINAPI restoreOnEnd(DWORD) {
    restoreConsole();
    return FALSE;  // the system's own handler then ends the process
}

}  // namespace

std::vector<std::string> utf8Arguments() {
    std::vector<std::string> arguments;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) return arguments;
    for (int i = 0; i < count; ++i) arguments.push_back(narrowText(wide[i]));
    LocalFree(wide);
    return arguments;
}

void prepareConsole() {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    const UINT current = GetConsoleOutputCP();
    // No console (output to a file or a pipe, or started without one):
    // nothing to switch.
    if (current == 0 || current == CP_UTF8 || !SetConsoleOutputCP(CP_UTF8)) return;
    previousCodePage = current;
    std::atexit(restoreConsole);
    SetConsoleCtrlHandler(restoreOnEnd, TRUE);
}

void restoreConsole() {
    const UINT previous = previousCodePage.exchange(0);
    if (previous != 0) SetConsoleOutputCP(previous);
}

}  // namespace undelete
