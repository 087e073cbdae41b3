// The one-line prompt of "/": narrows the file list by name as the user
// types. Enter keeps the filter; Escape clears it.
#pragma once
#include <functional>
#include <string>

#include "app/terminal/EventLoop.h"

namespace undelete::terminal {

// On the user-interface thread. `text` starts as the current filter and
// ends as the one to keep; `changed` is called with every new text.
void runFilterPrompt(EventLoop& loop, int row, std::string& text,
                     const std::function<void(const std::string&)>& changed);

}  // namespace undelete::terminal
