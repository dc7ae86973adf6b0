#pragma once
// Colour lookups: map a colour to a palette index and report the palette colour chosen.
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/Bitmap.h"

class TColorLookup {
 public:
  virtual ~TColorLookup() = default;
  // Palette index of the colour; R, G, B receive the chosen palette colour.
  virtual uint8_t Lookup(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B) = 0;
  int Colors = 0;  // number of palette colours; 0 means there is nothing to map to
};

// Nearest palette entry by |dR| + |dG| + |dB|, the first of equal ones. Every answer is
// remembered per full 24-bit colour; for each 8x8x8 block of colours only the entries that can
// be nearest to some colour of the block are searched.
class TFastColorLookup : public TColorLookup {
 public:
  explicit TFastColorLookup(const HPALETTE& Palette);
  ~TFastColorLookup() override;
  uint8_t Lookup(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B) override;
  uint8_t LookupIndex(uint8_t Red, uint8_t Green, uint8_t Blue);
  const TPaletteEntry& Entry(int Index) const { return FPalette[Index]; }

 private:
  struct TBlock;
  TBlock* MakeBlock(int Key);
  std::vector<TPaletteEntry> FPalette;
  std::array<int32_t, 256> FRed, FGreen, FBlue;
  std::vector<std::unique_ptr<TBlock>> FBlocks;  // 32768, made on first use
};

// The 6x6x6 web cube: q = (c + 3) div 51 per channel, index 36 qR + 6 qG + qB.
class TNetscapeColorLookup : public TColorLookup {
 public:
  TNetscapeColorLookup() { Colors = 216; }
  uint8_t Lookup(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B) override;
};

// 256 greys: v = (77 R + 150 G + 29 B) shr 8.
class TGrayScaleLookup : public TColorLookup {
 public:
  TGrayScaleLookup() { Colors = 256; }
  uint8_t Lookup(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B) override;
};

// Black (index 0) up to a weighted sum of 32512, white (index 1) above.
class TMonochromeLookup : public TColorLookup {
 public:
  TMonochromeLookup() { Colors = 2; }
  uint8_t Lookup(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B) override;
};
