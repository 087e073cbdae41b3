#include "app/Language.h"

#include <cstring>
#include <initializer_list>

#if !defined(_WIN32)
#include <libintl.h>

#include <clocale>
#include <cstdlib>
#endif

namespace undelete {
namespace {

#if !defined(_WIN32)
constexpr char kDomain[] = "undelete";

// Set once by initLanguage, before any thread reads it.
bool translating = false;
#endif

const char* firstSet(const EnvironmentLookup& environment,
                     std::initializer_list<const char*> names) {
    for (const char* name : names) {
        const char* value = environment(name);
        if (value != nullptr && value[0] != '\0') return value;
    }
    return nullptr;
}

bool isPlainC(const char* locale) {
    return locale == nullptr || std::strcmp(locale, "C") == 0 || std::strcmp(locale, "POSIX") == 0;
}

// The LANGUAGE list when gettext would honour it, else null.
const char* languageList(const EnvironmentLookup& environment) {
    if (isPlainC(firstSet(environment, {"LC_ALL", "LC_MESSAGES", "LANG"}))) return nullptr;
    return firstSet(environment, {"LANGUAGE"});
}

}  // namespace

bool wantsChineseMessages(const EnvironmentLookup& environment) {
    const char* list = languageList(environment);
    while (list != nullptr && *list == ':') ++list;  // empty entries are skipped
    const char* name = list != nullptr && *list != '\0'
                           ? list
                           : firstSet(environment, {"LC_ALL", "LC_MESSAGES", "LANG"});
    return name != nullptr && std::strncmp(name, "zh", 2) == 0;
}

#if defined(_WIN32)

void initLanguage(const std::string&) {}

const char* tr(const char* text) { return text; }

#else

void initLanguage(const std::string& catalogueDir) {
    const EnvironmentLookup environment = [](const char* name) { return std::getenv(name); };
    if (wantsChineseMessages(environment)) {
        // The texts are Chinese already; the system's own messages
        // (strerror) follow the locale.
        std::setlocale(LC_MESSAGES, "");
        return;
    }
    // gettext finds a catalogue by the LANGUAGE list, which it ignores in
    // the C locale: the messages category gets C.UTF-8, and the list ends
    // in English, so a language nobody has translated yet reads English.
    const char* list = languageList(environment);
    const char* locale = firstSet(environment, {"LC_ALL", "LC_MESSAGES", "LANG"});
    std::string wanted = list ? list : (isPlainC(locale) ? "" : locale);
    wanted += wanted.empty() ? "en" : ":en";
    ::setenv("LANGUAGE", wanted.c_str(), 1);
    if (std::setlocale(LC_MESSAGES, "C.UTF-8") == nullptr) std::setlocale(LC_MESSAGES, "C.utf8");
    if (::bindtextdomain(kDomain, catalogueDir.c_str()) == nullptr) return;
    ::bind_textdomain_codeset(kDomain, "UTF-8");
    translating = true;
}

const char* tr(const char* text) {
    // The empty msgid would give the catalogue's header.
    if (!translating || text == nullptr || text[0] == '\0') return text;
    return ::dgettext(kDomain, text);
}

#endif

}  // namespace undelete
