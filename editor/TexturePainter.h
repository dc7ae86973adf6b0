#pragma once
// The texture painter's pixel work, on TBitmap and without widgets: brush dabs into a stroke
// mask, the four paint tools, the colour picker, HSV conversion, and the editor's view image
// (wire overlay and zoom). Painting works on 24-bit bitmaps only; every routine checks the
// formats and sizes it is given before touching a pixel.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "editor/TextureFiles.h"
#include "model/crvn_struc.h"
#include "platform/Bitmap.h"

enum TPaintTool { ptBrush = 0, ptTint = 1, ptLighten = 2, ptDarken = 3, ptPicker = 4 };

// A rectangle of pixels, right and bottom exclusive. A dab changes only the pixels of its
// rectangle, so a stroke on a large texture recomputes and redraws that much and no more.
struct TPixelRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  bool Empty() const { return Right <= Left || Bottom <= Top; }
  bool operator==(const TPixelRect&) const = default;
};
// The whole of a bitmap.
TPixelRect WholeRect(const TBitmap& bitmap);
// r within the bitmap (empty when they do not meet).
TPixelRect ClipRect(const TPixelRect& r, const TBitmap& bitmap);
// The pixels a dab of this size at (x, y) may paint, within the bitmap.
TPixelRect DabBounds(const TBitmap& bitmap, int x, int y, int size);

// The grey of a dab for an intensity of 1..100: Round(I * 2.55) with ties to even, in exact
// integers (50 gives 128, 90 gives 230).
int IntensityGrey(int intensity);

// Paints a filled disc of grey IntensityGrey(intensity) into the mask, centred on (x, y), of
// radius size div 2 (size 1 paints the centre pixel alone). Dabs overwrite: coverage never
// adds up within a stroke. The part outside the mask is clipped. False when the mask is not
// 24-bit.
bool BrushDab(TBitmap& mask, int x, int y, int intensity, int size);

// Recomputes dest from source under the mask's coverage a (its blue byte / 255) with the tool
// and paint colour (0x00BBGGRR). Each result is truncated:
//   Brush   C * a + s * (1 - a)
//   Tint    the same with T = the paint colour's hue at the pixel's own saturation and value
//   Lighten min(255, s + 255 a)     Darken max(0, s - 255 a)
// Pixels with no coverage become the source pixel; any other tool leaves dest as it is.
// False (and dest untouched) unless the three bitmaps are 24-bit and of one size.
// The whole picture: the plain form that the rectangle form below must match.
bool PaintPixels(const TBitmap& source, const TBitmap& mask, int tool, TBitmap& dest, TColor color);
// The same within area only (clipped to the bitmaps); dest keeps every pixel outside it.
bool PaintPixels(const TBitmap& source, const TBitmap& mask, int tool, TBitmap& dest, TColor color,
                 const TPixelRect& area);

// The colour of a 24-bit bitmap's pixel; false outside the bitmap or for another format.
bool PickColor(const TBitmap& bitmap, int x, int y, TColor& color);

// The hexcone model: r, g, b and V in 0..255, S in 0..1, H in degrees 0..360 (0 for greys).
void RGBToHSV(int r, int g, int b, double& H, double& S, double& V);
// Back to bytes, each truncated; H = 360 counts as 0.
void HSVToRGB(double H, double S, double V, uint8_t& r, uint8_t& g, uint8_t& b);

// Weighted mix of two 24-bit bitmaps of one size into dest: weight W percent of a, the rest of
// b (0 gives b, 100 gives a), truncated. False when sizes or formats differ.
bool BlendWire(const TBitmap& a, const TBitmap& b, TBitmap& dest, int weight);

// A 24-bit copy of src stretched to width x height by pixel copy (nearest pixel).
TBitmap StretchPixels(const TBitmap& src, int width, int height);

// What the editor shows for a texture: a 24-bit copy, the wire bitmap stretched over it and
// blended when wirePosition (0..100) is at least 1, then magnified zoom times (1, 2 or 4).
TBitmap EditorImage(const TBitmap& bitmap, const TBitmap* wire, int wirePosition, int zoom);

// The editor's view image kept between dabs: built whole (EditorImage) when the texture, the
// wire overlay or the zoom change, then recomputed only where a dab painted.
class TEditorView {
 public:
  void Build(const TBitmap& bitmap, const TBitmap* wire, int wirePosition, int zoom);
  // Recomputes the view pixels that show the texture pixels of area, as EditorImage would give
  // them; returns that rectangle in view pixels. A texture of another size or format than the
  // one built is shown whole again (the wire overlay kept).
  TPixelRect Update(const TBitmap& bitmap, const TPixelRect& area);
  void Clear();
  const TBitmap& Image() const { return FImage; }
  int Zoom() const { return FZoom; }

