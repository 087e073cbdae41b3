// The window operations the dialogs' shell needs, implemented once per
// dialog (Windows, terminal) and by the test fakes.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "partition/PartitionRecord.h"
#include "scan/DeletedFile.h"

namespace undelete {

// Control identifiers of the dialog, also used to name the counters.
enum ControlId : int {
    kPartitionList = 1001,
    kSaveButton = 1003,
    kScanButton = 1004,
    kFileList = 1005,
    kDeletedCounter = 1006,
    kScannedCounter = 1007,
    // Not controls of the Windows dialog: the terminal's commands for the
    // deeper scan and for the search for volumes no table names.
    kDeepScanCommand = 1010,
    kSearchCommand = 1011,
    // Carving: the selected row, or the whole disk when there is no row.
    kCarveCommand = 1012,
};

// One display text and its pattern, e.g. {"所有文件 (*.*)", "*.*"}.
using FileFilter = std::vector<std::pair<std::string, std::string>>;

class ShellView {
public:
    virtual ~ShellView() = default;

    // Runs `task` on the user-interface thread and returns once it has run
    // (at once when called there). Every operation below except
    // showMessageBox is called only from inside such a task or from a
    // command handler, i.e. on the user-interface thread.
    virtual void runOnUiThread(const std::function<void()>& task) = 0;

    // A modal message with an empty caption and one OK button. Blocks the
    // calling thread (the worker included) until dismissed, while the
    // user-interface thread keeps running.
    virtual void showMessageBox(const char* text) = 0;

    // A question with the answers yes (true) and no, asked of the user on
    // the user-interface thread: whether to save onto the disk being
    // recovered.
    virtual bool askYesNo(const char* question) = 0;

    virtual void setScanCaption(const char* caption) = 0;
    virtual std::string scanCaption() = 0;
    virtual void setCounter(ControlId counter, unsigned value) = 0;

    // Deleted-file list. Row texts are copied by the list.
    virtual void clearFileRows() = 0;
    virtual void insertFileRow(int position, const char* numberText, uintptr_t itemData) = 0;
    virtual void setFileRowText(int position, int column, const char* text) = 0;
    virtual int firstSelectedFileRow() = 0;  // −1: none
    virtual uintptr_t fileRowData(int position) = 0;

    // The exact values behind row `position`'s texts, for faces that show
    // more than the four columns (path, state, exact size). Called right
    // after the row's texts are set.
    virtual void setFileRowDetails(int /*position*/, const DeletedFile& /*file*/) {}

    // Every selected row in list order (the save of several files).
    virtual std::vector<int> selectedFileRows() {
        const int first = firstSelectedFileRow();
        return first < 0 ? std::vector<int>{} : std::vector<int>{first};
    }

    // Progress of long work: `done` of `total` (0: unknown) items examined
    // by a scan, free clusters read by a deep scan's pass, bytes written by
    // a save, or bytes of the disk passed by the search for lost volumes.
    // Faces that show none ignore it.
    enum class Work { Scan, Save, DeepPass, Search, Carving };
    virtual void showProgress(Work /*work*/, uint64_t /*done*/, uint64_t /*total*/) {}

    // Partition list: the selected row and the record it carries (null
    // when no row is selected or the row has none).
    virtual const PartitionRecord* selectedPartitionRecord() = 0;

    // Asks for a path to save to. The filter and default extension are
    // shown/applied as a save-file dialog would; replacing an existing file
    // must have been confirmed by the user. False: cancelled.
    virtual bool askSavePath(const FileFilter& filter, const char* defaultExtension,
                             std::string& path) = 0;
};

}  // namespace undelete
