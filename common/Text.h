// The process's multibyte encoding and the conversions into it of names
// stored as UTF-16.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// The narrow texts and paths of a Windows program: code page 936 (the
// process code page of the systems the dialog is made for) unless the
// program is built for UTF-8 (the console program, UNDELETE_UTF8_TEXTS),
// whose texts must read the same on any system.
#if defined(_WIN32) && !defined(UNDELETE_UTF8_TEXTS)
#define UNDELETE_CP936_TEXTS 1
#endif

namespace undelete {

// Puts the process into the multibyte encoding the program works in: code
// page 936 on Windows; elsewhere the character type of UTF-8, whatever the
// environment's locale says (C.UTF-8 when the environment's codeset is not
// UTF-8), every other category left at C. Returns false when no such
// locale can be had.
bool initProcessLocale();

// Converts `count` UTF-16 code units (stopping early at a zero unit) into
// the process's multibyte encoding, writing at most `maxTextBytes` bytes of
// whole characters followed by a zero byte; `out` must hold maxTextBytes + 1.
// Units that have no form in the encoding, and unpaired surrogates, become
// '?'. Returns the number of text bytes written.
size_t utf16ToMultibyte(const uint16_t* units, size_t count, char* out, size_t maxTextBytes);

// The same conversion, whole.
std::string utf16ToText(const uint16_t* units, size_t count);

// The well-formed UTF-8 character at byte `at` of `text` (no overlong
// form, no surrogate, nothing past U+10FFFF, not cut by the text's end):
// its length in bytes, with its code point in `cp`; 0 when the byte at
// `at` starts none. Whatever the process's encoding.
size_t decodeUtf8(const std::string& text, size_t at, char32_t& cp);

// How many leading bytes of `text` make whole characters of the process's
// encoding within `maxBytes` (a byte that starts no character counts as one).
size_t wholeCharacterPrefix(const std::string& text, size_t maxBytes);

#if defined(_WIN32)
// `text` (narrow, in the program's encoding) for the system's wide
// functions; empty when it cannot be converted.
std::wstring wideText(const std::string& text);
// The program's narrow form of `text`.
std::string narrowText(const std::wstring& text);
#endif

}  // namespace undelete