 private:
  TBitmap FImage;
  TBitmap FWire;  // the overlay at 24 bits and its own size; empty when none is shown
  int FWirePosition = 0, FZoom = 1;
  int FWidth = 0, FHeight = 0;  // the texture's
};

// One paint stroke on a texture: press, moves, release. Press snapshots the texture into its
// UndoBitmap and starts a black mask; each dab recomputes the texture from that snapshot.
struct TBrush {
  TColor Color = clBlack;
  int Intensity = 50;  // 1..100
  int Size = 15;       // 1..64
  int Tool = ptBrush;
};
// The texture can be painted: a 24-bit bitmap.
bool TextureEditable(const TObjetoTextura& texture);
// Starts a stroke; false (nothing changed) for a texture that cannot be painted.
bool BeginStroke(TObjetoTextura& texture, TBitmap& mask);
// Recomputes the texture from its undo copy under the stroke mask with the brush's tool and
// colour, within area; false when texture, undo copy and mask no longer agree in size and
// format (the stroke must end).
bool ApplyStroke(TObjetoTextura& texture, const TBitmap& mask, const TBrush& brush, const TPixelRect& area);
// What a dab at (x, y) asks ApplyStroke to recompute: the dab's bounds, since the mask changed
// nowhere else; the whole texture when the tool or colour differ from the previous dab's
// (`previous`, null for the first dab), since the whole stroke then paints with the new ones.
TPixelRect StrokeArea(const TBitmap& mask, int x, int y, const TBrush& brush, const TBrush* previous);
// One dab of the stroke at texture pixel (x, y): BrushDab, then ApplyStroke over StrokeArea.
// `changed` receives the texture pixels recomputed. False as ApplyStroke.
bool StrokeDab(TObjetoTextura& texture, TBitmap& mask, int x, int y, const TBrush& brush,
               const TBrush* previous = nullptr, TPixelRect* changed = nullptr);
// A texture pixel.
struct TPixelPoint {
  int X = 0, Y = 0;
  bool operator==(const TPixelPoint&) const = default;
};
// The pixels a drag from `from` to `to` passes over, as a hand slow enough to report every pixel
// would give them: one per step along the longer axis, the other coordinate the nearest pixel to
// the straight line (halves rounded up); `from` itself is left out. Steps whose dab of this size
// cannot reach a bitmap of width x height are left out too, so a drag far outside costs nothing.
std::vector<TPixelPoint> DragPixels(TPixelPoint from, TPixelPoint to, int width, int height, int size);
// A dab at every pixel of the drag from `from` to `to` (at `to` alone when there is no `from`,
// the stroke's first dab), then ApplyStroke over what they changed: a window moved by a busy
// system reports far fewer positions than the hand passed over, and the stroke must not depend on
// it. `changed` receives the texture rectangles recomputed. False as ApplyStroke.
bool StrokeDrag(TObjetoTextura& texture, TBitmap& mask, const TPixelPoint* from, TPixelPoint to, const TBrush& brush,
                const TBrush* previous, std::vector<TPixelRect>& changed);
// "Undo": swaps the texture and its undo copy (a second undo redoes); false without a copy.
bool UndoTexture(TObjetoTextura& texture);
// Asks for the Windows bitmap file to save a texture as, proposing `proposed`; false when the
// user cancels.
using TAskBitmapName = std::function<bool(const std::string& proposed, std::string& chosen)>;
// Whether a texture file may be written back in place as a Windows bitmap: its name ends in
// ".bmp" (letter case ignored) and it holds a Windows bitmap, or it is gone. Any other picture
// would lose its format, or its pixels under a name that promises another format.
bool SavesInPlace(const std::string& fileName);
// The Windows bitmap name proposed for a texture file: beside it, with ".bmp" for its extension.
std::string BitmapNameFor(const std::string& fileName);
enum class TTextureSaved { InPlace, NewFile, Cancelled };
// "Save": writes the texture as a Windows bitmap (through a temporary file and a rename) and
// takes the file's new age. A file that does not save in place is kept: the texture is written
// to the file askName chooses (".bmp" added to a name without it) and refers to it from then
// on. Choosing the texture's own file is refused with EInOutError; nothing is written when the
// user cancels or no askName is given.
TTextureSaved SaveTexture(TObjetoTextura& texture, const TAskBitmapName& askName);
// "Revert": reads the file again, fitted to its section; the texture as it was becomes the undo
// copy. A file that cannot be read changes nothing.
void RevertTexture(TObjetoTextura& texture, const std::string& sectionName, const TModeloPart& part,
                   const TShowBox& showBox);
