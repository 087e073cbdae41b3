// Drawing on the terminal: text cut to a width in cells, boxes and the few
// attributes the screens use. Everything goes to stdscr; a paint ends with
// one refresh.
#pragma once
#include <string>

#include "app/terminal/Curses.h"
#include "app/terminal/DialogLayout.h"

namespace undelete::terminal {

enum class Look {
    Normal,
    Focus,     // the frame of the focused list
    Selected,  // a selected row
    Button,
    FocusedButton,
    Header,
    Error,
    Hint,
};

// Sets up colours when the terminal has them; attributes alone otherwise.
void initLooks();
attr_t attrOf(Look look);

// Draws `text` at (row, column), clipped to `width` cells (and the screen).
void drawText(int row, int column, const std::string& text, int width, attr_t attr = A_NORMAL);
// Like drawText, padded with spaces to exactly `width` cells.
void drawField(int row, int column, const std::string& text, int width, attr_t attr = A_NORMAL);
// Blanks the rectangle.
void clearRect(const Rect& rect, attr_t attr = A_NORMAL);
enum class FrameStyle { Single, Double };

// A frame around the rectangle's edge; a double one marks the focused list.
void drawFrame(const Rect& rect, attr_t attr = A_NORMAL, FrameStyle style = FrameStyle::Single);

}  // namespace undelete::terminal
