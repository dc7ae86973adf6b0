#pragma once
// Colour lookups: map a colour to a palette index and report the palette colour chosen.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "imaging/NearestSearch.h"
#include "platform/Bitmap.h"

class TColorLookup {
 public:
  virtual ~TColorLookup() = default;
  // Palette index of the colour; R, G, B receive the chosen palette colour.
  virtual uint8_t Lookup(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B) = 0;
  int Colors = 0;  // number of palette colours; 0 means there is nothing to map to
};

// Nearest palette entry by |dR| + |dG| + |dB|, the first of equal ones. For a box of colours
// only the entries that can be nearest to some colour of the box are kept, eight to a group
// (NearestSearch.h), and a lookup measures a whole group at once. Nothing is remembered per
// colour: the groups of the boxes a picture uses stay in the cache, a table of answers for every
// colour would not.
//
// Two sets of boxes, each made on first use: the 8x8x8 block of a colour, for single lookups,
// and the block widened by kReach on every side, which the Floyd-Steinberg loop chooses for a
// pixel before the error of the pixel before it is known (see Dither.cpp).
class TFastColorLookup : public TColorLookup {
 public:
  explicit TFastColorLookup(const HPALETTE& Palette);
  uint8_t Lookup(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B) override;
  uint8_t LookupIndex(uint8_t Red, uint8_t Green, uint8_t Blue) {
    const uint32_t head = Head(FBlocks, BlockOf(Red, Green, Blue));
    return nearest::Search(FBlocks.Groups.data(), head, Red, Green, Blue);
  }
  const TPaletteEntry& Entry(int Index) const { return FPalette[static_cast<size_t>(Index)]; }

  static constexpr int kReach = 8;
  static uint32_t BlockOf(uint32_t Red, uint32_t Green, uint32_t Blue) {
    return (Red >> 3) | ((Green >> 3) << 5) | ((Blue >> 3) << 10);
  }
  // The list of the widened box of a block, for nearest::Search over WideGroups(): its
  // candidates serve any colour within kReach of the block in every channel. WideHeads() holds
  // the lists made so far (0 where none is).
  uint32_t WideHead(uint32_t Block) { return Head(FWide, Block); }
  const uint32_t* WideHeads() const { return FWide.Heads.data(); }
  const nearest::TGroup* WideGroups() const { return FWide.Groups.data(); }
  const nearest::TColours7* WideColours7() const { return FWide.Colours7.data(); }
  const nearest::TGroupBytes* WideGroupBytes() const { return FWide.Bytes.data(); }

 private:
  // Entries as plain arrays of 16-bit channels; past Count, up to a multiple of sixteen, entries
  // far outside the cube.
  struct TEntries {
    std::array<int16_t, 256> Red, Green, Blue;
    std::array<uint8_t, 256> Index;
    size_t Count = 0;
    void Add(int16_t R, int16_t G, int16_t B, uint8_t I) {
      Red[Count] = R;
      Green[Count] = G;
      Blue[Count] = B;
      Index[Count++] = I;
    }
    // Add without a branch: the entry is written in any case, Count moves on only when Keep
    // (callers offer at most 256 entries, so the place written is always free).
    void AddIf(bool Keep, int16_t R, int16_t G, int16_t B, uint8_t I) {
      Red[Count] = R;
      Green[Count] = G;
      Blue[Count] = B;
      Index[Count] = I;
      Count += Keep;
    }
    size_t Padded();
  };
  struct TTable {
    int Reach = 0;
    std::vector<uint32_t> Heads;  // per block; 0: not made yet
    std::vector<nearest::TGroup> Groups;
    std::vector<nearest::TColours7> Colours7;  // per group
    std::vector<nearest::TGroupBytes> Bytes;   // per group
    // Per 4x4x4 blocks, the candidates of all their boxes together: a block's candidates are
    // chosen from these rather than from the whole palette.
    std::vector<std::unique_ptr<TEntries>> Super;
  };
  uint32_t Head(TTable& Table, uint32_t Block) {
    const uint32_t head = Table.Heads[Block];
    return head ? head : MakeCandidates(Table, Block);
  }
  uint32_t MakeCandidates(TTable& Table, uint32_t Block);
  // The entries of From that can be nearest to some colour of the box Lo..Hi; with Prune, also
  // without those another entry beats everywhere in the box. Base: the least distance of any
  // entry to the box.
  static void Candidates(TEntries& From, const int32_t (&Lo)[3], const int32_t (&Hi)[3], bool Prune, TEntries& To,
                         int32_t& Base);
  std::vector<TPaletteEntry> FPalette;
  TEntries FAll;  // the whole palette
  TTable FBlocks, FWide;
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
