// A one-line text field for the save-path prompt: whole characters only,
// a byte limit, and a window of the text that keeps the cursor in view.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "app/terminal/TextCells.h"

namespace undelete::terminal {

class LineEditor {
public:
    explicit LineEditor(size_t maxBytes) : maxBytes_(maxBytes) {}

    // Inserts one character at the cursor. Control characters, characters
    // that take no cell and anything past the byte limit are refused.
    bool insert(char32_t character);

    void backspace();    // removes the character before the cursor
    void deleteAhead();  // removes the character at the cursor
    void left();
    void right();
    void home() { cursor_ = 0; }
    void end() { cursor_ = glyphs_.size(); }
    void clear();

    std::string text() const;
    size_t cursor() const { return cursor_; }  // in characters

    // The text shown in a field `width` cells wide, padded to that width;
    // `cursorCell` receives the cursor's cell within the field.
    std::string visible(int width, int& cursorCell);

private:
    size_t bytes() const;

    size_t maxBytes_;
    std::vector<Glyph> glyphs_;
    size_t cursor_ = 0;
    size_t first_ = 0;  // first character shown
};

// The UTF-8 form of a code point; empty for a surrogate or a value past
// U+10FFFF.
std::string utf8Of(char32_t character);

}  // namespace undelete::terminal
