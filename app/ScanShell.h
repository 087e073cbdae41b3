// The shell logic behind the two commands: the scan switch, the scan
// worker, the deleted-file rows and the save command. Written once against
// ShellView, so every front end behaves the same.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "save/SaveService.h"
#include "core/ScannerFactory.h"
#include "app/ShellView.h"
#include "core/SystemZone.h"
#include "disk/DriveDevice.h"
#include "disk/VolumeLocator.h"
#include "scan/RowTexts.h"
#include "scan/TimeText.h"
#include "scan/VolumeScanner.h"

namespace undelete {

extern const char* const kScanCaption;        // "扫描"
extern const char* const kStopCaption;        // "停止"
extern const char* const kUnsupportedMessage;  // "不支持的分区"
extern const char* const kSaveFailedMessage;   // "保存失败"
// Said when a stop ended a scan: the list holds what it had found by then.
extern const char* const kScanStoppedMessage;
// Asked before a save into a folder on the disk being recovered.
extern const char* const kOnScannedDiskQuestion;
// printf format of the one summary of a scan's failed reads: their count
// and the byte position of the first.
extern const char* const kReadFailuresFormat;
extern const char* const kFileColumnHeaders[4];
extern const int kFileColumnWidths[4];  // pixels in the dialog

// How the latest scan ended (for the batch front end and tests).
enum class ScanOutcome { None, Running, Unsupported, OpenFailed, Stopped, Completed };

// The latest scan as a whole.
struct ScanReport {
    ScanOutcome outcome = ScanOutcome::None;
    uint64_t examined = 0;        // catalogue indices examined
    uint64_t listed = 0;          // rows added
    uint64_t failedReads = 0;     // reads of the disk that failed, open included
    uint64_t firstFailedAt = 0;   // byte position of the first of them
    uint64_t incomplete = 0;      // causes told why the rows may not be all
};

// What a front end hands the shell: the disk of this run and the sources of
// what the disk does not tell.
struct ShellContext {
    DriveOpener openDrive;
    std::string diskPath;  // the disk itself: never a place to save to
    // Empty: each NTFS volume's own $MFT record gives its table length.
    MftLengthLookup mftValidDataLength;
    // The zone a FAT time was written in and an NTFS time is shown in.
    LocalZone zone = systemLocalZone();
    ScannerFactory makeScanner = createScanner;
};

class ScanShell {
public:
    // Scanners show their messages through `view`.
    ScanShell(ShellView& view, ShellContext context);
    // Asks every worker to stop and waits for them. A front end whose worker
    // may be blocked in a message box ends the process instead.
    ~ScanShell();

    // Command handlers, on the user-interface thread. `deep`: the deeper
    // scan (a FAT volume's free clusters read too).
    void onScanCommand(bool deep = false);
    SaveOutcome onSaveCommand();

    // Starts a worker on `record` or asks the running one to stop; on the
    // user-interface thread. A new worker begins its scan only once every
    // earlier one has ended (a stopped one ends its pass within a second),
    // so two scans never read the disk side by side.
    void switchScan(bool start, const PartitionRecord* record, bool deep = false);

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
    std::shared_ptr<VolumeScanner> currentScanner();

private:
    struct WorkerToken {
        std::atomic<bool> stopRequested{false};
        std::atomic<bool> ended{false};
        uint64_t sequence = 0;  // workers begin their scans in this order
        bool deep = false;
    };
    struct ReadFailures;

    void scanWorker(PartitionRecord record, std::shared_ptr<WorkerToken> token);
    // The worker's steps: make and open the scanner (null when the scan
    // ended there), list its deleted files, end the run of the switch.
    std::shared_ptr<VolumeScanner> openStep(const PartitionRecord& record,
                                            const std::shared_ptr<WorkerToken>& token);
    // `drain`: the scan was stopped during open, whose catalogue so far is
    // listed all the same.
    void listStep(const std::shared_ptr<VolumeScanner>& scanner,
                  const std::shared_ptr<WorkerToken>& token, bool drain);
    ScanContext workerContext(const std::shared_ptr<WorkerToken>& token,
                              const std::shared_ptr<ReadFailures>& failures);
    void awaitTurn(const WorkerToken& token);
    void endTurn(WorkerToken& token);
    // Joins the threads of workers that have ended (user-interface thread).
    void reapEndedWorkers();
    void finishStep(const std::shared_ptr<WorkerToken>& token, ScanOutcome outcome);
    // Says that the user's stop cut the list, unless a newer scan has taken
    // over.
    void tellStopped(const std::shared_ptr<WorkerToken>& token);
    // Shows `index` indices examined; false when `token` is no longer the
    // newest worker's.
    bool showScanned(const std::shared_ptr<VolumeScanner>& scanner,
                     const std::shared_ptr<WorkerToken>& token, uint32_t index);
    void setScanned(uint32_t index);  // on the user-interface thread
    // Runs `task` on the user-interface thread only while `token` is still
    // the newest worker's, so a stopped worker never touches the screen
    // once a later one has started.
    template <typename Task>
    bool updateIfCurrent(const std::shared_ptr<WorkerToken>& token, Task task);
    void addResultRow(uint32_t index, int count, const ResultRow& row, const DeletedFile& file);
    // True unless `folder` lies on the disk being recovered and the user
    // does not want to save there all the same.
    bool agreedTarget(const std::string& folder);
    // What a save of item `index` of `scanner` streams, and where its
    // progress goes.
    ContentSource contentOf(const std::shared_ptr<VolumeScanner>& scanner, uint32_t index);
    SaveProgress saveProgress();
    // The scanner whose rows are listed, when saving them is sound.
    std::shared_ptr<VolumeScanner> listedScanner() const;
    void showMessage(const char* text) { view_.showMessageBox(text); }

    ShellView& view_;
    ShellContext context_;
    ScanContext scanContext_;
    SaveService saves_;

    // State of the user-interface thread: written and read only there.
    std::shared_ptr<WorkerToken> running_;   // the held worker ("handle"), or null
    std::shared_ptr<WorkerToken> newest_;    // the worker started last
    std::shared_ptr<VolumeScanner> current_;  // currentScanner
    std::shared_ptr<VolumeScanner> listed_;   // the scanner whose rows are shown
    ScanOutcome outcome_ = ScanOutcome::None;
    ScanReport report_;
    std::shared_ptr<ReadFailures> failures_;  // of the current scanner
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
