#include "app/terminal/TerminalView.h"

#include <string>

#include "app/ScanShell.h"
#include "app/terminal/Canvas.h"
#include "app/terminal/MessageBox.h"
#include "app/terminal/SavePrompt.h"
#include "app/terminal/TextCells.h"

namespace undelete::terminal {
namespace {

const ControlId kTabOrder[] = {kPartitionList, kSaveButton, kFileList, kScanButton};

const char* const kHints = "Tab 切换   方向键 移动   空格 选择   Enter 按下按钮   F10 关闭";

// Columns of the bottom line, after the dialog's positions.
constexpr int kScannedLabelColumn = 1;
constexpr int kScannedCounterColumn = 12;
constexpr int kDeletedLabelColumn = 24;
constexpr int kDeletedCounterColumn = 36;
constexpr int kCounterWidth = 10;

std::string buttonText(const std::string& caption) {
    return "[ " + padToWidth(caption, 4) + " ]";
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
      files_(4, true),
      partitionColumns_(partitionColumns()),
      fileColumns_(fileColumns()),
      caption_(kScanCaption) {}

void TerminalView::setPartitions(std::vector<PartitionRow> rows) {
    partitionRows_ = std::move(rows);
    partitions_.clear();
    for (size_t i = 0; i < partitionRows_.size(); ++i) {
        const PartitionRow& row = partitionRows_[i];
        const int position = static_cast<int>(i);
        partitions_.insertRow(position, row.texts[0], static_cast<uintptr_t>(i));
        for (int column = 1; column < kPartitionColumns; ++column) {
            partitions_.setText(position, column, row.texts[static_cast<size_t>(column)]);
        }
    }
    loop_.changed();
}

void TerminalView::runDialog() {
    loop_.push(this);
    InputEvent event;
    while (loop_.next(event)) handle(event);
    loop_.pop();
}

// --- window operations ------------------------------------------------------

void TerminalView::runOnUiThread(const std::function<void()>& task) {
    queue_.run(task);
}

void TerminalView::showMessageBox(const char* text) {
    const std::string copy = text != nullptr ? text : "";
    queue_.run([&] { runMessageBox(loop_, copy); });
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
    loop_.changed();
}

void TerminalView::insertFileRow(int position, const char* numberText, uintptr_t itemData) {
    files_.insertRow(position, numberText != nullptr ? numberText : "", itemData);
    loop_.changed();
}

void TerminalView::setFileRowText(int position, int column, const char* text) {
    files_.setText(position, column, text != nullptr ? text : "");
    loop_.changed();
}

const PartitionRecord* TerminalView::selectedPartitionRecord() {
    const int row = partitions_.firstSelected();
    if (row < 0) return nullptr;
    const uintptr_t index = partitions_.itemData(row);
    return index < partitionRows_.size() ? &partitionRows_[index].record : nullptr;
}

bool TerminalView::askSavePath(const FileFilter& filter, const char* defaultExtension,
                               std::string& path) {
    return runSavePrompt(loop_, filter, defaultExtension != nullptr ? defaultExtension : "", path);
}

// --- drawing ------------------------------------------------------------------

DialogLayout TerminalView::currentLayout() const {
    return layoutDialog(LINES, COLS, partitions_.rowCount());
}

void TerminalView::draw() {
    const DialogLayout layout = currentLayout();
    if (!layout.fits) return;
    drawText(layout.hintRow, 1, kHints, COLS - 2, attrOf(Look::Hint));
    drawList(layout.partitions, partitions_, partitionColumns_, focus_ == kPartitionList);
    drawList(layout.files, files_, fileColumns_, focus_ == kFileList);
    drawBottomLine(layout);
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
    drawField(box.headerRow(), box.innerLeft(),
              sliceCells(formatRow(columns, columns.headers), left, width), width,
              attrOf(Look::Header));
    // Columns hidden to the left or right are hinted on the frame.
    if (left > 0) drawText(box.frame.top, box.frame.left + 1, "<", 1, frameAttr);
    if (left + width < content)
        drawText(box.frame.top, box.frame.left + box.frame.width - 2, ">", 1, frameAttr);

    std::vector<std::string> texts(static_cast<size_t>(model.columns()));
    for (int i = 0; i < box.pageRows(); ++i) {
        const int row = model.top() + i;
        if (row >= model.rowCount()) break;
        for (int c = 0; c < model.columns(); ++c)
            texts[static_cast<size_t>(c)] = model.text(row, c);
        attr_t attr = model.isSelected(row) ? attrOf(Look::Selected) : A_NORMAL;
        const bool cursorRow = focused && row == model.cursor();
        if (cursorRow) attr |= A_BOLD;
        const int screenRow = box.firstRow() + i;
        drawField(screenRow, box.innerLeft(), sliceCells(formatRow(columns, texts), left, width),
                  width, attr);
        if (cursorRow) drawText(screenRow, box.frame.left, ">", 1, frameAttr);
    }

    if (model.rowCount() > 0) {
        const std::string position =
            " " + std::to_string(model.cursor() + 1) + "/" + std::to_string(model.rowCount()) + " ";
        const int at = box.frame.left + box.frame.width - 2 - displayWidth(position);
        drawText(box.frame.top + box.frame.height - 1, at, position, displayWidth(position),
                 frameAttr);
    }
}

void TerminalView::drawBottomLine(const DialogLayout& layout) {
    const int row = layout.bottomRow;
    drawText(row, kScannedLabelColumn, "已扫描文件:", kScannedCounterColumn - kScannedLabelColumn);
    drawText(row, kScannedCounterColumn, std::to_string(scanned_), kCounterWidth);
    drawText(row, kDeletedLabelColumn, ",已删除文件:", kDeletedCounterColumn - kDeletedLabelColumn);
    drawText(row, kDeletedCounterColumn, std::to_string(deleted_), kCounterWidth);
    const auto button = [&](const Rect& rect, const std::string& caption, ControlId id) {
        drawField(rect.top, rect.left, buttonText(caption), rect.width,
                  attrOf(focus_ == id ? Look::FocusedButton : Look::Button));
    };
    button(layout.scanButton, caption_, kScanButton);
    button(layout.saveButton, "保存", kSaveButton);
}

// --- input ----------------------------------------------------------------------

void TerminalView::press(ControlId button) {
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
    if (key == kKeyTab || key == KEY_BTAB) {
        focus_ = nextInTabOrder(focus_, key == kKeyTab ? 1 : -1);
        loop_.changed();
        return;
    }
    if (focus_ == kPartitionList || focus_ == kFileList) {
        const bool partitions = focus_ == kPartitionList;
        const ListBox& box = partitions ? layout.partitions : layout.files;
        ListView list{partitions ? partitions_ : files_, box.pageRows(),
                      rowWidth(partitions ? partitionColumns_ : fileColumns_), box.innerWidth()};
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
    const int row = model.top() + offset;
    if (offset >= 0 && offset < box.pageRows() && row < model.rowCount()) {
        if (event.control) {
            model.toggleRow(row);
        } else {
            model.moveCursorTo(row, event.shift ? SelectMode::Extend : SelectMode::Replace);
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
