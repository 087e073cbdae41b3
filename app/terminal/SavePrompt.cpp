#include "app/terminal/SavePrompt.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/Language.h"
#include "app/terminal/Canvas.h"
#include "app/terminal/LineEditor.h"
#include "app/terminal/SavePath.h"
#include "app/terminal/TextCells.h"

namespace undelete::terminal {
namespace {

constexpr int kPromptHeight = 8;

// Cells of the labels' column: the widest label in the message language
// and a space.
int labelWidth() {
    int widest = 0;
    for (const char* label : {"文件夹:", "文件名:"}) widest = std::max(widest, displayWidth(tr(label)));
    return widest + 1;
}

void typeInto(LineEditor& editor, const std::string& text) {
    // Character by character, so whatever the editor refuses (control
    // characters from a name on the disk) is left out.
    for (const char32_t c : codePointsOf(text)) editor.insert(c);
}

class SavePromptLayer : public Layer {
public:
    // `fileCount` > 0: a folder for that many files is asked for instead of
    // a file name.
    SavePromptLayer(const std::string& extension, const std::string& initialName,
                    const std::string& folder, int fileCount = 0)
        : extension_(extension), editor_(kMaxSavePathBytes), folder_(folder), fileCount_(fileCount) {
        const char* home = std::getenv("HOME");
        home_ = home != nullptr ? home : "";
        typeInto(editor_, fileCount_ > 0 ? folder_ : initialName);
    }

    // True when the prompt is done; `accepted` then tells how.
    bool handle(const InputEvent& event, bool& accepted);
    const std::string& path() const { return pending_.path; }
    // A note about the file, shown whenever nothing is said about the path.
    void note(const std::string& text, bool warns) {
        note_ = text;
        noteWarns_ = warns;
        showNote();
    }

    void draw() override;
    bool cursorAt(int& row, int& column) const override {
        if (confirming_) return false;
        row = fieldRow_;
        column = fieldColumn_ + cursorCell_;
        return true;
    }

private:
    void showNote() {
        message_ = note_;
        noteCalm_ = !noteWarns_;
    }
    bool handleConfirm(int key, bool& accepted);
    bool submit(bool& accepted);
    void drawButtons(int row, int innerLeft, int innerWidth);

    std::string extension_;
    LineEditor editor_;
    std::string folder_;
    int fileCount_;
    std::string home_;
    std::string message_;
    std::string note_;
    bool noteWarns_ = false;
    bool noteCalm_ = false;  // the message is the note, and it warns of nothing
    bool confirming_ = false;
    SavePathResult pending_;

