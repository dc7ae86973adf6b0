#pragma once
// Reduction of a bitmap to an 8-bit bitmap with a palette, through a colour lookup and an
// optional error-diffusion ditherer.
#include <cstdint>
#include <memory>

#include "imaging/ColorLookup.h"
#include "imaging/ColorQuantizer.h"
#include "imaging/DIB.h"
#include "imaging/Dither.h"
#include "platform/Bitmap.h"

// The target palette (stored as one byte).
enum class TReductionMethod : uint8_t {
  rdNone = 0,           // no reduction: a 24-bit copy
  rdSystem20 = 1,       // the 20-colour default palette
  rdHalftone256 = 2,    // the halftone palette
  rdGray4 = 3,          // 4 greys
  rdMonochrome = 4,     // black and white
  rdGray256 = 5,        // 256 greys
  rdWeb216 = 6,         // the web cube
  rdOptimal = 7,        // octree palette of 2^ReductionBits colours of the bitmap
  rdOptimalSystem = 8,  // octree palette of the bitmap with the 20 static colours
  rdCustomPalette = 9   // a copy of the caller's palette
};

// The ditherer (stored as one byte).
enum class TDitherKind : uint8_t {
  dtNearest = 0,
  dtFloydSteinberg = 1,
  dtStucki = 2,
  dtSierra = 3,
  dtJaJuNi = 4,
  dtSteveArche = 5,
  dtBurkes = 6
};

// A new bitmap owned by the caller: for rdNone a 24-bit copy of Bitmap (left untouched);
// otherwise Bitmap is converted to 24 bits in place and the result is 8 bits per pixel with the
// target palette. ReductionBits is clamped to 1..8. A method or ditherer outside the tables, or
// an empty palette, gives an empty bitmap (1 bit per pixel when the source has more than 500,000
// pixels, else 24). CustomPalette is copied, never kept.
std::unique_ptr<TBitmap> ReduceBitmapColors(TBitmap& Bitmap, TReductionMethod Method, TDitherKind Dither,
                                            int ReductionBits, const HPALETTE& CustomPalette);
