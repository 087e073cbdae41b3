// Measuring and cutting UTF-8 text in terminal cells. Names come from the
// disk, so every text is treated as untrusted: bytes that are not valid
// UTF-8 and control characters (which could drive the terminal) are shown
// as '?', and nothing is ever cut inside a character.
#pragma once
#include <string>
#include <vector>

namespace undelete::terminal {

// One character as drawn: its UTF-8 bytes (a base character with any
// zero-width marks that follow it) and its width in cells (1 or 2).
struct Glyph {
    std::string bytes;
    int width = 1;
};

// Splits `text` into glyphs. Widths follow wcwidth under the process
// locale, which the program sets to UTF-8 before anything is drawn.
std::vector<Glyph> toGlyphs(const std::string& text);

// The code points of `text`; a byte that is not valid UTF-8 becomes '?'.
std::u32string codePointsOf(const std::string& text);

// Width of `text` in cells.
int displayWidth(const std::string& text);

// The longest run of whole glyphs from the start of `text` that fits in
// `width` cells (sanitised as by toGlyphs).
std::string clipToWidth(const std::string& text, int width);

// `text` clipped to `width` cells and padded with spaces to exactly that
// width.
std::string padToWidth(const std::string& text, int width);

// The cells [offset, offset + width) of `text`, exactly `width` cells wide:
// a wide glyph cut by either edge of the window becomes spaces, and the
// window is padded with spaces past the end of the text.
std::string sliceCells(const std::string& text, int offset, int width);

// Breaks `text` into lines of at most `width` cells, at line feeds and
// wherever a line is full (wide glyphs are never split).
std::vector<std::string> wrapToWidth(const std::string& text, int width);

}  // namespace undelete::terminal
