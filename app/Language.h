// The language of the Linux faces: the program's own texts are written in
// Chinese (the texts of the Windows dialog, which shows them as they are);
// the terminal and batch faces show each through tr(), which gives the
// text in the message language of the user's locale: Chinese for zh*,
// else the language's gettext catalogue, else English.
#pragma once
#include <functional>
#include <string>

namespace undelete {

// Looks up an environment variable; null when unset.
using EnvironmentLookup = std::function<const char*(const char*)>;

// True when the message language the environment names is Chinese, read as
// gettext reads it: the first of LC_ALL, LC_MESSAGES, LANG that is set
// names the locale; in a locale other than C or POSIX the first entry of
// LANGUAGE, when set, overrides it.
bool wantsChineseMessages(const EnvironmentLookup& environment);

// Chooses the message language from the process environment; once, at
// start, before any thread is made. `catalogueDir` holds
// LANG/LC_MESSAGES/undelete.mo. Does nothing on Windows.
void initLanguage(const std::string& catalogueDir);

// `text` (one of the program's Chinese texts) in the chosen language;
// `text` itself before initLanguage, on Windows, in a Chinese locale and
// when the catalogue has no translation. Safe on any thread; the result
// lives as long as the process.
const char* tr(const char* text);

// The system's text for `error` (an errno value) in the language of the
// messages around it: the user's locale's when the program speaks the
// user's language (Chinese, or a language with a catalogue), English
// (the C locale's) when the program falls back to English. Safe on any
// thread.
std::string systemErrorText(int error);

// The language whose catalogue gettext takes for the LANGUAGE list `list`
// ("de_DE:en"): the first entry, or its shorter forms (de_DE.UTF-8@euro,
// de_DE, de), for which `catalogueExists` holds; "" when none.
std::string catalogueLanguage(const std::string& list,
                              const std::function<bool(const std::string&)>& catalogueExists);

}  // namespace undelete
