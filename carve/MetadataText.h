// Texts a file keeps about itself (a title, a date), turned into the
// process's encoding like every name the program shows, and trimmed.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace undelete {

enum class TextEncoding { Latin1, Utf8, Utf16LE, Utf16BE };

// At most kMetadataTextBytes of the text, cut at its first zero, without
// control characters or surrounding spaces; an encoding's byte-order mark
// (UTF-8, and UTF-16 of either order, which then wins) is honoured.
constexpr size_t kMetadataTextBytes = 256;
std::string metadataText(const uint8_t* bytes, size_t length, TextEncoding encoding);

// "YYYY-MM-DDTHH:MM:SS" from the fields, each checked to be a time that
// exists; empty otherwise. `zone` is appended as it is ("Z", "+02:00").
std::string isoTime(int year, int month, int day, int hour, int minute, int second,
                    const char* zone = "");

// From seconds since 1970-01-01 UTC ("…Z"); empty outside years 1980–2200.
std::string isoTimeFromUnix(int64_t seconds);

}  // namespace undelete
