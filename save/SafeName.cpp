#include "save/SafeName.h"

#include <cstdint>
#include <cstring>

#include "common/Text.h"

namespace undelete {
namespace {

constexpr size_t kMaxNameLength = 255;   // bytes; UTF-16 units for Windows
constexpr size_t kMaxKeptExtension = 32;  // a longer "extension" is cut like the rest

struct Character {
    size_t bytes = 1;
    size_t units = 1;  // UTF-16 units
    bool valid = true;
};

#if defined(UNDELETE_CP936_TEXTS)
// Code page 936: a lead byte 0x81–0xFE and a trail byte 0x40–0xFE other
// than 0x7F make one character; a trail byte may be '\\' or '|'.
Character characterAt(const std::string& text, size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x81 || lead == 0xFF) return {};
    if (at + 1 < text.size()) {
        const auto trail = static_cast<unsigned char>(text[at + 1]);
        if (trail >= 0x40 && trail <= 0xFE && trail != 0x7F) return {2, 1, true};
    }
    return {1, 1, false};
}
#else
// UTF-8, strictly: no overlong form, surrogate or value past U+10FFFF.
Character characterAt(const std::string& text, size_t at) {
    char32_t value = 0;
    const size_t length = decodeUtf8(text, at, value);
    if (length == 0) return {1, 1, false};
    return {length, length == 4 ? 2u : 1u, true};
}
#endif

size_t costOf(const Character& c, NameRules rules) {
    return rules == NameRules::Windows ? c.units : c.bytes;
}

size_t lengthOf(const std::string& text, NameRules rules) {
    size_t length = 0;
    for (size_t at = 0; at < text.size();) {
        const Character c = characterAt(text, at);
        length += costOf(c, rules);
        at += c.bytes;
    }
    return length;
}

// The longest run of whole characters from the start of `text` that is no
// longer than `room`.
std::string cutTo(const std::string& text, size_t room, NameRules rules) {
    size_t at = 0, used = 0;
    while (at < text.size()) {
        const Character c = characterAt(text, at);
        if (used + costOf(c, rules) > room) break;
        used += costOf(c, rules);
        at += c.bytes;
    }
    return text.substr(0, at);
}

bool refused(char c, NameRules rules) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || c == '/') return true;
    return rules != NameRules::Posix && std::strchr("\\:*?\"<>|", c) != nullptr;
}

// The extension kept when a name is cut or numbered: from its last dot,
// unless the dot leads the name or what follows is too long to be one.
size_t extensionAt(const std::string& name, NameRules rules) {
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return name.size();
    return lengthOf(name.substr(dot), rules) <= kMaxKeptExtension ? dot : name.size();
}

// Windows opens a device for CON, NUL.txt, "com1 .log" …: its base (up to
// the first dot, trailing blanks aside) names one, in any case.
bool namesDevice(const std::string& name) {
    std::string base = name.substr(0, name.find('.'));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    for (char& c : base) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
        if (base == device) return true;
    }
    return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
           base[3] >= '1' && base[3] <= '9';
}

// Windows drops trailing dots and blanks, so "a." would land on "a".
void markTrailing(std::string& name) {
    for (size_t i = name.size(); i > 0 && (name[i - 1] == '.' || name[i - 1] == ' '); --i) {
        name[i - 1] = '_';
    }
}

}  // namespace

std::string safeName(const std::string& name, NameRules rules) {
    std::string out;
    for (size_t at = 0; at < name.size();) {
        const Character c = characterAt(name, at);
        if (!c.valid || (c.bytes == 1 && refused(name[at], rules))) {
            out += '_';
        } else {
            out.append(name, at, c.bytes);
        }
        at += c.bytes;
    }
    if (out == "." || out == "..") return std::string();
    if (rules == NameRules::Windows && namesDevice(out)) {
        const size_t dot = out.find('.');
        out.insert(dot == std::string::npos ? out.size() : dot, "_");
    }
    if (lengthOf(out, rules) > kMaxNameLength) {
        const size_t dot = extensionAt(out, rules);
        const std::string extension = out.substr(dot);
        out = cutTo(out.substr(0, dot), kMaxNameLength - lengthOf(extension, rules), rules) +
              extension;
    }
    if (rules == NameRules::Windows) markTrailing(out);
    return out;
}

std::string numberedName(const std::string& name, int n, bool beforeExtension, NameRules rules) {
    if (n == 0) return name;
    const size_t dot = beforeExtension ? extensionAt(name, rules) : name.size();
    const std::string tail = " (" + std::to_string(n) + ")" + name.substr(dot);
    return cutTo(name.substr(0, dot), kMaxNameLength - lengthOf(tail, rules), rules) + tail;
}

std::string nameWithin(const std::string& prefix, const std::string& name,
                       const std::string& suffix, NameRules rules) {
    const size_t fixed = lengthOf(prefix, rules) + lengthOf(suffix, rules);
    const size_t room = fixed < kMaxNameLength ? kMaxNameLength - fixed : 0;
    return prefix + cutTo(name, room, rules) + suffix;
}

}  // namespace undelete
