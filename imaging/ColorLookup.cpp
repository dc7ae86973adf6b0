#include "imaging/ColorLookup.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/Processor.h"

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

namespace {
// Sixteen 16-bit lanes, in the compiler's vector types (two SSE2 registers on x86-64, one AVX2
// register in the form built for AVX2, NEON on ARM). No vector is passed by value: without AVX
// enabled that would change the calling convention.
typedef int16_t TLanes __attribute__((vector_size(32)));
constexpr size_t kLanes = 16;

inline void Load(TLanes& V, const int16_t* P) { std::memcpy(&V, P, sizeof V); }
inline int16_t Least(const TLanes& V) {
  int16_t least = V[0];
  for (size_t i = 1; i < kLanes; ++i) least = std::min(least, V[i]);
  return least;
}

// TFastColorLookup::Candidates, built twice below. Entries come padded to whole vectors.
template <class TEntries>
[[gnu::always_inline]] inline void CandidatesOf(TEntries& From, const int32_t (&Lo)[3], const int32_t (&Hi)[3],
                                                bool Prune, TEntries& To, int32_t& Base) {
  // Any colour of the box is at most `bound` away from some entry (the farthest corner of the
  // box from that entry); an entry that cannot come nearer than that is never chosen here. The
  // entry nearest the box is always kept, so Base, the least distance of any kept entry to the
  // box, is the least of all.
  const size_t n = From.Padded();
  std::array<int16_t, 256> minDist;
  const TLanes zero = {};
  TLanes lo[3], hi[3];
  for (size_t c = 0; c < 3; ++c) {
    lo[c] = zero + static_cast<int16_t>(Lo[c]);
    hi[c] = zero + static_cast<int16_t>(Hi[c]);
  }
  TLanes bound = zero + INT16_MAX, base = zero + INT16_MAX;
  for (size_t i = 0; i < n; i += kLanes) {
    TLanes v[3];
    Load(v[0], &From.Red[i]);
    Load(v[1], &From.Green[i]);
    Load(v[2], &From.Blue[i]);
    TLanes near = zero, far = zero;
    for (size_t c = 0; c < 3; ++c) {
      const TLanes below = lo[c] - v[c], above = v[c] - hi[c];
      const TLanes outside = below > above ? below : above;
      near += outside > zero ? outside : zero;
      const TLanes up = v[c] - lo[c], down = hi[c] - v[c];
      far += up > down ? up : down;
    }
    std::memcpy(&minDist[i], &near, sizeof near);
    bound = bound < far ? bound : far;
    base = base < near ? base : near;
  }
  const int16_t least = Least(bound);
  Base = Least(base);
  TEntries kept;
  TEntries& out = Prune ? kept : To;
  for (size_t i = 0; i < n; ++i)
    out.AddIf(minDist[i] <= least, From.Red[i], From.Green[i], From.Blue[i], From.Index[i]);
  if (!Prune) return;
  // An entry that another entry beats (or equals, coming first) at every colour of the box is
  // never chosen there either. Over a box the difference of two distances is largest at a
  // corner, channel by channel, so the test is the sum of three maxima of two differences.
  const size_t m = kept.Padded();
  std::array<int16_t, 256> toLo[3], toHi[3];
  const std::array<int16_t, 256>* channels[3] = {&kept.Red, &kept.Green, &kept.Blue};
  for (size_t c = 0; c < 3; ++c)
    for (size_t i = 0; i < m; i += kLanes) {
      TLanes v;
      Load(v, &(*channels[c])[i]);
      const TLanes l = v - lo[c], h = v - hi[c];
      const TLanes al = l < zero ? -l : l, ah = h < zero ? -h : h;
      std::memcpy(&toLo[c][i], &al, sizeof al);
      std::memcpy(&toHi[c][i], &ah, sizeof ah);
    }
  const TLanes lane = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
  for (size_t i = 0; i < kept.Count; ++i) {
    const TLanes l0 = zero + toLo[0][i], l1 = zero + toLo[1][i], l2 = zero + toLo[2][i];
    const TLanes h0 = zero + toHi[0][i], h1 = zero + toHi[1][i], h2 = zero + toHi[2][i];
    TLanes beaten = zero;
    for (size_t o = 0; o < m; o += kLanes) {
      TLanes a0, b0, a1, b1, a2, b2;
      Load(a0, &toLo[0][o]);
      Load(b0, &toHi[0][o]);
      Load(a1, &toLo[1][o]);
      Load(b1, &toHi[1][o]);
      Load(a2, &toLo[2][o]);
      Load(b2, &toHi[2][o]);
      a0 -= l0, b0 -= h0, a1 -= l1, b1 -= h1, a2 -= l2, b2 -= h2;
      const TLanes worse = (a0 > b0 ? a0 : b0) + (a1 > b1 ? a1 : b1) + (a2 > b2 ? a2 : b2);
      // Entries before this one win ties: less 1 where they are (the comparison's true is -1).
      const TLanes before = lane + static_cast<int16_t>(o) < static_cast<int16_t>(i);
      beaten |= worse + before < zero;
    }
    int64_t any[4];
    std::memcpy(any, &beaten, sizeof any);
    To.AddIf((any[0] | any[1] | any[2] | any[3]) == 0, kept.Red[i], kept.Green[i], kept.Blue[i], kept.Index[i]);
  }
}

#if defined(__x86_64__)
template <class TEntries>
__attribute__((target("avx2"))) void CandidatesAVX2(TEntries& From, const int32_t (&Lo)[3], const int32_t (&Hi)[3],
                                                    bool Prune, TEntries& To, int32_t& Base) {
  CandidatesOf(From, Lo, Hi, Prune, To, Base);
}
#endif
}  // namespace

