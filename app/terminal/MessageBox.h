// A modal message with one "确定" button, drawn over the dialog. The
// dialog keeps running underneath: worker updates go on being shown.
#pragma once
#include <string>

#include "app/terminal/EventLoop.h"

namespace undelete::terminal {

// On the user-interface thread: shows `text` until the user dismisses it
// (Enter, Space, Escape or a click on the button) or closes the program.
void runMessageBox(EventLoop& loop, const std::string& text);

}  // namespace undelete::terminal
