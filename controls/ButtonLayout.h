#pragma once
// Where a button puts its glyph and caption: side by side or one above the other, centred or
// at a margin from the edge the glyph is on. Apart from any widget, so it is tested alone.

enum TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };

struct TLayoutRect {
  int X = 0, Y = 0, W = 0, H = 0;
  bool operator==(const TLayoutRect&) const = default;
};

struct TButtonPlaces {
  TLayoutRect Glyph, Caption;
};

// area: the room inside the frame; glyph and caption sizes (0 x 0 for none); margin -1 centres
// the pair, otherwise it is the distance of the glyph from its edge; spacing lies between glyph
// and caption when both are there (-1: the caption is centred in the room that is left).
TButtonPlaces PlaceGlyphAndCaption(TLayoutRect area, int glyphW, int glyphH, int captionW, int captionH,
                                   TButtonLayout layout, int margin, int spacing);
