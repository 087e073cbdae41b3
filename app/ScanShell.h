// The dialogs' shell behind the two commands: the scan switch, the scan
// worker, the deleted-file rows and the save command. Written once against
// ShellView, so both dialogs behave the same; the scan and the saves are
// the core's.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/FaceTexts.h"
#include "app/ShellView.h"
#include "core/ContentVerdicts.h"
#include "core/DiskSource.h"
#include "core/Scan.h"
#include "core/ScannedVolume.h"
#include "scan/RowTexts.h"

namespace undelete {

class ScanShell {
public:
    // The scan's messages go to `view`.
    ScanShell(ShellView& view, DiskSource source);
    // Asks every worker to stop and waits for them. A front end whose worker
    // may be blocked in a message box ends the process instead.
    ~ScanShell();

    // Command handlers, on the user-interface thread. `deep`: the deeper
    // scan (a FAT volume's free clusters read too).
    void onScanCommand(bool deep = false);
    // Carves the selected row, or the whole disk when no row is selected
    // (a disk whose table and volumes are gone).
    void onCarveCommand();
    // Whether the content of the one file a save would take is what its
    // name says; false when there is no such file. Reads it (user-interface
    // thread).
    bool selectedContent(ContentVerdict& verdict);
    SaveOutcome onSaveCommand();

    // Starts a worker on `record` or asks the running one to stop; on the
    // user-interface thread. A new worker begins its scan only once every
    // earlier one has ended (a stopped one ends its pass within a second),
    // so two scans never read the disk side by side.
    void switchScan(bool start, const PartitionRecord* record, bool deep = false,
                    bool carve = false);

    // Waits until every worker started so far has ended. Not on the
    // user-interface thread when workers may still need it.
    void waitForWorkers();

    // Saves every selected row into `folder`, each under its own name
    // (below its folder path inside the volume, when known), never
    // replacing a file: " (1)", " (2)" … go before the extension. On the
    // user-interface thread; one report per row, in list order, or none
    // when the user would not save onto the disk being recovered.
    std::vector<SaveReport> saveSelectedInto(const std::string& folder);

    ScanOutcome lastOutcome();
    ScanReport lastScanReport();
    // Of the latest onSaveCommand; on the user-interface thread.
    const SaveReport& lastSaveReport() const { return lastSave_; }
    std::shared_ptr<ScannedVolume> currentVolume();

private:
    struct WorkerToken {
        StopToken stop;
        std::atomic<bool> ended{false};
        uint64_t sequence = 0;  // workers begin their scans in this order
        bool deep = false;
        bool carve = false;
    };
    class WorkerObserver;
    class SaveObserver;

    void scanWorker(PartitionRecord record, std::shared_ptr<WorkerToken> token);
    void awaitTurn(const WorkerToken& token);
    void endTurn(WorkerToken& token);
    // Joins the threads of workers that have ended (user-interface thread).
    void reapEndedWorkers();
    // Ends this worker's run of the switch with `report`, unless it was
    // stopped or a newer worker owns it now.
    void finishStep(const std::shared_ptr<WorkerToken>& token, const ScanReport& report);
    // Says that the user's stop cut the list, unless a newer scan has taken
    // over.
    void tellStopped(const std::shared_ptr<WorkerToken>& token);
    void setScanned(uint32_t index);  // on the user-interface thread
    // Runs `task` on the user-interface thread only while `token` is still
    // the newest worker's, so a stopped worker never touches the screen
    // once a later one has started.
    template <typename Task>
    bool updateIfCurrent(const std::shared_ptr<WorkerToken>& token, Task task);
    void addResultRow(const FoundFile& found, const ResultRow& row);
    // Where a save goes; the user is asked before a save onto the disk
    // being recovered.
    SaveTarget target(const std::string& path, SaveTarget::Kind kind = SaveTarget::Kind::File);
    // The volume whose rows are listed, when saving them is sound.
    std::shared_ptr<ScannedVolume> listedVolume() const;
    void showMessage(const char* text) { view_.showMessageBox(text); }

    ShellView& view_;
    DiskSource source_;

    // State of the user-interface thread: written and read only there.
    std::shared_ptr<WorkerToken> running_;   // the held worker ("handle"), or null
    std::shared_ptr<WorkerToken> newest_;    // the worker started last
    std::shared_ptr<ScannedVolume> current_;  // currentVolume
    std::shared_ptr<ScannedVolume> listed_;   // the volume whose rows are shown
    ScanOutcome outcome_ = ScanOutcome::None;
    ScanReport report_;
    SaveReport lastSave_;

    std::atomic<bool> closing_{false};  // the shell is going: nothing more is told
    std::mutex threadsMutex_;
    std::vector<std::pair<std::thread, std::shared_ptr<WorkerToken>>> threads_;
    uint64_t nextSequence_ = 0;  // user-interface thread
    // Workers that have not ended yet, by sequence.
    std::mutex turnsMutex_;
    std::condition_variable turnEnded_;
    std::set<uint64_t> alive_;
};

}  // namespace undelete
