#include "app/terminal/TerminalView.h"

#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/Language.h"
#include "app/ScanShell.h"
#include "app/terminal/Canvas.h"
#include "app/terminal/FilterPrompt.h"
#include "app/terminal/KeyHints.h"
#include "app/terminal/MessageBox.h"
#include "app/terminal/SavePrompt.h"
#include "app/terminal/TextCells.h"
#include "common/SizeText.h"
#include "scan/RowTexts.h"

namespace undelete::terminal {
namespace {

const ControlId kTabOrder[] = {kPartitionList, kSaveButton, kFileList, kScanButton};

const char* const kFoundMark = "(找到)";
const char* const kOfferSearch =
    "未找到分区表。\n要按引导扇区在整个磁盘上搜索丢失的分区吗？（在分区列表中按 F 也可搜索）";

// The scanner's two messages around its walk: information, shown on the
// status line, where they need no answer.
bool isPreparationMessage(const std::string& text) {
    return text == "程序正在准备初始化，可能需要很长时间才能响应" || text == "初始化已经成功完成";
}

std::string buttonText(const std::string& caption) {
    return "[ " + padToWidth(tr(caption.c_str()), 4) + " ]";
}

// A program text (through tr()) with the values put in.
std::string formatted(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
    if (length > 0) std::vsnprintf(&text[0], text.size() + 1, format, again);
    va_end(again);
    return text;
}

std::string saveLine(const SaveReport& report) {
    const std::string where =
        report.path.empty()
            ? formatted(tr("第 %llu 项"), static_cast<unsigned long long>(report.index))
            : report.path;
    if (report.outcome == SaveOutcome::Saved) {
        if (report.lostBytes == 0) {
            return formatted(tr("已保存 %s (%llu 字节)"), where.c_str(),
                             static_cast<unsigned long long>(report.bytes));
        }
        return formatted(tr("已保存 %s (%llu 字节，其中 %llu 字节无法读取，以零填充)"),
                         where.c_str(), static_cast<unsigned long long>(report.bytes),
                         static_cast<unsigned long long>(report.lostBytes));
    }
    const std::string reason = report.refused ? tr("拒绝写入正在读取的磁盘")
                               : report.error != 0 ? systemErrorText(report.error)
                                                   : tr("无法读取文件内容");
    return formatted(tr("未保存 %s: %s"), where.c_str(), reason.c_str());
}

// Where a save prompt starts: the user's home folder, else the current one.
std::string homeFolder() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') return home;
    std::vector<char> buffer(4096);
    return ::getcwd(buffer.data(), buffer.size()) != nullptr ? buffer.data() : "/";
}

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return std::string();
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

ControlId nextInTabOrder(ControlId current, int step) {
    constexpr int count = static_cast<int>(sizeof kTabOrder / sizeof kTabOrder[0]);
    int at = 0;
    for (int i = 0; i < count; ++i) {
        if (kTabOrder[i] == current) at = i;
    }
    return kTabOrder[((at + step) % count + count) % count];
}

TerminalView::TerminalView(EventLoop& loop, UiTaskQueue& queue)
    : loop_(loop),
      queue_(queue),
      partitions_(kPartitionColumns, false),
      files_(kFileColumns, true),
      saveFolder_(homeFolder()),
      caption_(kScanCaption) {}

void TerminalView::setPartitions(std::vector<PartitionRow> rows) {
    partitionRows_ = std::move(rows);
    fillPartitionList();
    // Enter scans the selected row, so one is selected from the start.
    partitions_.moveCursorTo(0, SelectMode::Replace);
}

void TerminalView::fillPartitionList() {
    partitions_.clear();
    for (size_t i = 0; i < partitionRows_.size(); ++i) {
        const PartitionRow& row = partitionRows_[i];
        const int position = static_cast<int>(i);
        partitions_.insertRow(position, row.texts[0], static_cast<uintptr_t>(i));
        // The words among the row's texts in the message language: the
        // active mark, a GPT type word, the mark of a found volume.
        std::string fileSystem = partitionFileSystemText(row.record);
        if (row.record.bootIndicator == 0x80) fileSystem += tr("(活动)");
        if (row.record.table == PartitionTableKind::Found) fileSystem += tr(kFoundMark);
        partitions_.setText(position, 1, fileSystem);
        partitions_.setText(position, 2, tr(row.texts[2].c_str()));
        for (int column = 3; column < kPartitionColumns - 1; ++column) {
            partitions_.setText(position, column, row.texts[static_cast<size_t>(column)]);
        }
        partitions_.setText(position, kPartitionColumns - 1,
                            binarySizeText(row.record.totalSectors, row.bytesPerSector));
    }
    partitionFits_ = partitionColumnFits(partitions_);
    loop_.changed();
}

std::vector<PartitionRow> TerminalView::tableRows() const {
    std::vector<PartitionRow> rows;
    for (const PartitionRow& row : partitionRows_) {
        if (row.record.table != PartitionTableKind::Found) rows.push_back(row);
    }
    return rows;
}

void TerminalView::showFoundRows(FoundRows found) {
    const int cursor = partitions_.cursor();
    partitionRows_ = tableRows();
    const size_t table = partitionRows_.size();
    for (PartitionRow& row : found.rows) partitionRows_.push_back(std::move(row));
    fillPartitionList();
    // The cursor stays where it was; on an empty list, the first found row.
    partitions_.moveCursorTo(std::max(cursor, 0), SelectMode::Replace);
    searchTotal_ = 0;
    const int count = static_cast<int>(partitionRows_.size() - table);
    status_ = found.stopped ? formatted(tr("搜索已停止：找到 %d 个分区表以外的分区"), count)
              : count == 0  ? std::string(tr("没有找到分区表以外的分区"))
                            : formatted(tr("找到 %d 个分区表以外的分区，已加在分区列表末尾"), count);
    loop_.changed();
}

void TerminalView::runDialog() {
    loop_.push(this);
    if (offerSearch_) {
        offerSearch_ = false;
        if (askYesNo(kOfferSearch) && onCommand_) onCommand_(kSearchCommand);
    }
    InputEvent event;
    while (loop_.next(event)) handle(event);
    loop_.pop();
}

// --- window operations ------------------------------------------------------

void TerminalView::runOnUiThread(const std::function<void()>& task) {
    queue_.run(task);
}

void TerminalView::showMessageBox(const char* text) {
    const std::string original = text != nullptr ? text : "";
    const std::string copy = tr(original.c_str());
    if (isPreparationMessage(original)) {
        queue_.run([&] {
            status_ = copy;
            loop_.changed();
        });
        return;
    }
    queue_.run([&] { runMessageBox(loop_, copy); });
}

bool TerminalView::askYesNo(const char* question) {
    return runQuestionBox(loop_, tr(question));
}

void TerminalView::setScanCaption(const char* caption) {
    caption_ = caption != nullptr ? caption : "";
    loop_.changed();
}

void TerminalView::setCounter(ControlId counter, unsigned value) {
    if (counter == kScannedCounter) scanned_ = value;
    if (counter == kDeletedCounter) deleted_ = value;
    loop_.changed();
}

void TerminalView::clearFileRows() {
    files_.clear();
    details_.clear();
    loop_.changed();
}

void TerminalView::insertFileRow(int position, const char* numberText, uintptr_t itemData) {
    files_.insertRow(position, numberText != nullptr ? numberText : "", itemData);
    const size_t at = std::min(static_cast<size_t>(std::max(position, 0)), details_.size());
    details_.insert(details_.begin() + static_cast<long>(at), DeletedFile{});
    loop_.changed();
}

void TerminalView::setFileRowDetails(int position, const DeletedFile& file) {
    if (position < 0 || static_cast<size_t>(position) >= details_.size()) return;
    details_[static_cast<size_t>(position)] = file;
    files_.setText(position, 3, binarySizeText(file.size));
    files_.setText(position, kStateColumn, tr(stateText(file.state)));
    files_.setText(position, kPathColumn, file.path);
    files_.setText(position, kOriginColumn, tr(originText(file.origin)));
    char deleted[25] = "";
    if (file.deletedAt != 0) {
        formatCreationTimeText(CreationTime::fileTime(file.deletedAt), zone_, deleted);
    }
    files_.setText(position, kDeletedColumn, deleted);
    files_.placeRow(position);
    loop_.changed();
}

void TerminalView::showProgress(Work work, uint64_t done, uint64_t total) {
    if (work == Work::Search) {
        searchDone_ = done;
        searchTotal_ = total;
        loop_.changed();
        return;
    }
    if (work == Work::Scan || work == Work::DeepPass || work == Work::Carving) {
        deepPass_ = work == Work::DeepPass;
        carving_ = work == Work::Carving;
        if (carving_) {
            done >>= 20;
            total >>= 20;
        }
        scanDone_ = done;
        scanTotal_ = total;
        loop_.changed();
        return;
    }
    // A save runs on this thread, so the screen is painted from here.
    status_ = formatted(tr("正在保存: %s / %s"), binarySizeText(done).c_str(),
                        binarySizeText(total).c_str());
    loop_.paintIfDue();
}

bool TerminalView::askSaveFolder(int fileCount, std::string& folder) {
    if (!runFolderPrompt(loop_, fileCount, saveFolder_, folder)) return false;
    saveFolder_ = folder;
    return true;
}

void TerminalView::reportSaves(const std::vector<SaveReport>& reports) {
    if (reports.empty()) return;
    if (reports.size() == 1) {
        status_ = saveLine(reports.front());
        loop_.changed();
        return;
    }
    int saved = 0;
    for (const SaveReport& report : reports) saved += report.outcome == SaveOutcome::Saved;
    std::string text = formatted(tr("已保存 %d 个文件，%d 个失败。"), saved,
                                 static_cast<int>(reports.size()) - saved);
    for (const SaveReport& report : reports) text += "\n" + saveLine(report);
    status_ = formatted(tr("已保存 %d 个文件，%d 个失败。"), saved,
                        static_cast<int>(reports.size()) - saved);
    runMessageBox(loop_, text);
}

void TerminalView::setFileRowText(int position, int column, const char* text) {
    files_.setText(position, column, text != nullptr ? text : "");
    loop_.changed();
}

std::vector<int> TerminalView::selectedFileRows() {
    std::vector<int> rows = files_.selectedRows();
    const int cursorRow = files_.rowAtLine(files_.cursor());
    if (rows.empty() && cursorRow >= 0) rows.push_back(cursorRow);
    return rows;
}

int TerminalView::firstSelectedFileRow() {
    const std::vector<int> rows = selectedFileRows();
    return rows.empty() ? -1 : rows.front();
}

const PartitionRecord* TerminalView::selectedPartitionRecord() {
    const int row = partitions_.firstSelected();
    if (row < 0) return nullptr;
    const uintptr_t index = partitions_.itemData(row);
    return index < partitionRows_.size() ? &partitionRows_[index].record : nullptr;
}

bool TerminalView::askSavePath(const FileFilter& /*filter*/, const char* defaultExtension,
                               std::string& path) {
    // The name field starts with the file's own name, in the folder used
    // last. A type filter means nothing on Linux: none is offered.
    const int row = firstSelectedFileRow();
    const std::string name = row >= 0 && static_cast<size_t>(row) < details_.size()
                                 ? details_[static_cast<size_t>(row)].name
                                 : std::string();
    const std::string note = saveNote_.empty() ? std::string() : tr(saveNote_.c_str());
    saveNote_.clear();
    if (!runSavePrompt(loop_, defaultExtension != nullptr ? defaultExtension : "", name,
                       saveFolder_, note, saveNoteWarns_, path)) {
        return false;
    }
    const std::string folder = folderOf(path);
    if (!folder.empty()) saveFolder_ = folder;
    return true;
}

// --- order and filter ---------------------------------------------------------

void TerminalView::applyOrder() {
    ListModel::RowBefore before;
    if (order_.key != SortKey::Row) {
        before = [this](int a, int b) {
            return fileBefore(details_[static_cast<size_t>(a)], details_[static_cast<size_t>(b)],
                              order_);
        };
    }
    ListModel::RowShown shown;
    if (!filter_.empty()) {
        shown = [this](int row) {
            return nameMatches(details_[static_cast<size_t>(row)].name, filter_);
        };
    }
    files_.setOrder(std::move(before), std::move(shown));
    loop_.changed();
}

void TerminalView::filterFiles(const DialogLayout& layout) {
    runFilterPrompt(loop_, layout.hintRow, filter_, [this](const std::string& text) {
        filter_ = text;
        applyOrder();
    });
    applyOrder();
}

bool TerminalView::handleFileListKey(int key, const DialogLayout& layout) {
    if (key == '/') {
        filterFiles(layout);
        return true;
    }
    SortKey sortKey;
    if (!sortKeyOf(key, sortKey)) return false;
    order_ = nextOrder(order_, sortKey);
    applyOrder();
    return true;
}

// --- drawing ------------------------------------------------------------------

DialogLayout TerminalView::currentLayout() const {
    return layoutDialog(LINES, COLS, partitions_.rowCount());
}

ColumnSet TerminalView::partitionColumns(const ListBox& box) const {
    return fitColumns(partitionFits_, box.innerWidth());
}

ColumnSet TerminalView::fileColumns(const ListBox& box) const {
    std::vector<ColumnFit> fits = fileColumnFits(files_.rowCount());
    if (order_.key != SortKey::Row) {
        // The sorted column's header carries the direction.
        const int column = order_.key == SortKey::Name    ? 1
                           : order_.key == SortKey::Time  ? 2
                           : order_.key == SortKey::Size  ? 3
                           : order_.key == SortKey::State   ? kStateColumn
                           : order_.key == SortKey::Deleted ? kDeletedColumn
                                                            : kPathColumn;
        fits[static_cast<size_t>(column)].header +=
            order_.descending ? "\xE2\x96\xBC" : "\xE2\x96\xB2";  // ▼ ▲
    }
    return fitColumns(fits, box.innerWidth());
}

void TerminalView::draw() {
    const DialogLayout layout = currentLayout();
    if (!layout.fits) return;
    drawHints(layout);
    drawList(layout.partitions, partitions_, partitionColumns(layout.partitions),
             focus_ == kPartitionList);
    const std::string searching = partitionListTitle();
    if (!searching.empty()) {
        drawText(layout.partitions.frame.top, layout.partitions.frame.left + 2, searching,
                 layout.partitions.frame.width - 4, attrOf(Look::Focus));
    }
    drawList(layout.files, files_, fileColumns(layout.files), focus_ == kFileList);
    const std::string title = fileListTitle();
    if (!title.empty()) {
        drawText(layout.files.frame.top, layout.files.frame.left + 2, title,
                 layout.files.frame.width - 4, attrOf(Look::Focus));
    }
    drawBottomLine(layout);
}

void TerminalView::drawHints(const DialogLayout& layout) {
    if (!status_.empty()) {
        drawText(layout.hintRow, 1, status_, COLS - 2, attrOf(Look::Header));
        return;
    }
    drawText(layout.hintRow, 1, hintLine(focus_, COLS - 2), COLS - 2, attrOf(Look::Hint));
}

std::string TerminalView::fileListTitle() const {
    std::string title;
    if (caption_ == kStopCaption && scanTotal_ > 0) {
        title += formatted(tr(carving_    ? " 已按内容查找 %llu/%llu MiB "
                              : deepPass_ ? " 已读空闲簇 %llu/%llu "
                                          : " 扫描进度 %llu/%llu "),
                           static_cast<unsigned long long>(scanDone_),
                           static_cast<unsigned long long>(scanTotal_));
    }
    if (!filter_.empty()) {
        title += formatted(tr(" 筛选: %s (%d/%d) "), filter_.c_str(), files_.lineCount(),
                           files_.rowCount());
    }
    return title;
}

std::string TerminalView::partitionListTitle() const {
    if (caption_ != kStopCaption || searchTotal_ == 0) return {};
    return formatted(tr(" 正在搜索分区 %llu/%llu MiB "),
                     static_cast<unsigned long long>(searchDone_ >> 20),
                     static_cast<unsigned long long>(searchTotal_ >> 20));
}

void TerminalView::drawList(const ListBox& box, ListModel& model, const ColumnSet& columns,
                            bool focused) {
    const int width = box.innerWidth();
    const int content = rowWidth(columns);
    model.scrollBy(0, box.pageRows());  // keeps the scroll position valid after a resize
    model.scrollSideways(0, content, width);
    const int left = model.leftCell();

    const attr_t frameAttr = attrOf(focused ? Look::Focus : Look::Normal);
    drawFrame(box.frame, frameAttr, focused ? FrameStyle::Double : FrameStyle::Single);
    drawField(box.headerRow(), box.innerLeft(), sliceCells(formatHeaders(columns), left, width),
              width,
              attrOf(Look::Header));
    // Columns hidden to the left or right are hinted on the frame.
    if (left > 0) drawText(box.frame.top, box.frame.left + 1, "<", 1, frameAttr);
    if (left + width < content)
        drawText(box.frame.top, box.frame.left + box.frame.width - 2, ">", 1, frameAttr);

    std::vector<std::string> texts(static_cast<size_t>(model.columns()));
    const int cursorLine = model.cursor();
    for (int i = 0; i < box.pageRows(); ++i) {
        const int line = model.top() + i;
        if (line >= model.lineCount()) break;
        const int row = model.rowAtLine(line);
        for (int c = 0; c < model.columns(); ++c)
            texts[static_cast<size_t>(c)] = model.text(row, c);
        attr_t attr = model.isSelected(row) ? attrOf(Look::Selected) : A_NORMAL;
        const bool cursorRow = focused && line == cursorLine;
        if (cursorRow) attr |= A_BOLD;
        const int screenRow = box.firstRow() + i;
        drawField(screenRow, box.innerLeft(), sliceCells(formatRow(columns, texts), left, width),
                  width, attr);
        if (cursorRow) drawText(screenRow, box.frame.left, ">", 1, frameAttr);
    }

    if (model.lineCount() > 0) {
        const std::string position = " " + std::to_string(cursorLine + 1) + "/" +
                                     std::to_string(model.lineCount()) + " ";
        const int at = box.frame.left + box.frame.width - 2 - displayWidth(position);
        drawText(box.frame.top + box.frame.height - 1, at, position, displayWidth(position),
                 frameAttr);
    }
}

void TerminalView::drawBottomLine(const DialogLayout& layout) {
    // The two counters as one sentence, left of the buttons.
    const std::string counters = formatted(tr("已扫描 %u 条记录，找到 %u 个已删除文件"), scanned_,
                                           deleted_);
    drawText(layout.bottomRow, 1, counters, layout.scanButton.left - 2);
    const auto button = [&](const Rect& rect, const std::string& caption, ControlId id) {
        drawField(rect.top, rect.left, buttonText(caption), rect.width,
                  attrOf(focus_ == id ? Look::FocusedButton : Look::Button));
    };
    button(layout.scanButton, caption_, kScanButton);
    button(layout.saveButton, "保存", kSaveButton);
}

// --- input ----------------------------------------------------------------------

void TerminalView::press(ControlId button) {
    // A save with nothing to act on says why instead of doing nothing.
    if (button == kSaveButton && selectedFileRows().empty()) {
        status_ = tr(files_.rowCount() == 0 ? "没有可保存的文件：请先扫描一个分区"
                                            : "没有选择文件：请在文件列表中移到一个文件");
        loop_.changed();
        return;
    }
    if (onCommand_) onCommand_(button);
    loop_.changed();
}

void TerminalView::handle(const InputEvent& event) {
    const DialogLayout layout = currentLayout();
    if (event.kind == InputEvent::Click || event.kind == InputEvent::Wheel) {
        handleClick(event, layout);
        return;
    }
    const int key =
        event.kind == InputEvent::Character ? static_cast<int>(event.character) : event.key;
    if (!status_.empty()) {
        status_.clear();  // read; the hints come back
        loop_.changed();
    }
    if (key == '?' || key == KEY_F(1)) {
        runMessageBox(loop_, keyHelp(focus_));
        return;
    }
    if (key == kKeyTab || key == KEY_BTAB) {
        focus_ = nextInTabOrder(focus_, key == kKeyTab ? 1 : -1);
        loop_.changed();
        return;
    }
    // Enter on a partition row scans it (the selection follows the cursor).
    if (focus_ == kPartitionList && isEnterKey(key)) {
        if (caption_ == kScanCaption && partitions_.firstSelected() >= 0) press(kScanButton);
        return;
    }
    // D on a partition row: the deeper scan, which reads free clusters too.
    if (focus_ == kPartitionList && (key == 'd' || key == 'D')) {
        if (caption_ == kScanCaption && partitions_.firstSelected() >= 0) press(kDeepScanCommand);
        return;
    }
    // C: carving, of the row, or of the whole disk when there is no row.
    if (focus_ == kPartitionList && (key == 'c' || key == 'C')) {
        if (caption_ == kScanCaption &&
            (partitions_.firstSelected() >= 0 || partitions_.lineCount() == 0)) {
            press(kCarveCommand);
        }
        return;
    }
    // F: the search for volumes no table names; 停止 ends it.
    if (focus_ == kPartitionList && (key == 'f' || key == 'F')) {
        if (caption_ == kScanCaption) press(kSearchCommand);
        return;
    }
    if (focus_ == kFileList && handleFileListKey(key, layout)) return;
    if (focus_ == kPartitionList || focus_ == kFileList) {
        const bool partitions = focus_ == kPartitionList;
        const ListBox& box = partitions ? layout.partitions : layout.files;
        ListView list{partitions ? partitions_ : files_, box.pageRows(),
                      rowWidth(partitions ? partitionColumns(box) : fileColumns(box)),
                      box.innerWidth()};
        if (applyListKey(list, key, modifiedKeys_)) loop_.changed();
        return;
    }
    // A focused button is pressed by Enter or Space; Escape, like every
    // other key, does nothing here.
    if (isEnterKey(key) || key == ' ') press(focus_);
}

bool TerminalView::clickList(const InputEvent& event, const ListBox& box, ListModel& model) {
    if (!box.frame.contains(event.row, event.column)) return false;
    if (event.kind == InputEvent::Wheel) {
        model.scrollBy(event.wheel * 3, box.pageRows());
        return true;
    }
    const int offset = event.row - box.firstRow();
    const int line = model.top() + offset;
    if (offset >= 0 && offset < box.pageRows() && line < model.lineCount()) {
        if (event.control) {
            model.toggleRow(line);
        } else {
            model.moveCursorTo(line, event.shift ? SelectMode::Extend : SelectMode::Replace);
        }
    }
    return true;
}

void TerminalView::handleClick(const InputEvent& event, const DialogLayout& layout) {
    if (clickList(event, layout.partitions, partitions_)) {
        if (event.kind == InputEvent::Click) focus_ = kPartitionList;
    } else if (clickList(event, layout.files, files_)) {
        if (event.kind == InputEvent::Click) focus_ = kFileList;
    } else if (event.kind == InputEvent::Click) {
        for (const auto& [rect, id] : {std::pair{layout.scanButton, kScanButton},
                                       std::pair{layout.saveButton, kSaveButton}}) {
            if (rect.contains(event.row, event.column)) {
                focus_ = id;
                loop_.changed();
                press(id);
                return;
            }
        }
    }
    loop_.changed();
}

}  // namespace undelete::terminal
