#pragma once
// The pixel work of a texture upload, apart from OpenGL so it can be tested on bitmaps: the
// bitmap read bottom-up as 24-bit rows padded to 4 bytes, the optional swap to RGB, the alpha
// channel by one of eight rules, and the power-of-two target size.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "model/Geometry.h"

class TBitmap;

enum TGLTextureImageAlpha : uint8_t {
  tiaDefault,
  tiaAlphaFromIntensity,
  tiaSuperBlackTransparent,
  tiaLuminance,
  tiaLuminanceSqrt,
  tiaOpaque,
  tiaTopLeftPointColorTransparent,
  tiaTransparentColor
};

struct TTexturePixels {
  std::vector<uint8_t> Data;
  int Width = 0, Height = 0;
  int Components = 3;  // 3: rows padded to 4 bytes; 4: packed
  bool BGR = true;     // byte order of the colour: blue, green, red (else red, green, blue)
  size_t RowBytes() const;
};

// The bitmap as the upload sees it: bottom row first, 24 bits per pixel, in blue-green-red order
// when bgr is set (the implementation takes GL_BGR), else red-green-blue. With any alpha rule but
// tiaDefault every pixel is widened to four packed bytes and its alpha (and, for the luminance
// rules, its colour) set by the rule. transparent is the TransparentColor (red, green, blue in
// 0..1). An empty bitmap gives an empty result.
TTexturePixels PrepareTexturePixels(const TBitmap& bitmap, TGLTextureImageAlpha alpha, const TVector& transparent,
                                    bool bgr);

// Rows [firstRow, firstRow + rowCount) of the same, counted from the bottom, as they stand in
// the whole picture's result (the reference colour of tiaTopLeftPointColorTransparent is still
// the picture's bottom-left pixel): a large picture is prepared and uploaded a band at a time.
// Rows outside the picture are left out.
TTexturePixels PrepareTextureRows(const TBitmap& bitmap, TGLTextureImageAlpha alpha, const TVector& transparent,
                                  bool bgr, int firstRow, int rowCount);

// The smallest power of two not below size, lowered to maxSize when larger.
int TextureTargetSize(int size, int maxSize);
// Bytes of a w x h image of c components whose rows are padded to `alignment` bytes.
size_t PaddedImageBytes(int w, int h, int c, int alignment);
