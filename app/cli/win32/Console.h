// The console program's side of Windows: its arguments and its standard
// output and error as UTF-8, whatever the console's code page.
#pragma once
#include <string>
#include <vector>

namespace undelete {

// The command line as UTF-8 (the program's name first). Asked of the wide
// command line: the narrow one is in the system's code page and loses
// every character it lacks.
std::vector<std::string> utf8Arguments();

// Standard output and error pass their bytes on unchanged ("\n" stays one
// byte, a saved file's content too), and a console shows them as UTF-8 for
// the run: its output code page is switched, and put back at exit, at a
// Ctrl-C that ends the program, or when the console closes.
void prepareConsole();

// Puts the console's output code page back as it was; safe to call more
// than once and from any thread.
void restoreConsole();

}  // namespace undelete
