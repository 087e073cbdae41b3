#include "common/Text.h"

#include <algorithm>
#include <climits>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <initializer_list>

#if defined(_WIN32)
#include <windows.h>
#else
#include <langinfo.h>
#endif

namespace undelete {

bool initProcessLocale() {
#if defined(UNDELETE_CP936_TEXTS)
    return std::setlocale(LC_ALL, "chs") != nullptr;
#elif defined(_WIN32)
    // UTF-8 is converted here by hand: the C library's locales have no
    // UTF-8 on Windows, and the C locale keeps numbers plain.
    return true;
#else
    // Only the character type comes from the environment: numbers keep the
    // C locale's decimal point ("8.0 KB" under a German locale too).
    if (std::setlocale(LC_CTYPE, "") != nullptr) {
        const char* codeset = nl_langinfo(CODESET);
        if (codeset != nullptr && std::strcmp(codeset, "UTF-8") == 0) return true;
    }
    for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"}) {
        if (std::setlocale(LC_CTYPE, name) != nullptr) return true;
    }
    return false;
#endif
}

namespace {

// Next code point of a UTF-16 sequence; unpaired surrogates give '?'.
char32_t nextCodePoint(const uint16_t* units, size_t count, size_t& i) {
    const uint16_t u = units[i++];
    if (u >= 0xD800 && u <= 0xDBFF) {
        if (i < count && units[i] >= 0xDC00 && units[i] <= 0xDFFF) {
            const uint16_t low = units[i++];
            return 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (low - 0xDC00);
        }
        return U'?';
    }
    if (u >= 0xDC00 && u <= 0xDFFF) return U'?';
    return u;
}

#if defined(_WIN32) && !defined(UNDELETE_CP936_TEXTS)
size_t encodeUtf8(char32_t cp, char (&out)[4]) {
    if (cp < 0x80) {
        out[0] = static_cast<char>(cp);
        return 1;
    }
    if (cp < 0x800) {
        out[0] = static_cast<char>(0xC0 | (cp >> 6));
        out[1] = static_cast<char>(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (cp >> 12));
        out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (cp & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (cp >> 18));
    out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (cp & 0x3F));
    return 4;
}

// UTF-8 written directly, supplementary characters included, as on Linux.
template <typename Take>
void forEachCharacter(const uint16_t* units, size_t count, Take take) {
    size_t i = 0;
    while (i < count && units[i] != 0) {
        char piece[4];
        const size_t len = encodeUtf8(nextCodePoint(units, count, i), piece);
        if (!take(piece, len)) return;
    }
}
#else
// Calls `take(piece, length)` for each character's multibyte form until it
// returns false.
template <typename Take>
void forEachCharacter(const uint16_t* units, size_t count, Take take) {
    std::mbstate_t state{};
    size_t i = 0;
    while (i < count && units[i] != 0) {
        char32_t cp = nextCodePoint(units, count, i);
        // A 16-bit wchar_t cannot carry a supplementary character; the
        // Windows code page has no form for one either.
        if (cp > WCHAR_MAX) cp = U'?';
        // ASCII is itself in every narrow encoding this program runs under
        // (UTF-8, code page 936), outside a shift state.
        if (cp < 0x80 && std::mbsinit(&state)) {
            const char ascii = static_cast<char>(cp);
            if (!take(&ascii, 1)) return;
            continue;
        }
        char piece[MB_LEN_MAX];
        size_t len = std::wcrtomb(piece, static_cast<wchar_t>(cp), &state);
        if (len == static_cast<size_t>(-1)) {
            state = std::mbstate_t{};
            piece[0] = '?';
            len = 1;
        }
        if (!take(piece, len)) return;
    }
}
#endif

}  // namespace

size_t utf16ToMultibyte(const uint16_t* units, size_t count, char* out, size_t maxTextBytes) {
    size_t written = 0;
    forEachCharacter(units, count, [&](const char* piece, size_t len) {
        if (len > maxTextBytes - written) return false;  // never a partial character
        std::memcpy(out + written, piece, len);
        written += len;
        return true;
    });
    out[written] = '\0';
    return written;
}

std::string utf16ToText(const uint16_t* units, size_t count) {
    std::string text;
    forEachCharacter(units, count, [&](const char* piece, size_t len) {
        text.append(piece, len);
        return true;
    });
    return text;
}

size_t wholeCharacterPrefix(const std::string& text, size_t maxBytes) {
    if (text.size() <= maxBytes) return text.size();  // what the walk would take
#if defined(_WIN32) && !defined(UNDELETE_CP936_TEXTS)
    size_t at = 0;
    while (at < text.size()) {
        char32_t cp = 0;
        const size_t len = std::max<size_t>(decodeUtf8(text, at, cp), 1);
        if (len > maxBytes - at) break;
        at += len;
    }
    return at;
#else
    std::mbstate_t state{};
    size_t at = 0;
    while (at < text.size()) {
        size_t len = std::mbrlen(text.data() + at, text.size() - at, &state);
        if (len == 0 || len == static_cast<size_t>(-1) || len == static_cast<size_t>(-2)) {
            state = std::mbstate_t{};
            len = 1;
        }
        if (len > maxBytes - at) break;
        at += len;
    }
    return at;
#endif
}

size_t decodeUtf8(const std::string& text, size_t at, char32_t& cp) {
    if (at >= text.size()) return 0;
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const unsigned char lead = byte(0);
    size_t length;
    char32_t minimum;
    if (lead < 0x80) {
        cp = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, cp = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, cp = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, cp = lead & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    if (text.size() - at < length) return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (byte(i) & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return length;
}

#if defined(_WIN32)
namespace {
#if defined(UNDELETE_CP936_TEXTS)
constexpr UINT kNarrowCodePage = CP_ACP;
#else
constexpr UINT kNarrowCodePage = CP_UTF8;
#endif
}  // namespace

std::wstring wideText(const std::string& text) {
    const int n = MultiByteToWideChar(kNarrowCodePage, 0, text.c_str(), -1, nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(kNarrowCodePage, 0, text.c_str(), -1, &wide[0], n);
    wide.resize(static_cast<size_t>(n - 1));
    return wide;
}

std::string narrowText(const std::wstring& text) {
    const int n =
        WideCharToMultiByte(kNarrowCodePage, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return std::string();
    std::string narrow(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(kNarrowCodePage, 0, text.c_str(), -1, &narrow[0], n, nullptr, nullptr);
    narrow.resize(static_cast<size_t>(n - 1));
    return narrow;
}
#endif

}  // namespace undelete
