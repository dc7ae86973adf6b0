#include "controls/CtrlUtils.h"

#include <algorithm>

std::string ExtractFirstWord(const std::string& text) {
  auto separator = [](unsigned char c) { return c <= ' '; };
  size_t i = 0;
  while (i < text.size() && separator(static_cast<unsigned char>(text[i]))) ++i;
  std::string word;
  bool quoted = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"') {
      quoted = !quoted;
      continue;
    }
    if (!quoted && separator(static_cast<unsigned char>(c))) break;
    word += c;
  }
  return word;
}

TEllipsisGlyph EllipsisGlyph(int buttonWidth) {
  TEllipsisGlyph g;
  g.Width = std::max(1, buttonWidth - 6);
  g.Gap = std::clamp((g.Width - 6) / 2, 1, 3);
  const int x0 = (g.Width - 6 - 2 * g.Gap) / 2;
  for (int i = 0; i < 3; ++i) g.DotX[i] = x0 + i * (g.Gap + 2);
  return g;
}
