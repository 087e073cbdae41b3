#include "app/terminal/FilterPrompt.h"

#include "app/Language.h"
#include "app/terminal/Canvas.h"
#include "app/terminal/LineEditor.h"
#include "app/terminal/TextCells.h"

namespace undelete::terminal {
namespace {

constexpr size_t kMaxFilterBytes = 255;

class FilterLayer : public Layer {
public:
    FilterLayer(int row, const std::string& text) : row_(row), editor_(kMaxFilterBytes) {
        for (const char32_t c : codePointsOf(text)) editor_.insert(c);
        label_ = std::string(tr("按名称筛选")) + " /";
    }

    void draw() override {
        const int labelWidth = displayWidth(label_) + 1;
        drawField(row_, 0, std::string(), COLS, attrOf(Look::Focus));
        drawText(row_, 1, label_, labelWidth, attrOf(Look::Focus));
        column_ = 1 + labelWidth;
        const int width = COLS - column_ - 1;
        drawText(row_, column_, editor_.visible(width, cell_), width, A_UNDERLINE);
    }
    bool cursorAt(int& row, int& column) const override {
        row = row_;
        column = column_ + cell_;
        return true;
    }

    LineEditor& editor() { return editor_; }

private:
    int row_;
    LineEditor editor_;
    std::string label_;
    int column_ = 0;
    int cell_ = 0;
};

// Applies an editing key; false when the key edits nothing.
bool edit(LineEditor& editor, int key) {
    if (isBackspaceKey(key))
        editor.backspace();
    else if (key == KEY_DC)
        editor.deleteAhead();
    else if (key == KEY_LEFT)
        editor.left();
    else if (key == KEY_RIGHT)
        editor.right();
    else if (key == KEY_HOME)
        editor.home();
    else if (key == KEY_END)
        editor.end();
    else if (key == kKeyCtrlU)
        editor.clear();
    else
        return false;
    return true;
}

}  // namespace

void runFilterPrompt(EventLoop& loop, int row, std::string& text,
                     const std::function<void(const std::string&)>& changed) {
    FilterLayer layer(row, text);
    loop.push(&layer);
    loop.paintNow();
    InputEvent event;
    while (loop.next(event)) {
        const std::string before = layer.editor().text();
        if (event.kind == InputEvent::Character) {
            layer.editor().insert(event.character);
        } else if (event.kind == InputEvent::Key) {
            if (isEnterKey(event.key)) break;
            if (event.key == kKeyEscape) {
                layer.editor().clear();
                changed(std::string());
                break;
            }
            edit(layer.editor(), event.key);
        }
        if (layer.editor().text() != before) changed(layer.editor().text());
        loop.changed();
    }
    text = layer.editor().text();
    loop.pop();
    loop.changed();
}

}  // namespace undelete::terminal
