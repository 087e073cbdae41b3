// Texts shared by the scanners: the size text, the time text and the
// conversion of names stored as UTF-16 into the process's multibyte encoding.
#pragma once
#include <cstddef>
#include <cstdint>

namespace undelete {

// Puts the process into the multibyte encoding the program works in: code
// page 936 on Windows; UTF-8 elsewhere, whatever the environment's locale
// says (C.UTF-8 when the environment's codeset is not UTF-8). Returns false
// when no such locale can be had.
bool initProcessLocale();

// "%d B", "%0.1f KB", "%0.1f MB" or "%0.1f GB" of a byte count; the larger
// units drop the low bits before the division. `out` holds 20 bytes.
void formatSizeText(uint64_t n, char out[20]);

// "%d/%d/%d %02d:%02d:%02d"; `out` holds 25 bytes (longer results are cut).
void formatTimeText(int year, int month, int day, int hour, int minute, int second,
                    char out[25]);

// Converts `count` UTF-16 code units (stopping early at a zero unit) into
// the process's multibyte encoding, writing at most `maxTextBytes` bytes of
// whole characters followed by a zero byte; `out` must hold maxTextBytes + 1.
// Units that have no form in the encoding, and unpaired surrogates, become
// '?'. Returns the number of text bytes written.
size_t utf16ToMultibyte(const uint16_t* units, size_t count, char* out, size_t maxTextBytes);

}  // namespace undelete
