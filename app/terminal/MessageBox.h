// A modal message with one "确定" button, or a question with two, drawn
// over the dialog. The dialog keeps running underneath: worker updates go
// on being shown.
#pragma once
#include <string>

#include "app/terminal/EventLoop.h"

namespace undelete::terminal {

// On the user-interface thread: shows `text` until the user dismisses it
// (Enter, Space, Escape or a click on the button) or closes the program.
void runMessageBox(EventLoop& loop, const std::string& text);

// On the user-interface thread: asks `question` with the buttons "是(Y)"
// and "否(N)"; true for yes (Y or a click on it). Everything else that
// ends the box (N, Enter, Escape, closing) means no.
bool runQuestionBox(EventLoop& loop, const std::string& question);

}  // namespace undelete::terminal
