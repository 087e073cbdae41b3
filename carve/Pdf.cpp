// PDF: from "%PDF-" to the last "%%EOF" that completes it. A PDF updated
// in place, or linearised, holds several; after each one that a
// "startxref" precedes, the file goes on only when a further object, table
// or trailer follows. The document information's Title and CreationDate,
// where the trailer names it and a classic table finds it, are read.
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

#include "carve/MetadataText.h"
#include "carve/Recognisers.h"

namespace undelete {
namespace {

constexpr Signature kSignatures[] = {{0, "%PDF-", 5}};
constexpr const char* kExtensions[] = {"pdf", "ai", nullptr};
constexpr uint64_t kTail = 1024;  // how far before "%%EOF" its "startxref" may lie

HeaderCheck header(const uint8_t* bytes, size_t length) {
    if (length < 8 || std::memcmp(bytes, "%PDF-", 5) != 0 || !std::isdigit(bytes[5]) ||
        bytes[6] != '.' || !std::isdigit(bytes[7])) {
        return {};
    }
    return {"pdf", "pdf", 0};
}

bool space(uint8_t c) {
    return c == ' ' || c == '\r' || c == '\n' || c == '\t' || c == '\f' || c == 0;
}

// The number "startxref" gives when it lies just before `eof`; -1 if none.
int64_t startXref(Window& file, uint64_t eof) {
    const uint64_t from = eof > kTail ? eof - kTail : 0;
    const uint8_t* tail = file.at(from, static_cast<size_t>(eof - from));
    if (tail == nullptr) return -1;
    const std::string text(reinterpret_cast<const char*>(tail), static_cast<size_t>(eof - from));
    const size_t at = text.rfind("startxref");
    if (at == std::string::npos) return -1;
    size_t p = at + 9;
    while (p < text.size() && space(static_cast<uint8_t>(text[p]))) ++p;
    if (p == text.size() || !std::isdigit(static_cast<unsigned char>(text[p]))) return -1;
    return std::strtoll(text.c_str() + p, nullptr, 10);
}

// What follows an end of file mark: more of the same file (an update's
// objects, table or trailer) or not.
bool goesOn(Window& file, uint64_t at) {
    size_t n = 0;
    const uint8_t* p = file.run(at, at + 64, n);
    size_t i = 0;
    while (p != nullptr && i < n && space(p[i])) ++i;
    if (p == nullptr || i == n) return false;
    const std::string next(reinterpret_cast<const char*>(p + i), n - i);
    if (next.compare(0, 4, "xref") == 0 || next.compare(0, 7, "trailer") == 0) return true;
    // "12 0 obj"
    size_t k = 0;
    while (k < next.size() && std::isdigit(static_cast<unsigned char>(next[k]))) ++k;
    if (k == 0 || k == next.size() || next[k] != ' ') return false;
    ++k;
    const size_t generation = k;
    while (k < next.size() && std::isdigit(static_cast<unsigned char>(next[k]))) ++k;
    return k > generation && next.compare(k, 4, " obj") == 0;
}

// A PDF literal string "(…)" with its escapes, or a hex string "<…>".
std::string pdfString(const std::string& text, size_t at) {
    while (at < text.size() && space(static_cast<uint8_t>(text[at]))) ++at;
    std::string raw;
    if (at < text.size() && text[at] == '(') {
        int depth = 1;
        for (size_t i = at + 1; i < text.size() && raw.size() < 1024; ++i) {
            char c = text[i];
            if (c == '\\' && i + 1 < text.size()) {
                c = text[++i];
                if (c == 'n') {
                    c = '\n';
                } else if (c == 'r') {
                    c = '\r';
                } else if (c == 't') {
                    c = '\t';
                } else if (c >= '0' && c <= '7') {
                    int v = c - '0';
                    for (int d = 0;
                         d < 2 && i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '7';
                         ++d) {
                        v = v * 8 + (text[++i] - '0');
                    }
                    c = static_cast<char>(v);
                }
            } else if (c == '(') {
                ++depth;
            } else if (c == ')' && --depth == 0) {
                break;
            }
            raw += c;
        }
    } else if (at < text.size() && text[at] == '<') {
        for (size_t i = at + 1; i + 1 < text.size() && text[i] != '>' && raw.size() < 1024;
             i += 2) {
            raw += static_cast<char>(std::strtol(text.substr(i, 2).c_str(), nullptr, 16));
        }
    }
    return raw;
}

// "D:YYYYMMDDHHmmSS", the rest of the fields optional.
std::string pdfDate(const std::string& d) {
    if (d.size() < 10 || d.compare(0, 2, "D:") != 0) return {};
    auto n = [&](size_t at, size_t len) {
        return at + len <= d.size() ? std::atoi(d.substr(at, len).c_str()) : 0;
    };
    return isoTime(n(2, 4), n(6, 2), n(8, 2), n(10, 2), n(12, 2), n(14, 2));
}

void readInfo(Window& file, uint64_t eof, int64_t xref, FileMetadata& metadata) {
    const uint64_t from = eof > 4096 ? eof - 4096 : 0;
    const uint8_t* tail = file.at(from, static_cast<size_t>(eof - from));
    if (tail == nullptr) return;
    const std::string trailer(reinterpret_cast<const char*>(tail), static_cast<size_t>(eof - from));
    const size_t info = trailer.rfind("/Info");
    if (info == std::string::npos) return;
    const long object = std::strtol(trailer.c_str() + info + 5, nullptr, 10);
    // A classic table: "xref", then sections "first count" of 20-byte rows.
    const uint8_t* table = file.at(static_cast<uint64_t>(xref), 64);
    if (object <= 0 || table == nullptr || std::memcmp(table, "xref", 4) != 0) return;
    uint64_t at = static_cast<uint64_t>(xref) + 4;
    for (int section = 0; section < 64; ++section) {
        const uint8_t* line = file.at(at, 64);
        if (line == nullptr) return;
        const std::string head(reinterpret_cast<const char*>(line), 64);
        char* end = nullptr;
        const long first = std::strtol(head.c_str(), &end, 10);
        const long count = std::strtol(end, &end, 10);
        if (end == head.c_str() || first < 0 || count <= 0) return;
        size_t rows = static_cast<size_t>(end - head.c_str());
        while (rows < head.size() && space(static_cast<uint8_t>(head[rows]))) ++rows;
        at += rows;
        // `count` may be as large as a long goes: no sum with it.
        if (object >= first && object - first < count) {
            const uint8_t* row = file.at(at + 20ull * static_cast<uint64_t>(object - first), 20);
            if (row == nullptr) return;
            const uint64_t where = std::strtoull(
                std::string(reinterpret_cast<const char*>(row), 10).c_str(), nullptr, 10);
            const uint8_t* body =
                file.at(where, static_cast<size_t>(std::min<uint64_t>(
                                   4096, file.size() - std::min(where, file.size()))));
            if (body == nullptr) return;
            const std::string text(
                reinterpret_cast<const char*>(body),
                static_cast<size_t>(std::min<uint64_t>(4096, file.size() - where)));
            const size_t title = text.find("/Title");
            if (title != std::string::npos) {
                const std::string raw = pdfString(text, title + 6);
                metadata.title = metadataText(reinterpret_cast<const uint8_t*>(raw.data()),
                                              raw.size(), TextEncoding::Latin1);
            }
            const size_t created = text.find("/CreationDate");
            if (created != std::string::npos) {
                metadata.created = pdfDate(pdfString(text, created + 13));
            }
            return;
        }
        // A section longer than the file is no section: nothing wraps.
        if (static_cast<uint64_t>(count) > file.size() / 20) return;
        at += 20ull * static_cast<uint64_t>(count);
    }
}

Recognised walk(Window& file, const HeaderCheck&) {
    Recognised found;
    uint64_t end = 0, eof = 0;
    int64_t xref = -1;
    for (uint64_t at = 5;;) {
        at = file.find(at, file.size(), '%');
        if (at == Window::kNowhere) break;
        const uint8_t* mark = file.at(at, std::min<uint64_t>(5, file.size() - at));
        if (mark == nullptr || file.size() - at < 5) break;
        if (std::memcmp(mark, "%PDF-", 5) == 0) break;  // the next document
        if (std::memcmp(mark, "%%EOF", 5) != 0) {
            ++at;
            continue;
        }
        const int64_t start = startXref(file, at);
        at += 5;
        uint8_t c;
        if (file.u8(at, c) && c == '\r') ++at;
        if (file.u8(at, c) && c == '\n') ++at;
        if (start < 0 || static_cast<uint64_t>(start) >= at) continue;
        end = at;
        eof = at;
        xref = start;
        if (!goesOn(file, at)) break;
    }
    if (end == 0) return {};
    readInfo(file, eof, xref, found.metadata);
    found.length = end;
    return found;
}

}  // namespace

extern const Recogniser kPdfRecogniser = {"PDF",       kSignatures, std::size(kSignatures),
                                          kExtensions, header,      walk};

}  // namespace undelete
