#pragma once
// The texture painter's pixel work, on TBitmap and without widgets: brush dabs into a stroke
// mask, the four paint tools, the colour picker, HSV conversion, and the editor's view image
// (wire overlay and zoom). Painting works on 24-bit bitmaps only; every routine checks the
// formats and sizes it is given before touching a pixel.
#include <cstdint>
#include <string>

#include "editor/TextureFiles.h"
#include "model/crvn_struc.h"
#include "platform/Bitmap.h"

enum TPaintTool { ptBrush = 0, ptTint = 1, ptLighten = 2, ptDarken = 3, ptPicker = 4 };

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
bool PaintPixels(const TBitmap& source, const TBitmap& mask, int tool, TBitmap& dest, TColor color);

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
// One dab of the stroke at texture pixel (x, y); false when texture, undo copy and mask no
// longer agree in size and format (the stroke must end).
bool StrokeDab(TObjetoTextura& texture, TBitmap& mask, int x, int y, const TBrush& brush);
// "Undo": swaps the texture and its undo copy (a second undo redoes); false without a copy.
bool UndoTexture(TObjetoTextura& texture);
// "Save": writes the texture to its file as a Windows bitmap and takes the file's new age.
void SaveTexture(TObjetoTextura& texture);
// "Revert": reads the file again, fitted to its section; the texture as it was becomes the undo
// copy. A file that cannot be read changes nothing.
void RevertTexture(TObjetoTextura& texture, const std::string& sectionName, const TModeloPart& part,
                   const TShowBox& showBox);
