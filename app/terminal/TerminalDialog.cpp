#include "app/terminal/TerminalDialog.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

#include "save/PartialFile.h"
#include "app/ScanShell.h"
#include "app/terminal/EventLoop.h"
#include "app/terminal/ListKeys.h"
#include "app/terminal/TerminalView.h"
#include "app/terminal/UiTaskQueue.h"
#include "partition/PartitionRows.h"

namespace undelete {
namespace {

using namespace terminal;

constexpr int kDialogResult = 1;

// How long closing waits for the workers to see their stop request.
constexpr std::chrono::milliseconds kWorkerGrace{500};

// Ends the shell on another thread while this (the user-interface) thread
// keeps running the tasks its workers hand over. False when a worker is
// still busy when the grace time is up (say, deep inside a long open).
bool endShell(UiTaskQueue& queue, std::unique_ptr<ScanShell> shell) {
    std::atomic<bool> done{false};
    std::thread closer([&] {
        shell.reset();
        done = true;
    });
    const auto deadline = std::chrono::steady_clock::now() + kWorkerGrace;
    while (!done && std::chrono::steady_clock::now() < deadline) queue.waitAndRun(10);
    if (!done) {
        closer.detach();
        return false;
    }
    closer.join();
    return true;
}

// The save command: one selected row goes through the shell's save (a file
// name is asked for), several go into one folder, each under its own name.
// Either way the user is told what was written where.
void save(ScanShell& shell, TerminalView& view) {
    const size_t selected = view.selectedFileRows().size();
    if (selected > 1) {
        std::string folder;
        if (!view.askSaveFolder(static_cast<int>(selected), folder)) return;
        view.reportSaves(shell.saveSelectedInto(folder));
        return;
    }
    const SaveOutcome outcome = shell.onSaveCommand();
    if (outcome == SaveOutcome::Saved || outcome == SaveOutcome::Failed)
        view.reportSaves({shell.lastSaveReport()});
}

}  // namespace

int runTerminalDialog(ShellContext context) {
    if (!::isatty(STDIN_FILENO) || !::isatty(STDOUT_FILENO)) {
        std::fprintf(stderr,
                     "undelete: the dialog needs a terminal; "
                     "use --partitions or --scan without one\n");
        return kDialogResult;
    }
    SCREEN* screen = newterm(nullptr, stdout, stdin);
    if (screen == nullptr) {
        const char* term = std::getenv("TERM");
        std::fprintf(stderr, "undelete: cannot use this terminal (TERM=%s)\n",
                     term != nullptr ? term : "");
        return kDialogResult;
    }
    set_term(screen);
    // After curses has set its own handlers, which then run after ours.
    removePartialFileOnSignals();

    UiTaskQueue queue;
    EventLoop loop(queue);
    TerminalView view(loop, queue);
    loop.startScreen();
    view.setModifiedKeys(lookUpModifiedKeys());
    view.setPartitions(collectPartitionRows(
        context.openDrive, [&view](const char* text) { view.showMessageBox(text); }));
    auto shell = std::make_unique<ScanShell>(view, std::move(context));
    ScanShell* commands = shell.get();
    view.setCommandHandler([commands, &view](ControlId command) {
        if (command == kScanButton) commands->onScanCommand();
        if (command == kDeepScanCommand) commands->onScanCommand(true);
        if (command == kSaveButton) save(*commands, view);
    });
    view.runDialog();

    loop.endScreen();
    if (!endShell(queue, std::move(shell))) {
        std::fflush(nullptr);
        std::_Exit(kDialogResult);
    }
    delscreen(screen);
    return kDialogResult;
}

}  // namespace undelete
