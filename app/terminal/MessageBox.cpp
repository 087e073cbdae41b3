#include "app/terminal/MessageBox.h"

#include <algorithm>
#include <vector>

#include "app/Language.h"
#include "app/terminal/Canvas.h"
#include "app/terminal/TextCells.h"

namespace undelete::terminal {
namespace {

std::string buttonText(const char* caption) {
    return std::string("[ ") + tr(caption) + " ]";
}

// The text and a row of buttons, the first focused.
class MessageBoxLayer : public Layer {
public:
    MessageBoxLayer(const std::string& text, std::vector<std::string> buttons)
        : text_(text), buttons_(std::move(buttons)), hits_(buttons_.size()) {}

    void draw() override {
        int buttonsWidth = 0;
        for (const std::string& button : buttons_) buttonsWidth += displayWidth(button) + 2;
        const int maxWidth = std::max(buttonsWidth + 4, COLS - 4);
        const int minWidth = std::min(std::max(24, buttonsWidth + 4), maxWidth);
        const int width = std::clamp(displayWidth(text_) + 6, minWidth, maxWidth);
        std::vector<std::string> lines = wrapToWidth(text_, width - 4);
        const int maxLines = std::max(1, LINES - 5);
        if (static_cast<int>(lines.size()) > maxLines) lines.resize(static_cast<size_t>(maxLines));
        const int height = static_cast<int>(lines.size()) + 4;  // frame, text, blank, buttons
        frame_ = {(LINES - height) / 2, (COLS - width) / 2, height, width};

        clearRect(frame_);
        drawFrame(frame_, attrOf(Look::Focus));
        int row = frame_.top + 1;
        for (const std::string& line : lines) drawText(row++, frame_.left + 2, line, width - 4);
        int column = frame_.left + (width - buttonsWidth + 2) / 2;
        for (size_t i = 0; i < buttons_.size(); ++i) {
            const int buttonWidth = displayWidth(buttons_[i]);
            hits_[i] = {frame_.top + height - 2, column, 1, buttonWidth};
            drawText(hits_[i].top, column, buttons_[i], buttonWidth,
                     attrOf(i == 0 ? Look::FocusedButton : Look::Button));
            column += buttonWidth + 2;
        }
    }

    // The button at a cell, or −1.
    int buttonAt(int row, int column) const {
        for (size_t i = 0; i < hits_.size(); ++i) {
            if (hits_[i].contains(row, column)) return static_cast<int>(i);
        }
        return -1;
    }

private:
    std::string text_;
    std::vector<std::string> buttons_;
    Rect frame_;
    std::vector<Rect> hits_;
};

int keyOf(const InputEvent& event) {
    return event.kind == InputEvent::Character ? static_cast<int>(event.character) : event.key;
}

// Shows `layer` until `answer` gives a result (≥ 0) for an event, or the
// program closes (−1).
template <typename Answer>
int runBox(EventLoop& loop, MessageBoxLayer& layer, Answer answer) {
    loop.push(&layer);
    loop.paintNow();
    int result = -1;
    InputEvent event;
    while (result < 0 && loop.next(event)) result = answer(event);
    loop.pop();
    loop.changed();
    return result;
}

}  // namespace

void runMessageBox(EventLoop& loop, const std::string& text) {
    MessageBoxLayer layer(text, {buttonText("确定")});
    runBox(loop, layer, [&](const InputEvent& event) {
        if (event.kind == InputEvent::Click) return layer.buttonAt(event.row, event.column);
        const int key = keyOf(event);
        return isEnterKey(key) || key == ' ' || key == kKeyEscape ? 0 : -1;
    });
}

bool runQuestionBox(EventLoop& loop, const std::string& question) {
    // "No" is focused: Enter must not be the way into writing onto the disk.
    MessageBoxLayer layer(question, {buttonText("否(N)"), buttonText("是(Y)")});
    constexpr int kNo = 0, kYes = 1;
    return runBox(loop, layer, [&](const InputEvent& event) {
               if (event.kind == InputEvent::Click) return layer.buttonAt(event.row, event.column);
               const int key = keyOf(event);
               if (key == 'y' || key == 'Y') return kYes;
               return key == 'n' || key == 'N' || isEnterKey(key) || key == kKeyEscape ? kNo : -1;
           }) == kYes;
}

}  // namespace undelete::terminal