    // Where the last paint put things, for the cursor and for clicks.
    Rect frame_;
    int fieldRow_ = 0, fieldColumn_ = 0, cursorCell_ = 0;
    Rect okButton_, cancelButton_;
};

void SavePromptLayer::draw() {
    const int width = std::min(COLS - 4, 78);
    frame_ = {(LINES - kPromptHeight) / 2, (COLS - width) / 2, kPromptHeight, width};
    const int left = frame_.left + 2;
    const int inner = width - 4;
    const int labels = labelWidth();
    clearRect(frame_);
    drawFrame(frame_, attrOf(Look::Focus));
    drawText(frame_.top, frame_.left + 2,
             std::string(" ") + tr(fileCount_ > 0 ? "保存到文件夹" : "另存为") + " ", inner,
             attrOf(Look::Focus));

    int row = frame_.top + 1;
    if (fileCount_ > 0) {
        char text[96];
        std::snprintf(text, sizeof text, tr("把选中的 %d 个文件保存到:"), fileCount_);
        drawText(row++, left, text, inner);
    } else {
        drawText(row, left, tr("文件夹:"), labels);
        drawText(row++, left + labels, folder_, inner - labels);
    }

    drawText(row, left, tr(fileCount_ > 0 ? "文件夹:" : "文件名:"), labels);
    fieldRow_ = row++;
    fieldColumn_ = left + labels;
    drawText(fieldRow_, fieldColumn_, editor_.visible(inner - labels, cursorCell_),
             inner - labels, A_UNDERLINE);

    ++row;
    const attr_t messageAttr = attrOf(confirming_ || noteCalm_ ? Look::Header : Look::Error);
    std::vector<std::string> lines = wrapToWidth(message_, inner);
    if (lines.size() > 2) lines.resize(2);
    for (const std::string& line : lines) drawText(row++, left, line, inner, messageAttr);

    drawButtons(frame_.top + kPromptHeight - 2, left, inner);
}

void SavePromptLayer::drawButtons(int row, int innerLeft, int innerWidth) {
    const std::string ok = std::string("[ ") + tr(confirming_ ? "是(Y)" : "保存") + " ]";
    const std::string cancel = std::string("[ ") + tr(confirming_ ? "否(N)" : "取消") + " ]";
    const int okWidth = displayWidth(ok), cancelWidth = displayWidth(cancel);
    const int start = innerLeft + (innerWidth - okWidth - 2 - cancelWidth) / 2;
    okButton_ = {row, start, 1, okWidth};
    cancelButton_ = {row, start + okWidth + 2, 1, cancelWidth};
    drawText(row, okButton_.left, ok, okWidth,
             attrOf(confirming_ ? Look::Button : Look::FocusedButton));
    drawText(row, cancelButton_.left, cancel, cancelWidth,
             attrOf(confirming_ ? Look::FocusedButton : Look::Button));
}

bool SavePromptLayer::submit(bool& accepted) {
    noteCalm_ = false;  // what is said now is about the path
    if (fileCount_ > 0) {
        pending_ = checkSaveFolder(editor_.text(), home_, fileSystemProbe());
        accepted = pending_.check == SaveCheck::Ready;
        message_ = savePathMessage(pending_);
        return accepted;
    }
    pending_ = checkSavePath(inFolder(folder_, editor_.text()), extension_, home_,
                             fileSystemProbe());
    if (pending_.check == SaveCheck::Ready) {
        accepted = true;
        return true;
    }
    confirming_ = pending_.check == SaveCheck::NeedsConfirm;
    message_ = savePathMessage(pending_);
    return false;
}

bool SavePromptLayer::handleConfirm(int key, bool& accepted) {
    if (key == 'y' || key == 'Y') {
        accepted = true;
        return true;
    }
    // Anything that means no (and Enter, whose default is not to replace)
    // goes back to the path.
    if (key == 'n' || key == 'N' || key == kKeyEscape || isEnterKey(key)) {
        confirming_ = false;
        showNote();
    }
    return false;
}

bool SavePromptLayer::handle(const InputEvent& event, bool& accepted) {
    accepted = false;
    if (event.kind == InputEvent::Click) {
        if (okButton_.contains(event.row, event.column)) {
            return confirming_ ? handleConfirm('y', accepted) : submit(accepted);
        }
        if (cancelButton_.contains(event.row, event.column)) {
            if (confirming_) return handleConfirm('n', accepted);
            return true;
        }
        return false;
    }
    if (event.kind == InputEvent::Wheel) return false;
    if (event.kind == InputEvent::Character) {
        if (confirming_) return handleConfirm(static_cast<int>(event.character), accepted);
        editor_.insert(event.character);
        showNote();
        return false;
    }
    const int key = event.key;
    if (confirming_) return handleConfirm(key, accepted);
    if (key == kKeyEscape) return true;  // cancelled
    if (isEnterKey(key)) return submit(accepted);
    if (isBackspaceKey(key))
        editor_.backspace();
    else if (key == KEY_DC)
        editor_.deleteAhead();
    else if (key == KEY_LEFT)
        editor_.left();
    else if (key == KEY_RIGHT)
        editor_.right();
    else if (key == KEY_HOME)
        editor_.home();
    else if (key == KEY_END)
        editor_.end();
    else if (key == kKeyCtrlU)
        editor_.clear();
    else
        return false;
    showNote();
    return false;
}

bool runPrompt(EventLoop& loop, SavePromptLayer& layer, std::string& path) {
    loop.push(&layer);
    loop.paintNow();
    bool accepted = false;
    InputEvent event;
    while (loop.next(event)) {
        const bool done = layer.handle(event, accepted);
        loop.changed();
        if (done) break;
    }
    loop.pop();
    loop.changed();
    if (accepted && !loop.closing()) {
        path = layer.path();
        return true;
    }
    return false;
}

}  // namespace

bool runSavePrompt(EventLoop& loop, const std::string& defaultExtension,
                   const std::string& initialName, const std::string& folder,
                   const std::string& note, bool warns, std::string& path) {
    SavePromptLayer layer(defaultExtension, initialName, folder);
    layer.note(note, warns);
    return runPrompt(loop, layer, path);
}

bool runFolderPrompt(EventLoop& loop, int fileCount, const std::string& start,
                     std::string& folder) {
    SavePromptLayer layer(std::string(), std::string(), start, fileCount > 0 ? fileCount : 1);
    return runPrompt(loop, layer, folder);
}

}  // namespace undelete::terminal
