// What the keys do in a focused list: the cursor moves with the arrows,
// Page Up/Down, Home and End (in a list of one selection the selection
// follows it; in one of several it stays, and Space toggles the cursor
// row; with Shift it stretches, with Ctrl it stays), Left and Right scroll
// columns that do not fit into view.
#pragma once
#include "app/terminal/ListModel.h"

namespace undelete::terminal {

// Codes that terminals report for Ctrl with the arrow keys; they differ by
// terminal, so they are looked up once the screen is up (−1: none).
struct ModifiedKeys {
    int controlUp = -1;
    int controlDown = -1;
    int controlHome = -1;
    int controlEnd = -1;
};

// Looks the codes up in the terminal's description.
ModifiedKeys lookUpModifiedKeys();

// Cells moved by one press of Left or Right.
constexpr int kSidewaysStep = 4;

struct ListView {
    ListModel& model;
    int pageRows;      // rows the list shows at once
    int contentWidth;  // cells of a whole row
    int visibleWidth;  // cells the list shows of it
};

// Applies `key` (a curses key code, or ' ' for Space) to the list. False
// when the key means nothing to a list.
bool applyListKey(ListView list, int key, const ModifiedKeys& modified);

}  // namespace undelete::terminal
