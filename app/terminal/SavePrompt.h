// The save-path prompt that stands for the save-file dialog: a path line
// with the file-type filter shown, the rules of SavePath.h, and a question
// before an existing file is replaced.
#pragma once
#include <string>

#include "app/ShellView.h"
#include "app/terminal/EventLoop.h"

namespace undelete::terminal {

// On the user-interface thread: asks for a path until the user confirms
// one that may be written (true, `path` set) or cancels (false).
bool runSavePrompt(EventLoop& loop, const FileFilter& filter, const std::string& defaultExtension,
                   std::string& path);

}  // namespace undelete::terminal
