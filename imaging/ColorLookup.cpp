#include "imaging/ColorLookup.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <new>

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
  if (Colors == 0) return;
  // The answers are not cleared: only the pages a picture's colours touch are ever mapped.
  FIndex.reset(new uint8_t[size_t{1} << 24]);
  // calloc of this size maps zero pages, so a small picture pays only for the pages it uses.
  FKnown.reset(static_cast<uint64_t*>(std::calloc(size_t{1} << 18, sizeof(uint64_t))));
  if (!FKnown) throw std::bad_alloc();
  FFirst.assign(32768, -1);
  FCount.assign(32768, 0);
}

void TFastColorLookup::MakeCandidates(uint32_t Key) {
  const int32_t r0 = static_cast<int32_t>(Key & 31) << 3, g0 = static_cast<int32_t>((Key >> 5) & 31) << 3,
                b0 = static_cast<int32_t>((Key >> 10) & 31) << 3;
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
  const size_t first = FCandidates.size();
  for (size_t i = 0; i < FPalette.size(); ++i)
    if (minDist[i] <= bound) FCandidates.push_back({minDist[i], static_cast<int32_t>(i), FRed[i], FGreen[i], FBlue[i]});
  // Nearest first, so a search can stop at the first entry that cannot beat the best so far;
  // equal distances keep palette order. The lists are a handful of entries: an insertion sort
  // asks for no memory, which a stable sort would for every block.
  for (size_t i = first + 1; i < FCandidates.size(); ++i) {
    const TCandidate c = FCandidates[i];
    size_t j = i;
    for (; j > first && FCandidates[j - 1].MinDist > c.MinDist; --j) FCandidates[j] = FCandidates[j - 1];
    FCandidates[j] = c;
  }
  FFirst[Key] = static_cast<int32_t>(first);
  FCount[Key] = static_cast<int32_t>(FCandidates.size() - first);
}

uint8_t TFastColorLookup::Search(uint32_t Key, uint32_t Colour, uint8_t Red, uint8_t Green, uint8_t Blue) {
  if (FFirst[Key] < 0) MakeCandidates(Key);
  const TCandidate* c = FCandidates.data() + FFirst[Key];
  const TCandidate* end = c + FCount[Key];
  int32_t best = 1 << 30, bestIndex = 0;
  for (; c != end && c->MinDist <= best; ++c) {
    const int32_t d = std::abs(Red - c->Red) + std::abs(Green - c->Green) + std::abs(Blue - c->Blue);
    // Of equal distances the entry that comes first in the palette wins.
    if (d < best || (d == best && c->Index < bestIndex)) {
      best = d;
      bestIndex = c->Index;
    }
  }
  FIndex[Colour] = static_cast<uint8_t>(bestIndex);
  FKnown[Colour >> 6] |= uint64_t{1} << (Colour & 63);
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
