// Plain text: a run of ASCII or well-formed UTF-8 with no control bytes
// but tab, line feed, form feed and carriage return, at least
// kMinTextBytes long. It ends where a zero byte begins (the slack after a
// file's end on a cleared disk), or else after the last whole line before
// the first byte that is not text. Markup is named by its first element.
#include <cctype>
#include <cstring>
#include <string>

#include "carve/Recognisers.h"

namespace undelete {
namespace {

constexpr Signature kSignatures[] = {{0, "", 0}};  // any block: the header check is cheap
constexpr const char* kExtensions[] = {"txt",  "text", "log", "csv",  "md",   "xml",
                                       "html", "htm",  "svg", "json", "ini",  "cfg",
                                       "conf", "ps",   "eps", "rtf",  nullptr};
constexpr size_t kLead = 16;            // bytes that must be text for a block to be tried
constexpr uint64_t kMinTextBytes = 64;  // shorter runs are taken for chance

// 0: not text; 1: a byte of its own; 2–4: leads a sequence of that length.
// `possible`: 1 for every byte text may hold anywhere (continuations too).
struct Classes {
    uint8_t of[256];
    uint8_t possible[256];
    constexpr Classes() : of(), possible() {
        for (int c = 0x20; c < 0x7F; ++c) of[c] = 1;
        of[0x09] = of[0x0A] = of[0x0C] = of[0x0D] =
            1;  // tab, line feed, form feed, carriage return
        for (int c = 0xC2; c < 0xE0; ++c) of[c] = 2;
        for (int c = 0xE0; c < 0xF0; ++c) of[c] = 3;
        for (int c = 0xF0; c < 0xF5; ++c) of[c] = 4;
        for (int c = 0; c < 256; ++c) possible[c] = of[c] != 0 || (c >= 0x80 && c < 0xC0);
    }
};
constexpr Classes kClasses;

// The range a sequence's second byte must lie in (no overlong form, no
// surrogate, nothing past U+10FFFF).
void secondRange(uint8_t lead, uint8_t& low, uint8_t& high) {
    low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
}

// The length of the valid text at the start of `bytes` (whole characters).
size_t validPrefix(const uint8_t* bytes, size_t length) {
    size_t at = 0;
    while (at < length) {
        const uint8_t n = kClasses.of[bytes[at]];
        if (n == 0 || n > length - at) return at;
        if (n > 1) {
            uint8_t low, high;
            secondRange(bytes[at], low, high);
            if (bytes[at + 1] < low || bytes[at + 1] > high) return at;
            for (uint8_t k = 2; k < n; ++k) {
                if ((bytes[at + k] & 0xC0) != 0x80) return at;
            }
        }
        at += n;
    }
    return at;
}

bool startsWith(const std::string& text, const char* prefix) {
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

// Whether each of the first kLead bytes could be part of text (any byte
// but the control ones and those UTF-8 never holds), without a branch a
// byte: most blocks of a disk are not text and fail here at once.
bool leadCouldBeText(const uint8_t* bytes) {
    unsigned all = 1;
    for (size_t i = 0; i < kLead; ++i) all &= kClasses.possible[bytes[i]];
    return all != 0;
}

HeaderCheck header(const uint8_t* bytes, size_t length) {
    if (length < kLead || kClasses.of[bytes[0]] == 0 || !leadCouldBeText(bytes)) return {};
    const size_t valid = validPrefix(bytes, length);
    if (valid < kLead) return {};
    std::string lower(reinterpret_cast<const char*>(bytes), valid);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    static constexpr char kBom[] = {'\xEF', '\xBB', '\xBF', '\0'};  // UTF-8's mark
    size_t first = startsWith(lower, kBom) ? 3 : 0;
    while (first < lower.size() && std::isspace(static_cast<unsigned char>(lower[first]))) ++first;
    lower.erase(0, first);
    if (startsWith(lower, "<?xml")) {
        return lower.find("<svg") != std::string::npos ? HeaderCheck{"svg", "svg", 0}
                                                       : HeaderCheck{"xml", "xml", 0};
    }
    if (startsWith(lower, "<svg")) return {"svg", "svg", 0};
    if (startsWith(lower, "<!doctype html") || startsWith(lower, "<html")) {
        return {"html", "html", 0};
    }
    if (startsWith(lower, "%!ps")) return {"ps", "ps", 0};
    if (startsWith(lower, "{\\rtf")) return {"rtf", "rtf", 0};
    return {"text", "txt", 0};
}

Recognised walk(Window& file, const HeaderCheck&) {
    uint64_t lineEnd = 0;  // just past the last line feed
    uint64_t at = 0;
    size_t n = 0;
    bool stopped = false;
    while (const uint8_t* bytes = file.run(at, file.size(), n)) {
        // A sequence cut by the window's end is looked at again from its lead.
        const size_t valid = validPrefix(bytes, n);
        const bool cut =
            valid < n && n - valid < 4 && at + n < file.size() && kClasses.of[bytes[valid]] > 1;
        for (size_t i = valid; i > 0; --i) {
            if (bytes[i - 1] == '\n') {
                lineEnd = at + i;
                break;
            }
        }
        at += valid;
        if (valid < n && !cut) {
            stopped = true;
            break;
        }
        if (valid == 0) break;
    }
    uint8_t next = 0;
    const bool cleared = !stopped || (file.u8(at, next) && next == 0);
    Recognised found;
    const uint64_t end = cleared ? at : lineEnd;
    if (end >= kMinTextBytes) found.length = end;
    return found;
}

}  // namespace

extern const Recogniser kTextRecogniser = {"text",      kSignatures, std::size(kSignatures),
                                           kExtensions, header,      walk};

}  // namespace undelete