void TFastColorLookup::Candidates(TEntries& From, const int32_t (&Lo)[3], const int32_t (&Hi)[3], bool Prune,
                                  TEntries& To, int32_t& Base) {
#if defined(__x86_64__)
  if (processor::HasAVX2()) return CandidatesAVX2(From, Lo, Hi, Prune, To, Base);
#endif
  CandidatesOf(From, Lo, Hi, Prune, To, Base);
}

namespace {
constexpr size_t kGroupsReserved = 32768;  // 2 MB of groups and as much of each of their other forms
}  // namespace

uint32_t TFastColorLookup::MakeCandidates(TTable& Table, uint32_t Block) {
  const int32_t r = static_cast<int32_t>(Block & 31), g = static_cast<int32_t>((Block >> 5) & 31),
                b = static_cast<int32_t>(Block >> 10);
  const uint32_t super = static_cast<uint32_t>((r >> 2) | ((g >> 2) << 3) | ((b >> 2) << 6));
  const auto box = [&](int32_t Side, int32_t R, int32_t G, int32_t B, int32_t(&Lo)[3], int32_t(&Hi)[3]) {
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
    Candidates(FAll, lo, hi, true, *from, base);
  }
  // The block's box lies inside its 4x4x4 group's box, so its nearest entries are among the
  // group's candidates.
  box(8, r, g, b, lo, hi);
  TEntries list;
  Candidates(*from, lo, hi, true, list, base);
  // Room for the groups of every block a large picture is likely to need, taken once: growing
  // step by step would copy them over and over. Memory not yet written costs only addresses.
  if (Table.Groups.capacity() == 0) {
    Table.Groups.reserve(kGroupsReserved);
    Table.Colours7.reserve(kGroupsReserved);
    Table.Bytes.reserve(kGroupsReserved);
  }
  // A candidate's distance to a colour of the box is at most its least distance to the box +
  // 3 x (side - 1) <= base + 6 x (side - 1).
  const size_t groups = (list.Count + 7) / 8, first = Table.Groups.size();
  for (size_t n = 0; n < groups; ++n) {
    nearest::TGroup& group = Table.Groups.emplace_back();
    nearest::TColours7& colours7 = Table.Colours7.emplace_back();
    nearest::TGroupBytes& bytes = Table.Bytes.emplace_back();
    for (size_t i = 0; i < 8; ++i) {
      const size_t at = std::min(n * 8 + i, list.Count - 1);
      group.Red[i] = static_cast<uint16_t>(list.Red[at] << 8);
      group.Green[i] = static_cast<uint16_t>(list.Green[at] << 8);
      group.Blue[i] = static_cast<uint16_t>(list.Blue[at] << 8);
      group.Tag[i] = static_cast<uint16_t>(list.Index[at] - (base << 8));
      int16_t* lanes = &colours7.Lanes[(i >> 1) & 1][(i & 1) * 4 + (i >> 2) * 8];
      lanes[0] = static_cast<int16_t>(7 * list.Blue[at]);
      lanes[1] = static_cast<int16_t>(7 * list.Green[at]);
      lanes[2] = static_cast<int16_t>(7 * list.Red[at]);
      lanes[3] = static_cast<int16_t>(-16 * list.Index[at]);
      uint8_t* place = &bytes.Bytes[8 * i];
      place[0] = place[4] = static_cast<uint8_t>(list.Blue[at]);
      place[1] = place[5] = static_cast<uint8_t>(list.Green[at]);
      place[2] = place[6] = static_cast<uint8_t>(list.Red[at]);
      place[3] = place[7] = 0;
    }
  }
  const uint32_t head = nearest::Head(first, groups);
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
