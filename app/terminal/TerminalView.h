// The dialog on a terminal: the window operations the shell logic calls,
// kept as list models and counters that the dialog screen draws, and the
// keys and clicks of the dialog turned into focus moves, list moves and
// the two commands.
#pragma once
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/ScanShell.h"
#include "app/ShellView.h"
#include "app/terminal/DialogLayout.h"
#include "app/terminal/EventLoop.h"
#include "app/terminal/FileOrder.h"
#include "app/terminal/ListColumns.h"
#include "app/terminal/ListKeys.h"
#include "app/terminal/ListModel.h"
#include "partition/PartitionRows.h"

namespace undelete::terminal {

// The tab order of the dialog's controls: partition list, "保存", file
// list, "扫描". `step` is +1 (Tab) or −1 (Shift-Tab).
ControlId nextInTabOrder(ControlId current, int step);

class TerminalView : public ShellView, private Layer {
public:
    using CommandHandler = std::function<void(ControlId command)>;

    TerminalView(EventLoop& loop, UiTaskQueue& queue);

    // Fills the partition list (once, before the dialog runs).
    void setPartitions(std::vector<PartitionRow> rows);
    // The rows the table gave, without the found ones.
    std::vector<PartitionRow> tableRows() const;
    // Replaces the found rows with those of a search that has ended, marked
    // in the file-system column, and says on the top line what it found.
    void showFoundRows(FoundRows found);
    // Asks, once the dialog is shown, whether to search for lost volumes
    // (sector 0 holds no table and no volume).
    void offerSearchAtStart() { offerSearch_ = true; }
    void setCommandHandler(CommandHandler handler) { onCommand_ = std::move(handler); }
    void setModifiedKeys(const ModifiedKeys& keys) { modifiedKeys_ = keys; }
    // The zone the deletion times are shown in (the shell's, for the others).
    void setZone(LocalZone zone) { zone_ = std::move(zone); }

    // Shows the dialog and handles its events until the user closes it.
    void runDialog();

    // The save of several rows: asks for the folder (false: cancelled), and
    // tells how each save went.
    bool askSaveFolder(int fileCount, std::string& folder);
    // Shown in the next save-path prompt, under its field (translated there).
    void setSaveNote(const char* text, bool warns) {
        saveNote_ = text != nullptr ? text : "";
        saveNoteWarns_ = warns;
    }
    void reportSaves(const std::vector<SaveReport>& reports);

    // ShellView
    void runOnUiThread(const std::function<void()>& task) override;
    void showMessageBox(const char* text) override;
    bool askYesNo(const char* question) override;
    void setScanCaption(const char* caption) override;
    std::string scanCaption() override { return caption_; }
    void setCounter(ControlId counter, unsigned value) override;
    void clearFileRows() override;
    void insertFileRow(int position, const char* numberText, uintptr_t itemData) override;
    void setFileRowText(int position, int column, const char* text) override;
    void setFileRowDetails(int position, const DeletedFile& file) override;
    // What a save acts on: the selected rows, else the row under the cursor.
    int firstSelectedFileRow() override;
    std::vector<int> selectedFileRows() override;
    uintptr_t fileRowData(int position) override { return files_.itemData(position); }
    void showProgress(Work work, uint64_t done, uint64_t total) override;
    const PartitionRecord* selectedPartitionRecord() override;
    bool askSavePath(const FileFilter& filter, const char* defaultExtension,
                     std::string& path) override;

private:
    void draw() override;
    void drawList(const ListBox& box, ListModel& model, const ColumnSet& columns, bool focused);
    void drawBottomLine(const DialogLayout& layout);
    void drawHints(const DialogLayout& layout);
    std::string fileListTitle() const;
    std::string partitionListTitle() const;
    void fillPartitionList();

    void applyOrder();
    void filterFiles(const DialogLayout& layout);
    bool handleFileListKey(int key, const DialogLayout& layout);

    void handle(const InputEvent& event);
    void handleClick(const InputEvent& event, const DialogLayout& layout);
    bool clickList(const InputEvent& event, const ListBox& box, ListModel& model);
    void press(ControlId button);

    DialogLayout currentLayout() const;
    // The columns of each list as they fit its box now.
    ColumnSet partitionColumns(const ListBox& box) const;
    ColumnSet fileColumns(const ListBox& box) const;

    EventLoop& loop_;
    UiTaskQueue& queue_;
    std::vector<PartitionRow> partitionRows_;
    ListModel partitions_;
    ListModel files_;
    std::vector<ColumnFit> partitionFits_;  // from the rows' texts, set once
    std::vector<DeletedFile> details_;  // of each file row, by position
    FileOrder order_;
    LocalZone zone_;
    std::string filter_;
    std::string saveFolder_;  // where the next save prompt starts: the last folder used
    std::string status_;  // shown instead of the key hints until the next key
    uint64_t scanDone_ = 0, scanTotal_ = 0;
    bool deepPass_ = false;  // the progress is a deep scan's pass over free clusters
    bool carving_ = false;   // the progress is the carving pass's, in bytes
    uint64_t searchDone_ = 0, searchTotal_ = 0;  // bytes of the disk, while a search runs
    bool offerSearch_ = false;
    std::string saveNote_;
    bool saveNoteWarns_ = false;
    std::string caption_;
    unsigned scanned_ = 0;
    unsigned deleted_ = 0;
    ControlId focus_ = kPartitionList;
    CommandHandler onCommand_;
    ModifiedKeys modifiedKeys_;
};

}  // namespace undelete::terminal
