#pragma once
// Helpers shared by the controls, kept apart from the widgets so they are tested alone.
#include <string>

// The first word of text: words are separated by blanks and control characters, and a pair of
// double quotes groups blanks into one word (the quotes themselves are dropped; an unclosed
// quote runs to the end).
std::string ExtractFirstWord(const std::string& text);

// The ellipsis glyph of a button ButtonWidth wide: a monochrome picture of Width x 4 with three
// 2 x 2 dots on row 1 at DotX[0..2], Gap pixels apart beyond their own width.
struct TEllipsisGlyph {
  int Width = 1, Height = 4, Gap = 1;
  int DotX[3] = {};
};
TEllipsisGlyph EllipsisGlyph(int buttonWidth);
