#include "imaging/ColorLookup.h"

#include <algorithm>
#include <array>
#include <cstdlib>

// One 8x8x8 block of colours (the same five high bits per channel): the answers found so far
// and the palette entries that can be nearest to some colour of the block, nearest first.
struct TFastColorLookup::TBlock {
  struct TCandidate {
    int32_t MinDist;  // the least distance of the entry to any colour of the block
    int32_t Index;
    int32_t Red, Green, Blue;
  };
  uint8_t Index[512];
  uint64_t Known[8] = {};
  std::vector<TCandidate> Candidates;
};

TFastColorLookup::TFastColorLookup(const HPALETTE& Palette) {
  if (Palette) {
    const size_t n = std::min<size_t>(Palette->Entries.size(), 256);
    FPalette.assign(Palette->Entries.begin(), Palette->Entries.begin() + static_cast<std::ptrdiff_t>(n));
  }
  Colors = static_cast<int>(FPalette.size());
  // Unused slots stand far outside the colour cube, so they never become candidates.
  FRed.fill(4096);
  FGreen.fill(4096);
  FBlue.fill(4096);
  for (size_t i = 0; i < FPalette.size(); ++i) {
    FRed[i] = FPalette[i].peRed;
    FGreen[i] = FPalette[i].peGreen;
    FBlue[i] = FPalette[i].peBlue;
  }
  if (Colors > 0) FBlocks.resize(32768);
}

TFastColorLookup::~TFastColorLookup() = default;

TFastColorLookup::TBlock* TFastColorLookup::MakeBlock(int Key) {
  auto block = std::make_unique<TBlock>();
  const int32_t r0 = (Key & 31) << 3, g0 = ((Key >> 5) & 31) << 3, b0 = ((Key >> 10) & 31) << 3;
  // Any colour of the block is at most `bound` away from some entry (the farthest corner of the
  // block from that entry); an entry that cannot come nearer than that is never chosen here.
  // A loop of fixed length over plain arrays, which the compiler turns into vector code.
  std::array<int32_t, 256> minDist;
  int32_t bound = 1 << 30;
  for (size_t i = 0; i < 256; ++i) {
    const int32_t r = FRed[i], g = FGreen[i], b = FBlue[i];
    const int32_t dr = std::max(std::max(r0 - r, r - (r0 + 7)), 0);
    const int32_t dg = std::max(std::max(g0 - g, g - (g0 + 7)), 0);
    const int32_t db = std::max(std::max(b0 - b, b - (b0 + 7)), 0);
    const int32_t far = std::max(r - r0, r0 + 7 - r) + std::max(g - g0, g0 + 7 - g) + std::max(b - b0, b0 + 7 - b);
    minDist[i] = dr + dg + db;
    bound = std::min(bound, far);
  }
  for (size_t i = 0; i < FPalette.size(); ++i)
    if (minDist[i] <= bound)
      block->Candidates.push_back({minDist[i], static_cast<int32_t>(i), FRed[i], FGreen[i], FBlue[i]});
  // Nearest first, so a search can stop at the first entry that cannot beat the best so far.
  std::stable_sort(block->Candidates.begin(), block->Candidates.end(),
                   [](const TBlock::TCandidate& a, const TBlock::TCandidate& b) { return a.MinDist < b.MinDist; });
  TBlock* raw = block.get();
  FBlocks[static_cast<size_t>(Key)] = std::move(block);
  return raw;
}

uint8_t TFastColorLookup::LookupIndex(uint8_t Red, uint8_t Green, uint8_t Blue) {
  const int key = (Red >> 3) | ((Green >> 3) << 5) | ((Blue >> 3) << 10);
  TBlock* block = FBlocks[static_cast<size_t>(key)].get();
  if (!block) block = MakeBlock(key);
  const int sub = (Red & 7) | ((Green & 7) << 3) | ((Blue & 7) << 6);
  const uint64_t bit = uint64_t{1} << (sub & 63);
  if (block->Known[sub >> 6] & bit) return block->Index[sub];
  int32_t best = 1 << 30, bestIndex = 0;
  for (const TBlock::TCandidate& c : block->Candidates) {
    if (c.MinDist > best) break;
    const int32_t d = std::abs(Red - c.Red) + std::abs(Green - c.Green) + std::abs(Blue - c.Blue);
    // Of equal distances the entry that comes first in the palette wins.
    if (d < best || (d == best && c.Index < bestIndex)) {
      best = d;
      bestIndex = c.Index;
    }
  }
  block->Index[sub] = static_cast<uint8_t>(bestIndex);
  block->Known[sub >> 6] |= bit;
  return static_cast<uint8_t>(bestIndex);
}

uint8_t TFastColorLookup::Lookup(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B) {
  const uint8_t i = LookupIndex(Red, Green, Blue);
  const TPaletteEntry& e = FPalette[i];
  R = e.peRed;
  G = e.peGreen;
  B = e.peBlue;
  return i;
}

uint8_t TNetscapeColorLookup::Lookup(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B) {
  const int qr = (Red + 3) / 51, qg = (Green + 3) / 51, qb = (Blue + 3) / 51;
  R = static_cast<uint8_t>(51 * qr);
  G = static_cast<uint8_t>(51 * qg);
  B = static_cast<uint8_t>(51 * qb);
  return static_cast<uint8_t>(36 * qr + 6 * qg + qb);
}

uint8_t TGrayScaleLookup::Lookup(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B) {
  const auto v = static_cast<uint8_t>((77 * Red + 150 * Green + 29 * Blue) >> 8);
  R = G = B = v;
  return v;
}

uint8_t TMonochromeLookup::Lookup(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B) {
  const int s = 77 * Red + 150 * Green + 29 * Blue;
  if (s <= 32512) {
    R = G = B = 0;
    return 0;
  }
  R = G = B = 255;
  return 1;
}
