#pragma once
// Palette building: the octree colour quantizer over one bitmap, a list of bitmaps or a DIB
// opened for reading; the fixed palettes; and the small routines shared with the GIF codec
// (errors, scan-line sizes, pixel formats).
// Every palette returned here is a new handle owned by the caller.
#include <cstdint>
#include <memory>
#include <stop_token>
#include <string>
#include <vector>

#include "platform/Bitmap.h"
#include "platform/Exceptions.h"

class TDIBReader;

// Errors of the GIF codec and of the routines it shares with the colour reduction.
CORVANE_EXCEPTION(GIFException, EInvalidGraphic)

[[noreturn]] void GIFError(const std::string& Msg);
// Returns Value when it is non-zero; otherwise raises EOutOfResources with the text of the
// last system error, or "Out of system resources" when there is none.
intptr_t CheckGDIResult(intptr_t Value);

// Bytes of one row: Pixels x BitsPerPixel rounded up to Alignment bits, then to whole bytes;
// counted without overflow (a result past 64 bits gives INT64_MAX), 0 for a negative count or
// a size or alignment that is not positive.
int64_t ScanLineBytes(int64_t Pixels, int BitsPerPixel, int Alignment);

TPixelFormat GetBitmapPixelFormat(const TBitmap& Bitmap);
void SetBitmapPixelFormat(TBitmap& Bitmap, TPixelFormat PixelFormat);

// One node of the colour octree. Nodes live in the quantizer's pool and refer to each other
// by index (-1 for none).
struct TOctreeNode {
  bool IsLeaf = false;
  uint32_t PixelCount = 0;
  // 64 bits: a leaf of a large bitmap list can take more than 2^24 bright pixels.
  uint64_t RedSum = 0, GreenSum = 0, BlueSum = 0;
  int32_t Next = -1;  // next node of its level's reducible list
  int32_t Children[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
};

class TColorQuantizer {
 public:
  // MaxColors <= 0 or ColorBits outside 1..8 raise GIFException.
  TColorQuantizer(int MaxColors, int ColorBits);
  // Adds every pixel of a 24-bit (blue, green, red) row, reducing after each one.
  void ProcessRow(const uint8_t* Row, int Width);
  // Every pixel of the reader's bitmap, whatever format it was opened in; false when Stop was
  // requested before the last row (the rows read so far are in).
  bool ProcessImage(TDIBReader& Image, const std::stop_token& Stop = {});
  void AddColor(uint8_t R, uint8_t G, uint8_t B);
  // The leaves in depth-first order, children 0 to 7; a leaf without pixels is black.
  std::vector<TPaletteEntry> ColorTable() const;
  int LeafCount() const { return FLeafCount; }
  int MaxColors() const { return FMaxColors; }

 private:
  int32_t NewNode(int Level);
  void FreeNode(int32_t Index);
  void ReduceTree();
  std::vector<TOctreeNode> FNodes;
  std::vector<int32_t> FFree;
  int32_t FTree = -1;
  int FLeafCount = 0;
  int32_t FReducibleNodes[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
  int FMaxColors, FColorBits;
};

// Octree palettes. With Windows false the palette has Colors entries (1 to 65535, else
// GIFException "Invalid number of colors"); with Windows true it has 256: the stock palette's
// first ten and last ten colours around 236 quantized ones. Entries the image has no colour for
// are black. Bitmaps are converted to 24 bits per pixel in place.
HPALETTE QuantizeDIBPalette(TDIBReader& Reader, int Colors, int ColorBits, bool Windows);
HPALETTE QuantizeBitmapPalette(TBitmap& Bitmap, int Colors, int ColorBits, bool Windows);
// Raises GIFError("Invalid bitmap list") for a missing or empty list. Stop, checked between rows,
// gives up: null comes back once it is requested.
HPALETTE QuantizeBitmapListPalette(const std::vector<TBitmap*>* List, int Colors, int ColorBits, bool Windows,
                                   const std::stop_token& Stop = {});
inline HPALETTE QuantizeBitmapListPalette(const std::vector<TBitmap*>& List, int Colors, int ColorBits, bool Windows,
                                          const std::stop_token& Stop = {}) {
  return QuantizeBitmapListPalette(&List, Colors, ColorBits, Windows, Stop);
}

// Fixed palettes.
HPALETTE WebPalette216();       // 36r + 6g + b -> (51r, 51g, 51b)
HPALETTE GrayPalette256();      // (i, i, i), PC_NOCOLLAPSE
HPALETTE GrayPalette4();        // 0, 128, 192, 255
HPALETTE MonochromePalette();   // black and white
HPALETTE HalftonePalette256();  // the twenty static colours around a 6x6x6 cube and greys
// The stock 20-colour default palette: the same shared handle every time.
const HPALETTE& DefaultPalette20();

constexpr uint8_t PC_NOCOLLAPSE = 0x04;
