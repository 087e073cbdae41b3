#include "app/terminal/TextCells.h"

#include <cwchar>

#include "common/Text.h"

namespace undelete::terminal {
namespace {

constexpr char32_t kInvalid = 0xFFFFFFFF;

// Decodes one UTF-8 sequence at text[i]; advances i past it (one byte on
// an invalid sequence) and returns kInvalid for a malformed one.
char32_t decodeOne(const std::string& text, size_t& i) {
    char32_t value = 0;
    const size_t length = decodeUtf8(text, i, value);
    i += length == 0 ? 1 : length;
    return length == 0 ? kInvalid : value;
}

bool isControl(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c < 0xA0);
}

// Width in cells, or -1 for a character that must not reach the terminal.
int cellsOf(char32_t c) {
    if (c == kInvalid || isControl(c)) return -1;
    if (c < 0x7F) return 1;
    return ::wcwidth(static_cast<wchar_t>(c));
}

}  // namespace

std::u32string codePointsOf(const std::string& text) {
    std::u32string points;
    for (size_t i = 0; i < text.size();) {
        const char32_t c = decodeOne(text, i);
        points += c == kInvalid ? U'?' : c;
    }
    return points;
}

std::vector<Glyph> toGlyphs(const std::string& text) {
    std::vector<Glyph> glyphs;
    size_t i = 0;
    while (i < text.size()) {
        const size_t start = i;
        const char32_t c = decodeOne(text, i);
        const int width = cellsOf(c);
        if (width < 0) {
            glyphs.push_back({"?", 1});
        } else if (width == 0) {
            // A combining mark belongs to the glyph before it; alone it
            // would have nothing to sit on, so it is dropped.
            if (!glyphs.empty() && glyphs.back().bytes != "?") {
                glyphs.back().bytes.append(text, start, i - start);
            }
        } else {
            glyphs.push_back({text.substr(start, i - start), width > 2 ? 2 : width});
        }
    }
    return glyphs;
}

int displayWidth(const std::string& text) {
    int width = 0;
    for (const Glyph& g : toGlyphs(text)) width += g.width;
    return width;
}

std::string clipToWidth(const std::string& text, int width) {
    std::string out;
    int used = 0;
    for (const Glyph& g : toGlyphs(text)) {
        if (used + g.width > width) break;
        out += g.bytes;
        used += g.width;
    }
    return out;
}

std::string padToWidth(const std::string& text, int width) {
    std::string out = clipToWidth(text, width);
    const int used = displayWidth(out);
    if (used < width) out.append(static_cast<size_t>(width - used), ' ');
    return out;
}

std::string sliceCells(const std::string& text, int offset, int width) {
    if (width <= 0) return std::string();
    if (offset < 0) offset = 0;
    const int end = offset + width;
    std::string out;
    int column = 0;  // cell where the current glyph starts
    for (const Glyph& g : toGlyphs(text)) {
        const int glyphEnd = column + g.width;
        if (glyphEnd <= offset) {
            column = glyphEnd;
            continue;
        }
        if (column >= end) break;
        if (column >= offset && glyphEnd <= end) {
            out += g.bytes;
        } else {  // cut by an edge: only the part inside the window, as blanks
            const int from = column > offset ? column : offset;
            const int to = glyphEnd < end ? glyphEnd : end;
            out.append(static_cast<size_t>(to - from), ' ');
        }
        column = glyphEnd;
    }
    const int used = column < offset ? 0 : (column > end ? end : column) - offset;
    if (used < width) out.append(static_cast<size_t>(width - used), ' ');
    return out;
}

std::vector<std::string> wrapToWidth(const std::string& text, int width) {
    std::vector<std::string> lines;
    if (width < 2) width = 2;  // a wide glyph always fits a line
    std::string line;
    int used = 0;
    size_t start = 0;
    for (;;) {
        const size_t feed = text.find('\n', start);
        const std::string part =
            text.substr(start, feed == std::string::npos ? std::string::npos : feed - start);
        for (const Glyph& g : toGlyphs(part)) {
            if (used + g.width > width) {
                lines.push_back(line);
                line.clear();
                used = 0;
            }
            line += g.bytes;
            used += g.width;
        }
        lines.push_back(line);
        line.clear();
        used = 0;
        if (feed == std::string::npos) break;
        start = feed + 1;
    }
    return lines;
}

}  // namespace undelete::terminal
