#include "app/terminal/MessageBox.h"

#include <algorithm>
#include <vector>

#include "app/Language.h"
#include "app/terminal/Canvas.h"
#include "app/terminal/TextCells.h"

namespace undelete::terminal {
namespace {

std::string okText() {
    return std::string("[ ") + tr("确定") + " ]";
}

class MessageBoxLayer : public Layer {
public:
    explicit MessageBoxLayer(const std::string& text) : text_(text) {}

    void draw() override {
        const std::string ok = okText();
        const int okWidth = displayWidth(ok);
        const int maxWidth = std::max(okWidth + 4, COLS - 4);
        const int width = std::clamp(displayWidth(text_) + 6, 24, maxWidth);
        std::vector<std::string> lines = wrapToWidth(text_, width - 4);
        const int maxLines = std::max(1, LINES - 5);
        if (static_cast<int>(lines.size()) > maxLines) lines.resize(static_cast<size_t>(maxLines));
        const int height = static_cast<int>(lines.size()) + 4;  // frame, text, blank, button
        frame_ = {(LINES - height) / 2, (COLS - width) / 2, height, width};

        clearRect(frame_);
        drawFrame(frame_, attrOf(Look::Focus));
        int row = frame_.top + 1;
        for (const std::string& line : lines) drawText(row++, frame_.left + 2, line, width - 4);
        button_ = {frame_.top + height - 2, frame_.left + (width - okWidth) / 2, 1, okWidth};
        drawText(button_.top, button_.left, ok, okWidth, attrOf(Look::FocusedButton));
    }

    bool hitsButton(int row, int column) const { return button_.contains(row, column); }

private:
    std::string text_;
    Rect frame_;
    Rect button_;
};

}  // namespace

void runMessageBox(EventLoop& loop, const std::string& text) {
    MessageBoxLayer layer(text);
    loop.push(&layer);
    loop.paintNow();
    InputEvent event;
    while (loop.next(event)) {
        if (event.kind == InputEvent::Click) {
            if (layer.hitsButton(event.row, event.column)) break;
            continue;
        }
        const int key =
            event.kind == InputEvent::Character ? static_cast<int>(event.character) : event.key;
        if (isEnterKey(key) || key == ' ' || key == kKeyEscape) break;
    }
    loop.pop();
    loop.changed();
}

}  // namespace undelete::terminal
