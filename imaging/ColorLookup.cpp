#include "imaging/ColorLookup.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <new>

size_t TFastColorLookup::TEntries::Padded() {
  // Far outside the cube, so never a candidate; whole groups of sixteen let the loops run over
  // fixed steps.
  const size_t padded = std::min<size_t>((Count + 15) / 16 * 16, 256);
  for (size_t i = Count; i < padded; ++i) {
    Red[i] = Green[i] = Blue[i] = 4096;
    Index[i] = 0;
  }
  return padded;
}

TFastColorLookup::TFastColorLookup(const HPALETTE& Palette) {
  if (Palette) {
    const size_t n = std::min<size_t>(Palette->Entries.size(), 256);
    FPalette.assign(Palette->Entries.begin(), Palette->Entries.begin() + static_cast<std::ptrdiff_t>(n));
  }
  Colors = static_cast<int>(FPalette.size());
  // With nothing to map to, every colour maps to a black index 0 rather than out of the palette.
  if (FPalette.empty()) FPalette.push_back(TPaletteEntry{0, 0, 0, 0});
  for (size_t i = 0; i < FPalette.size(); ++i)
    FAll.Add(FPalette[i].peRed, FPalette[i].peGreen, FPalette[i].peBlue, static_cast<uint8_t>(i));
  for (TTable* table : {&FBlocks, &FWide}) {
    table->Heads.assign(32768, 0);
    table->Super.resize(512);
  }
  FWide.Reach = kReach;
}

void TFastColorLookup::Candidates(TEntries& From, const int32_t (&Lo)[3], const int32_t (&Hi)[3], TEntries& To,
                                  int32_t& Base) {
  // Any colour of the box is at most `bound` away from some entry (the farthest corner of the
  // box from that entry); an entry that cannot come nearer than that is never chosen here. The
  // entry nearest the box is always kept, so Base, the least distance of any kept entry to the
  // box, is the least of all. Loops over plain 16-bit arrays, which the compiler turns into
  // vector code.
  const size_t n = From.Padded();
  std::array<int16_t, 256> minDist;
  int16_t bound = INT16_MAX, base = INT16_MAX;
  const int16_t lo0 = static_cast<int16_t>(Lo[0]), lo1 = static_cast<int16_t>(Lo[1]), lo2 = static_cast<int16_t>(Lo[2]);
  const int16_t hi0 = static_cast<int16_t>(Hi[0]), hi1 = static_cast<int16_t>(Hi[1]), hi2 = static_cast<int16_t>(Hi[2]);
  for (size_t i = 0; i < n; ++i) {
    const int16_t r = From.Red[i], g = From.Green[i], b = From.Blue[i];
    const int16_t dr = std::max<int16_t>(std::max<int16_t>(lo0 - r, r - hi0), 0);
    const int16_t dg = std::max<int16_t>(std::max<int16_t>(lo1 - g, g - hi1), 0);
    const int16_t db = std::max<int16_t>(std::max<int16_t>(lo2 - b, b - hi2), 0);
    const int16_t far = static_cast<int16_t>(std::max<int16_t>(r - lo0, hi0 - r) + std::max<int16_t>(g - lo1, hi1 - g) +
                                             std::max<int16_t>(b - lo2, hi2 - b));
    minDist[i] = static_cast<int16_t>(dr + dg + db);
    bound = std::min(bound, far);
    base = std::min(base, minDist[i]);
  }
  for (size_t i = 0; i < n; ++i)
    if (minDist[i] <= bound) To.Add(From.Red[i], From.Green[i], From.Blue[i], From.Index[i]);
  Base = base;
}

uint32_t TFastColorLookup::MakeCandidates(TTable& Table, uint32_t Block) {
  const int32_t r = static_cast<int32_t>(Block & 31), g = static_cast<int32_t>((Block >> 5) & 31),
                b = static_cast<int32_t>(Block >> 10);
  const uint32_t super = static_cast<uint32_t>((r >> 2) | ((g >> 2) << 3) | ((b >> 2) << 6));
  const auto box = [&](int32_t Side, int32_t R, int32_t G, int32_t B, int32_t (&Lo)[3], int32_t (&Hi)[3]) {
    const int32_t at[3] = {R * Side, G * Side, B * Side};
    for (size_t c = 0; c < 3; ++c) {
      Lo[c] = std::max(at[c] - Table.Reach, 0);
      Hi[c] = std::min(at[c] + Side - 1 + Table.Reach, 255);
    }
  };
  int32_t lo[3], hi[3], base;
  std::unique_ptr<TEntries>& from = Table.Super[super];
  if (!from) {
    from = std::make_unique<TEntries>();
    box(32, r >> 2, g >> 2, b >> 2, lo, hi);
    Candidates(FAll, lo, hi, *from, base);
  }
  // The block's box lies inside its 4x4x4 group's box, so its nearest entries are among the
  // group's candidates.
  box(8, r, g, b, lo, hi);
  TEntries list;
  Candidates(*from, lo, hi, list, base);
  // A candidate's distance to a colour of the box is at most its least distance to the box +
  // 3 x (side - 1) <= base + 6 x (side - 1).
  const size_t groups = (list.Count + 15) / 16, first = Table.Groups.size();
  for (size_t n = 0; n < groups; ++n) {
    nearest::TGroup& group = Table.Groups.emplace_back();
    for (size_t i = 0; i < 16; ++i) {
      const size_t at = std::min(n * 16 + i, list.Count - 1);
      group.Red[i] = static_cast<uint16_t>(list.Red[at] << 8);
      group.Green[i] = static_cast<uint16_t>(list.Green[at] << 8);
      group.Blue[i] = static_cast<uint16_t>(list.Blue[at] << 8);
      group.Tag[i] = static_cast<uint16_t>(list.Index[at] - (base << 8));
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
