#include "imaging/ColorLookup.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <new>

TFastColorLookup::TFastColorLookup(const HPALETTE& Palette) {
  if (Palette) {
    const size_t n = std::min<size_t>(Palette->Entries.size(), 256);
    FPalette.assign(Palette->Entries.begin(), Palette->Entries.begin() + static_cast<std::ptrdiff_t>(n));
  }
  Colors = static_cast<int>(FPalette.size());
  // With nothing to map to, every colour maps to a black index 0 rather than out of the palette.
  if (FPalette.empty()) FPalette.push_back(TPaletteEntry{0, 0, 0, 0});
  // Unused slots stand far outside the colour cube, so they never become candidates.
  FRed.fill(4096);
  FGreen.fill(4096);
  FBlue.fill(4096);
  for (size_t i = 0; i < FPalette.size(); ++i) {
    FRed[i] = FPalette[i].peRed;
    FGreen[i] = FPalette[i].peGreen;
    FBlue[i] = FPalette[i].peBlue;
  }
  FBlocks.Heads.assign(32768, 0);
  FWide.Heads.assign(32768, 0);
  FWide.Reach = kReach;
}

uint32_t TFastColorLookup::MakeCandidates(TTable& Table, uint32_t Block) {
  const int32_t lo[3] = {std::max(static_cast<int32_t>(Block & 31) * 8 - Table.Reach, 0),
                         std::max(static_cast<int32_t>((Block >> 5) & 31) * 8 - Table.Reach, 0),
                         std::max(static_cast<int32_t>(Block >> 10) * 8 - Table.Reach, 0)};
  const int32_t hi[3] = {std::min(static_cast<int32_t>(Block & 31) * 8 + 7 + Table.Reach, 255),
                         std::min(static_cast<int32_t>((Block >> 5) & 31) * 8 + 7 + Table.Reach, 255),
                         std::min(static_cast<int32_t>(Block >> 10) * 8 + 7 + Table.Reach, 255)};
  // Any colour of the box is at most `bound` away from some entry (the farthest corner of the
  // box from that entry); an entry that cannot come nearer than that is never chosen here.
  // Loops of fixed length over plain arrays, which the compiler turns into vector code.
  std::array<int32_t, 256> minDist;
  int32_t bound = 1 << 30;
  for (size_t i = 0; i < 256; ++i) {
    const int32_t r = FRed[i], g = FGreen[i], b = FBlue[i];
    const int32_t dr = std::max(std::max(lo[0] - r, r - hi[0]), 0);
    const int32_t dg = std::max(std::max(lo[1] - g, g - hi[1]), 0);
    const int32_t db = std::max(std::max(lo[2] - b, b - hi[2]), 0);
    const int32_t far = std::max(r - lo[0], hi[0] - r) + std::max(g - lo[1], hi[1] - g) + std::max(b - lo[2], hi[2] - b);
    minDist[i] = dr + dg + db;
    bound = std::min(bound, far);
  }
  // In palette order. The entry nearest the box is among them, so base <= bound, and a
  // candidate's distance to a colour of the box is at most its minDist + 3 x (side - 1).
  std::array<uint8_t, 256> list;
  size_t count = 0;
  int32_t base = 1 << 30;
  for (size_t i = 0; i < 256; ++i) {
    list[count] = static_cast<uint8_t>(i);
    const bool keep = minDist[i] <= bound;
    count += keep;
    base = keep ? std::min(base, minDist[i]) : base;
  }
  const size_t groups = (count + 15) / 16, first = Table.Groups.size();
  for (size_t n = 0; n < groups; ++n) {
    nearest::TGroup& group = Table.Groups.emplace_back();
    for (size_t i = 0; i < 16; ++i) {
      const uint8_t index = list[std::min(n * 16 + i, count - 1)];
      group.Red[i] = static_cast<uint16_t>(FRed[index] << 8);
      group.Green[i] = static_cast<uint16_t>(FGreen[index] << 8);
      group.Blue[i] = static_cast<uint16_t>(FBlue[index] << 8);
      group.Tag[i] = static_cast<uint16_t>(index - (base << 8));
    }
  }
  const uint32_t head = static_cast<uint32_t>(first << 8 | groups);
  Table.Heads[Block] = head;
  return head;
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
