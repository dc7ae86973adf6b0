#pragma once
// Colour lookups: map a colour to a palette index and report the palette colour chosen.
#include <array>
#include <cstdint>
#include <cstdlib>
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
// be nearest to some colour of the block are searched, nearest first.
class TFastColorLookup : public TColorLookup {
 public:
  explicit TFastColorLookup(const HPALETTE& Palette);
  uint8_t Lookup(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B) override;
  uint8_t LookupIndex(uint8_t Red, uint8_t Green, uint8_t Blue) {
    // Colours are numbered block by block, so neighbouring colours share cache lines.
    const uint32_t key = (Red >> 3) | ((Green >> 3) << 5) | ((Blue >> 3) << 10);
    const uint32_t c = (key << 9) | (Red & 7) | ((Green & 7) << 3) | ((Blue & 7) << 6);
    if (FKnown[c >> 6] & (uint64_t{1} << (c & 63))) return FIndex[c];
    return Search(key, c, Red, Green, Blue);
  }
  const TPaletteEntry& Entry(int Index) const { return FPalette[static_cast<size_t>(Index)]; }

 private:
  struct TCandidate {
    int32_t MinDist;  // the least distance of the entry to any colour of the block
    int32_t Index;
    int32_t Red, Green, Blue;
  };
  uint8_t Search(uint32_t Key, uint32_t Colour, uint8_t Red, uint8_t Green, uint8_t Blue);
  void MakeCandidates(uint32_t Key);
  std::vector<TPaletteEntry> FPalette;
  std::array<int32_t, 256> FRed, FGreen, FBlue;
  std::unique_ptr<uint8_t[]> FIndex;  // 2^24 answers, each read only once its bit is set
  struct TFree {
    void operator()(void* p) const { std::free(p); }
  };
  std::unique_ptr<uint64_t[], TFree> FKnown;  // 2^24 bits, zero pages until written
  std::vector<int32_t> FFirst, FCount;        // per block: its candidates in FCandidates (-1: not made)
  std::vector<TCandidate> FCandidates;
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
