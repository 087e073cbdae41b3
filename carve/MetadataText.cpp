#include "carve/MetadataText.h"

#include <cstdio>
#include <vector>

#include "common/Text.h"

namespace undelete {
namespace {

void appendUtf8(const uint8_t* bytes, size_t length, std::vector<uint16_t>& units) {
    const std::string text(reinterpret_cast<const char*>(bytes), length);
    for (size_t at = 0; at < text.size();) {
        char32_t cp = 0;
        const size_t n = decodeUtf8(text, at, cp);
        if (n == 0) {
            units.push_back(u'?');
            ++at;
            continue;
        }
        if (cp >= 0x10000) {
            units.push_back(static_cast<uint16_t>(0xD800 + ((cp - 0x10000) >> 10)));
            units.push_back(static_cast<uint16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            units.push_back(static_cast<uint16_t>(cp));
        }
        at += n;
    }
}

}  // namespace

std::string metadataText(const uint8_t* bytes, size_t length, TextEncoding encoding) {
    if (length >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        encoding = TextEncoding::Utf16LE;
        bytes += 2, length -= 2;
    } else if (length >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) {
        encoding = TextEncoding::Utf16BE;
        bytes += 2, length -= 2;
    } else if (length >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
        encoding = TextEncoding::Utf8;
        bytes += 3, length -= 3;
    }
    if (length > 4 * kMetadataTextBytes) length = 4 * kMetadataTextBytes;
    std::vector<uint16_t> units;
    if (encoding == TextEncoding::Utf16LE || encoding == TextEncoding::Utf16BE) {
        for (size_t i = 0; i + 1 < length; i += 2) {
            const bool le = encoding == TextEncoding::Utf16LE;
            units.push_back(static_cast<uint16_t>(le ? bytes[i] | bytes[i + 1] << 8
                                                     : bytes[i] << 8 | bytes[i + 1]));
        }
    } else if (encoding == TextEncoding::Utf8) {
        appendUtf8(bytes, length, units);
    } else {
        for (size_t i = 0; i < length; ++i) units.push_back(bytes[i]);
    }
    std::vector<uint16_t> kept;
    for (uint16_t unit : units) {
        if (unit == 0) break;
        kept.push_back(unit < 0x20 || unit == 0x7F ? u' ' : unit);
    }
    while (!kept.empty() && kept.back() == u' ') kept.pop_back();
    size_t first = 0;
    while (first < kept.size() && kept[first] == u' ') ++first;
    char out[kMetadataTextBytes + 1];
    utf16ToMultibyte(kept.data() + first, kept.size() - first, out, kMetadataTextBytes);
    return out;
}

std::string isoTime(int year, int month, int day, int hour, int minute, int second,
                    const char* zone) {
    static constexpr int kDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1900 || year > 2200 || month < 1 || month > 12 || day < 1 ||
        day > kDays[month - 1] || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
        second < 0 || second > 60) {
        return {};
    }
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%s", year, month, day, hour,
                  minute, second, zone);
    return text;
}

std::string isoTimeFromUnix(int64_t seconds) {
    if (seconds < 315532800 || seconds > 7258118400) return {};  // 1980 … 2200
    int64_t days = seconds / 86400;
    const int64_t rest = seconds % 86400;
    // Civil date from days since the epoch (proleptic Gregorian).
    days += 719468;
    const int64_t era = days / 146097;
    const int64_t doe = days - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    const int year = static_cast<int>(yoe + era * 400 + (month <= 2));
    return isoTime(year, month, day, static_cast<int>(rest / 3600),
                   static_cast<int>(rest / 60 % 60), static_cast<int>(rest % 60), "Z");
}

}  // namespace undelete
