// The save-path prompt that stands for the save-file dialog: the folder it
// starts in, a path line, the rules of SavePath.h, and a question before an
// existing file is replaced.
#pragma once
#include <string>

#include "app/ShellView.h"
#include "app/terminal/EventLoop.h"

namespace undelete::terminal {

// On the user-interface thread: asks for a path until the user confirms
// one that may be written (true, `path` set) or cancels (false). The name
// field starts with `initialName` (the file's own name); a relative path is
// taken inside `folder`. `note` (may be empty) is shown under the field
// until the user types: a warning when `warns`.
bool runSavePrompt(EventLoop& loop, const std::string& defaultExtension,
                   const std::string& initialName, const std::string& folder,
                   const std::string& note, bool warns, std::string& path);

// On the user-interface thread: asks for an existing folder to save several
// files into, starting at `start`. False: cancelled.
bool runFolderPrompt(EventLoop& loop, int fileCount, const std::string& start,
                     std::string& folder);

}  // namespace undelete::terminal
