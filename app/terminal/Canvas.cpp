#include "app/terminal/Canvas.h"

#include "app/terminal/TextCells.h"

namespace undelete::terminal {
namespace {

bool colours = false;

enum Pair : short { kFocusPair = 1, kSelectedPair, kErrorPair, kButtonPair, kHintPair };

void put(int row, int column, const std::string& text, attr_t attr) {
    if (row < 0 || row >= LINES || column < 0 || column >= COLS) return;
    attrset(attr);
    mvaddstr(row, column, text.c_str());
    attrset(A_NORMAL);
}

}  // namespace

void initLooks() {
    colours = has_colors() && start_color() == OK;
    if (!colours) return;
    use_default_colors();
    init_pair(kFocusPair, COLOR_YELLOW, -1);
    init_pair(kSelectedPair, COLOR_BLACK, COLOR_CYAN);
    init_pair(kErrorPair, COLOR_RED, -1);
    init_pair(kButtonPair, COLOR_BLACK, COLOR_YELLOW);
    init_pair(kHintPair, COLOR_CYAN, -1);
}

attr_t attrOf(Look look) {
    switch (look) {
    case Look::Normal: return A_NORMAL;
    case Look::Focus: return A_BOLD | (colours ? COLOR_PAIR(kFocusPair) : 0);
    case Look::Selected: return colours ? COLOR_PAIR(kSelectedPair) : A_REVERSE;
    case Look::Button: return A_NORMAL;
    case Look::FocusedButton: return A_BOLD | (colours ? COLOR_PAIR(kButtonPair) : A_REVERSE);
    case Look::Header: return A_BOLD;
    case Look::Error: return A_BOLD | (colours ? COLOR_PAIR(kErrorPair) : 0);
    case Look::Hint: return colours ? COLOR_PAIR(kHintPair) : A_DIM;
    }
    return A_NORMAL;
}

void drawText(int row, int column, const std::string& text, int width, attr_t attr) {
    if (column < 0 || column >= COLS) return;
    if (width > COLS - column) width = COLS - column;
    if (width <= 0) return;
    put(row, column, clipToWidth(text, width), attr);
}

void drawField(int row, int column, const std::string& text, int width, attr_t attr) {
    if (column < 0 || column >= COLS) return;
    if (width > COLS - column) width = COLS - column;
    if (width <= 0) return;
    put(row, column, padToWidth(text, width), attr);
}

void clearRect(const Rect& rect, attr_t attr) {
    for (int r = rect.top; r < rect.top + rect.height; ++r) {
        drawField(r, rect.left, std::string(), rect.width, attr);
    }
}

void drawFrame(const Rect& rect, attr_t attr, FrameStyle style) {
    if (rect.width < 2 || rect.height < 2) return;
    struct Lines {
        const char *horizontal, *vertical, *topLeft, *topRight, *bottomLeft, *bottomRight;
    };
    static const Lines single{"\xE2\x94\x80", "\xE2\x94\x82", "\xE2\x94\x8C",
                              "\xE2\x94\x90", "\xE2\x94\x94", "\xE2\x94\x98"};  // ─│┌┐└┘
    static const Lines twice{"\xE2\x95\x90", "\xE2\x95\x91", "\xE2\x95\x94",
                             "\xE2\x95\x97", "\xE2\x95\x9A", "\xE2\x95\x9D"};  // ═║╔╗╚╝
    const Lines& l = style == FrameStyle::Double ? twice : single;
    std::string line;
    for (int i = 0; i < rect.width - 2; ++i) line += l.horizontal;
    const int bottom = rect.top + rect.height - 1;
    const int right = rect.left + rect.width - 1;
    put(rect.top, rect.left, l.topLeft + line + l.topRight, attr);
    put(bottom, rect.left, l.bottomLeft + line + l.bottomRight, attr);
    for (int r = rect.top + 1; r < bottom; ++r) {
        put(r, rect.left, l.vertical, attr);
        put(r, right, l.vertical, attr);
    }
}

}  // namespace undelete::terminal
