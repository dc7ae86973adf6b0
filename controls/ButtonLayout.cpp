#include "controls/ButtonLayout.h"

TButtonPlaces PlaceGlyphAndCaption(TLayoutRect area, int glyphW, int glyphH, int captionW, int captionH,
                                   TButtonLayout layout, int margin, int spacing) {
  const bool horizontal = layout == blGlyphLeft || layout == blGlyphRight;
  const bool hasGlyph = glyphW > 0 && glyphH > 0, hasCaption = captionW > 0 && captionH > 0;
  // Along the layout's axis: the room, and the glyph's and caption's extents.
  const int room = horizontal ? area.W : area.H;
  const int g = hasGlyph ? (horizontal ? glyphW : glyphH) : 0;
  const int c = hasCaption ? (horizontal ? captionW : captionH) : 0;
  if (!hasGlyph || !hasCaption) spacing = 0;
  if (margin < 0) {
    if (spacing < 0) {
      // Both centred: the gaps before, between and after are equal.
      spacing = (room - g - c) / 3;
      margin = spacing;
    } else {
      margin = (room - g - c - spacing) / 2;
    }
  } else if (spacing < 0) {
    // The caption centred in what the glyph leaves.
    spacing = (room - margin - g - c) / 2;
  }
  // Offsets from the edge the glyph sits on.
  const int glyphAt = margin, captionAt = margin + g + spacing;
  auto along = [&](int offset, int extent) {
    const bool fromFar = layout == blGlyphRight || layout == blGlyphBottom;
    return (horizontal ? area.X : area.Y) + (fromFar ? room - offset - extent : offset);
  };
  auto across = [&](int extent) {
    return horizontal ? area.Y + (area.H - extent) / 2 : area.X + (area.W - extent) / 2;
  };
  TButtonPlaces p;
  if (hasGlyph) {
    p.Glyph = horizontal ? TLayoutRect{along(glyphAt, glyphW), across(glyphH), glyphW, glyphH}
                         : TLayoutRect{across(glyphW), along(glyphAt, glyphH), glyphW, glyphH};
  }
  if (hasCaption) {
    p.Caption = horizontal ? TLayoutRect{along(captionAt, captionW), across(captionH), captionW, captionH}
                           : TLayoutRect{across(captionW), along(captionAt, captionH), captionW, captionH};
  }
  return p;
}
