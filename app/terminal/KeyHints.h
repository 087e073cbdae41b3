// The keys of the focused part of the dialog: a line of short hints that
// fits the terminal's width (the help and close keys always on it), and
// the whole of them, which the help key shows.
#pragma once
#include <string>

#include "app/ShellView.h"

namespace undelete::terminal {

// The hint line for `focus` in the message language, at most `width`
// cells: whole hints only, as many as fit in their order, then "? 帮助"
// and "F10 关闭".
std::string hintLine(ControlId focus, int width);

// Every key of `focus`, one per line, in the message language.
std::string keyHelp(ControlId focus);

}  // namespace undelete::terminal
