#include "app/terminal/LineEditor.h"

namespace undelete::terminal {

std::string utf8Of(char32_t c) {
    std::string out;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        if (c >= 0xD800 && c <= 0xDFFF) return out;
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c <= 0x10FFFF) {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

bool LineEditor::insert(char32_t character) {
    const std::string bytes = utf8Of(character);
    if (bytes.empty()) return false;
    const std::vector<Glyph> glyphs = toGlyphs(bytes);
    // Exactly one glyph that is the character itself: controls turn into
    // '?', and zero-width marks vanish.
    if (glyphs.size() != 1 || glyphs[0].bytes != bytes) return false;
    if (this->bytes() + bytes.size() > maxBytes_) return false;
    glyphs_.insert(glyphs_.begin() + static_cast<std::ptrdiff_t>(cursor_), glyphs[0]);
    ++cursor_;
    return true;
}

void LineEditor::backspace() {
    if (cursor_ == 0) return;
    --cursor_;
    glyphs_.erase(glyphs_.begin() + static_cast<std::ptrdiff_t>(cursor_));
}

void LineEditor::deleteAhead() {
    if (cursor_ < glyphs_.size())
        glyphs_.erase(glyphs_.begin() + static_cast<std::ptrdiff_t>(cursor_));
}

void LineEditor::left() {
    if (cursor_ > 0) --cursor_;
}

void LineEditor::right() {
    if (cursor_ < glyphs_.size()) ++cursor_;
}

void LineEditor::clear() {
    glyphs_.clear();
    cursor_ = 0;
    first_ = 0;
}

std::string LineEditor::text() const {
    std::string out;
    for (const Glyph& g : glyphs_) out += g.bytes;
    return out;
}

size_t LineEditor::bytes() const {
    size_t n = 0;
    for (const Glyph& g : glyphs_) n += g.bytes.size();
    return n;
}

std::string LineEditor::visible(int width, int& cursorCell) {
    cursorCell = 0;
    if (width < 3) width = 3;  // room for a wide character and the cursor
    if (first_ > cursor_) first_ = cursor_;
    // Cells from the first shown character up to the cursor must leave one
    // cell for the cursor itself.
    auto cellsToCursor = [&] {
        int cells = 0;
        for (size_t i = first_; i < cursor_; ++i) cells += glyphs_[i].width;
        return cells;
    };
    while (cellsToCursor() > width - 1) ++first_;
    cursorCell = cellsToCursor();

    std::string out;
    int used = 0;
    for (size_t i = first_; i < glyphs_.size() && used + glyphs_[i].width <= width; ++i) {
        out += glyphs_[i].bytes;
        used += glyphs_[i].width;
    }
    out.append(static_cast<size_t>(width - used), ' ');
    return out;
}

}  // namespace undelete::terminal
