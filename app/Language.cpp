#include "app/Language.h"

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "common/Text.h"

#if defined(_WIN32) && !defined(UNDELETE_CP936_TEXTS)
#include <windows.h>

#include <unordered_map>
#endif

#if !defined(_WIN32)
#include <libintl.h>
#include <locale.h>
#include <sys/stat.h>

#include <clocale>
#include <cstdlib>
#endif

namespace undelete {
namespace {

#if !defined(_WIN32)
constexpr char kDomain[] = "undelete";

// Set once by initLanguage, before any thread reads it.
bool translating = false;
// The system's error texts are English (the C locale's): the program fell
// back to its English catalogue.
bool englishSystemTexts = true;
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

// The forms gettext tries for one LANGUAGE entry, longest first:
// language[_territory][.codeset][@modifier] down to the language alone.
std::vector<std::string> shorterForms(const std::string& entry) {
    std::vector<std::string> forms{entry};
    std::string rest = entry;
    for (const char mark : {'@', '.', '_'}) {
        const size_t at = rest.find(mark);
        if (at == std::string::npos) continue;
        rest.erase(at);
        if (!rest.empty() && rest != forms.back()) forms.push_back(rest);
    }
    return forms;
}

}  // namespace

std::string catalogueLanguage(const std::string& list,
                              const std::function<bool(const std::string&)>& catalogueExists) {
    size_t at = 0;
    while (at <= list.size()) {
        size_t end = list.find(':', at);
        if (end == std::string::npos) end = list.size();
        const std::string entry = list.substr(at, end - at);
        if (!entry.empty()) {
            for (const std::string& form : shorterForms(entry)) {
                if (catalogueExists(form)) return form;
            }
        }
        at = end + 1;
    }
    return std::string();
}

bool wantsChineseMessages(const EnvironmentLookup& environment) {
    const char* list = languageList(environment);
    while (list != nullptr && *list == ':') ++list;  // empty entries are skipped
    const char* name = list != nullptr && *list != '\0'
                           ? list
                           : firstSet(environment, {"LC_ALL", "LC_MESSAGES", "LANG"});
    return name != nullptr && std::strncmp(name, "zh", 2) == 0;
}

#if defined(UNDELETE_CP936_TEXTS)

void initLanguage(const std::string&) {}

const char* tr(const char* text) { return text; }

std::string systemErrorText(int error) { return std::strerror(error); }

#elif defined(_WIN32)

// The console program: its texts are UTF-8, English from the table made
// of the English catalogue unless the user's display language is Chinese.
namespace {

struct Translation {
    const char* text;
    const char* english;
};

const Translation kEnglish[] = {
#include "EnglishTexts.inc"
};

// Filled once by initLanguage, before any thread reads it.
std::unordered_map<std::string, const char*> english;

}  // namespace

void initLanguage(const std::string&) {
    if (PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_CHINESE) return;
    for (const Translation& entry : kEnglish) english.emplace(entry.text, entry.english);
}

const char* tr(const char* text) {
    if (english.empty() || text == nullptr || text[0] == '\0') return text;
    const auto found = english.find(text);
    return found == english.end() ? text : found->second;
}

std::string systemErrorText(int error) { return std::strerror(error); }

#else

void initLanguage(const std::string& catalogueDir) {
    const EnvironmentLookup environment = [](const char* name) { return std::getenv(name); };
    if (wantsChineseMessages(environment)) {
        // The texts are Chinese already; the system's own messages
        // (strerror) follow the locale.
        std::setlocale(LC_MESSAGES, "");
        englishSystemTexts = false;
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
    // The system's texts follow the LANGUAGE list too; they are left to it
    // only when the program speaks the user's language as well, so that an
    // English message never ends in another language's system error.
    const std::string language = catalogueLanguage(wanted, [&](const std::string& name) {
        struct stat st {};
        return ::stat((catalogueDir + "/" + name + "/LC_MESSAGES/undelete.mo").c_str(), &st) == 0;
    });
    englishSystemTexts = language.empty() || language.compare(0, 2, "en") == 0;
}

std::string systemErrorText(int error) {
    if (!englishSystemTexts) return std::strerror(error);
    // The C locale ignores LANGUAGE: its texts are the system's English.
    static const locale_t plain = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    if (plain == static_cast<locale_t>(nullptr)) return std::strerror(error);
    return ::strerror_l(error, plain);
}

const char* tr(const char* text) {
    // The empty msgid would give the catalogue's header.
    if (!translating || text == nullptr || text[0] == '\0') return text;
    return ::dgettext(kDomain, text);
}

#endif

}  // namespace undelete
