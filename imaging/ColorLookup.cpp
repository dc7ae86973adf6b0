#include "imaging/ColorLookup.h"

#include <algorithm>
#include <cstdlib>

// One 8x8x8 block of colours (the same five high bits per channel): the answers found so far
// and the palette entries that can be nearest to some colour of the block.
struct TFastColorLookup::TBlock {
  uint8_t Index[512];
  uint64_t Known[8] = {};
  std::vector<uint8_t> Candidates;  // in palette order, so the first of equal ones still wins
};

TFastColorLookup::TFastColorLookup(const HPALETTE& Palette) {
  if (Palette) {
    const size_t n = std::min<size_t>(Palette->Entries.size(), 256);
    FPalette.assign(Palette->Entries.begin(), Palette->Entries.begin() + static_cast<std::ptrdiff_t>(n));
  }
  Colors = static_cast<int>(FPalette.size());
  if (Colors > 0) FBlocks.resize(32768);
}

TFastColorLookup::~TFastColorLookup() = default;

namespace {
inline int Dist(const TPaletteEntry& e, int r, int g, int b) {
  return std::abs(r - e.peRed) + std::abs(g - e.peGreen) + std::abs(b - e.peBlue);
}
// Nearest and farthest distance of a channel value to the range lo..lo+7.
inline void Span(int v, int lo, int& Min, int& Max) {
  const int hi = lo + 7;
  Min = v < lo ? lo - v : (v > hi ? v - hi : 0);
  Max = std::max(std::abs(v - lo), std::abs(v - hi));
}
}  // namespace

TFastColorLookup::TBlock* TFastColorLookup::MakeBlock(int Key) {
  auto block = std::make_unique<TBlock>();
  const int r0 = (Key & 31) << 3, g0 = ((Key >> 5) & 31) << 3, b0 = ((Key >> 10) & 31) << 3;
  // Any colour of the block is at most `bound` away from some entry; an entry whose nearest
  // possible distance exceeds that can never be chosen for this block.
  const size_t n = FPalette.size();
  std::vector<int> minDist(n);
  int bound = 1 << 30;
  for (size_t i = 0; i < n; ++i) {
    int mnr, mxr, mng, mxg, mnb, mxb;
    Span(FPalette[i].peRed, r0, mnr, mxr);
    Span(FPalette[i].peGreen, g0, mng, mxg);
    Span(FPalette[i].peBlue, b0, mnb, mxb);
    minDist[i] = mnr + mng + mnb;
    bound = std::min(bound, mxr + mxg + mxb);
  }
  for (size_t i = 0; i < n; ++i)
    if (minDist[i] <= bound) block->Candidates.push_back(static_cast<uint8_t>(i));
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
  int best = 1 << 30;
  uint8_t bestIndex = 0;
  for (uint8_t i : block->Candidates) {
    const int d = Dist(FPalette[i], Red, Green, Blue);
    if (d < best) {
      best = d;
      bestIndex = i;
    }
  }
  block->Index[sub] = bestIndex;
  block->Known[sub >> 6] |= bit;
  return bestIndex;
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
