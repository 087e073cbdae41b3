#include "app/terminal/TerminalDialog.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

#include "app/Language.h"
#include "app/LostVolumeSearch.h"
#include "app/ScanShell.h"
#include "save/PartialFile.h"
#include "app/terminal/EventLoop.h"
#include "app/terminal/ListKeys.h"
#include "app/terminal/TerminalView.h"
#include "app/terminal/UiTaskQueue.h"
#include "partition/PartitionTableWalker.h"

namespace undelete {
namespace {

using namespace terminal;

// The user closed the dialog; it could not run, or its terminal went away.
// (The Windows dialog ends with 1 in every case; a script that runs this
// one wants to tell a close from a failure.)
constexpr int kClosed = 0;
constexpr int kFailed = 1;

// How long closing waits for the workers to see their stop request.
constexpr std::chrono::milliseconds kWorkerGrace{500};

// Ends the shell and the search on another thread while this (the
// user-interface) thread keeps running the tasks their workers hand over.
// False when a worker is still busy when the grace time is up (say, deep
// inside a long open).
bool endWorkers(UiTaskQueue& queue, std::unique_ptr<ScanShell> shell,
                std::unique_ptr<LostVolumeSearch> search) {
    std::atomic<bool> done{false};
    std::thread closer([&] {
        search.reset();
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

// The search for volumes no table names: 停止 ends it, and the rows it
// found are added after the table's.
void startSearch(LostVolumeSearch& search, TerminalView& view) {
    if (!search.start(view.tableRows(), [&view](FoundRows found) {
            view.setScanCaption(kScanCaption);
            view.showFoundRows(std::move(found));
        })) {
        return;
    }
    view.setScanCaption(kStopCaption);
}

// What the content check says of the file about to be saved.
const char* contentNote(ContentVerdict verdict) {
    switch (verdict) {
    case ContentVerdict::Match: return "内容检查：与扩展名所示的种类相符";
    case ContentVerdict::Mismatch:
        return "内容检查：与扩展名所示的种类不符 (多半是第一个簇已被重用)；仍会保存";
    default: return "内容检查：无法判断 (没有这种扩展名的识别器，或内容读不出)";
    }
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
    // A content that is not what the name says is a reason to know of, not
    // to refuse: the save goes on.
    ContentVerdict verdict = ContentVerdict::Unknown;
    if (shell.selectedContent(verdict)) {
        view.setSaveNote(contentNote(verdict), verdict == ContentVerdict::Mismatch);
    }
    const SaveOutcome outcome = shell.onSaveCommand();
    if (outcome == SaveOutcome::Saved || outcome == SaveOutcome::Failed)
        view.reportSaves({shell.lastSaveReport()});
}

}  // namespace

int runTerminalDialog(DiskSource source) {
    if (!::isatty(STDIN_FILENO) || !::isatty(STDOUT_FILENO)) {
        std::fprintf(stderr, "undelete: %s\n",
                     tr("对话框需要终端；没有终端时请使用 --partitions 或 --scan"));
        return kFailed;
    }
    SCREEN* screen = newterm(nullptr, stdout, stdin);
    if (screen == nullptr) {
        const char* term = std::getenv("TERM");
        std::fprintf(stderr, "undelete: ");
        std::fprintf(stderr, tr("无法使用这个终端 (TERM=%s)"), term != nullptr ? term : "");
        std::fputc('\n', stderr);
        return kFailed;
    }
    set_term(screen);
    // After curses has set its own handlers, which then run after ours.
    removePartialFileOnSignals();

    UiTaskQueue queue;
    EventLoop loop(queue);
    TerminalView view(loop, queue);
    loop.startScreen();
    view.setModifiedKeys(lookUpModifiedKeys());
    std::vector<PartitionRow> rows;
    // With no table and no volume, the question that offers the search
    // says so in place of the message.
    const PartitionTableKind kind =
        partitionRows(source, [&view](const char* text) {
            if (std::strcmp(text, kNoPartitionTableMessage) != 0) view.showMessageBox(text);
        }, rows);
    view.setPartitions(std::move(rows));
    if (kind == PartitionTableKind::None) view.offerSearchAtStart();
    auto search = std::make_unique<LostVolumeSearch>(view, source);
    view.setZone(source.zone);
    auto shell = std::make_unique<ScanShell>(view, std::move(source));
    ScanShell* commands = shell.get();
    LostVolumeSearch* searching = search.get();
    view.setCommandHandler([commands, searching, &view](ControlId command) {
        // While the search runs, the button reads 停止 and stops it.
        if (command == kScanButton && searching->running()) {
            searching->stop();
            return;
        }
        if (command == kScanButton) commands->onScanCommand();
        if (command == kDeepScanCommand) commands->onScanCommand(true);
        if (command == kCarveCommand) commands->onCarveCommand();
        if (command == kSearchCommand) startSearch(*searching, view);
        if (command == kSaveButton) save(*commands, view);
    });
    view.runDialog();

    loop.endScreen();
    const int status = loop.hungUp() ? kFailed : kClosed;
    if (!endWorkers(queue, std::move(shell), std::move(search))) {
        std::fflush(nullptr);
        std::_Exit(status);
    }
    delscreen(screen);
    return status;
}

}  // namespace undelete
