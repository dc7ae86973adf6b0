#pragma once
// Row access shared by the colour reduction and the GIF codec: TDIBReader opens a bitmap in a
// given pixel format; TDIBWriter builds an 8- or 24-bit image row by row and hands it to its
// bitmap when finished.
#include <cstdint>
#include <vector>

#include "platform/Bitmap.h"

class TDIB {
 public:
  TDIB(TBitmap& ABitmap, TPixelFormat APixelFormat) : Bitmap(&ABitmap), PixelFormat(APixelFormat) {}
  virtual ~TDIB() = default;
  TDIB(const TDIB&) = delete;
  TDIB& operator=(const TDIB&) = delete;
  // Rows are addressed top-down.
  virtual uint8_t* ScanLine(int Row) = 0;
  TBitmap* Bitmap;
  TPixelFormat PixelFormat;
};

class TDIBReader : public TDIB {
 public:
  // Converts the bitmap to PixelFormat in place.
  TDIBReader(TBitmap& ABitmap, TPixelFormat APixelFormat);
  uint8_t* ScanLine(int Row) override;
};

class TDIBWriter : public TDIB {
 public:
  // Only pf8bit and pf24bit ("Unsupported PixelFormat"); a zero width or height raises
  // "Invalid image dimensions". No memory is taken until the first ScanLine.
  TDIBWriter(TBitmap& ABitmap, TPixelFormat APixelFormat, int AWidth, int AHeight, const HPALETTE& APalette);
  // Finishes when Finish was not called; errors are swallowed there, so call Finish.
  ~TDIBWriter() override;
  // "Image has no DIB" is impossible here (the image is made on demand); a row outside the
  // image raises "Scan line index out of range".
  uint8_t* ScanLine(int Row) override;
  // Loads the image into the bitmap (8-bit: a 256-entry palette, the palette's entries first,
  // the rest black). Does nothing when no row was ever asked for.
  void Finish();

  int Width() const { return FWidth; }
  int Height() const { return FHeight; }

 private:
  void MakeImage();
  TBitmap FImage;  // the rows as they are written, handed over whole by Finish
  HPALETTE FPalette;
  int FWidth, FHeight;
  bool FHasImage = false, FFinished = false;
};
