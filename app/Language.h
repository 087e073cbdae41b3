// The language of the Linux faces: the program's own texts are written in
// Chinese (the texts of the Windows dialog, which shows them as they are);
// the terminal and batch faces show each through tr(), which gives the
// text in the message language of the user's locale.
#pragma once

namespace undelete {

// Chooses the message language from the environment (LANGUAGE, LC_ALL,
// LC_MESSAGES, LANG); once, at start, before any thread is made.
void initLanguage();

// `text` in the chosen language; `text` itself when it has no translation.
const char* tr(const char* text);

}  // namespace undelete
