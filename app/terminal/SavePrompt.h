// The save-path prompt that stands for the save-file dialog: a path line
// with the file-type filter shown, the rules of SavePath.h, and a question
// before an existing file is replaced.
#pragma once
#include <string>

#include "app/ShellView.h"
#include "app/terminal/EventLoop.h"

namespace undelete::terminal {

// On the user-interface thread: asks for a path until the user confirms
// one that may be written (true, `path` set) or cancels (false). The name
// field starts with `initialName` (the file's own name).
bool runSavePrompt(EventLoop& loop, const FileFilter& filter, const std::string& defaultExtension,
                   const std::string& initialName, std::string& path);

// On the user-interface thread: asks for an existing folder to save several
// files into, starting at the current folder. False: cancelled.
bool runFolderPrompt(EventLoop& loop, int fileCount, std::string& folder);

}  // namespace undelete::terminal
