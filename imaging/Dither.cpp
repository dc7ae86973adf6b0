#include "imaging/Dither.h"

#include <algorithm>
#include <cstddef>

#include "imaging/ColorLookup.h"
#include "imaging/DIB.h"

namespace {
inline uint8_t Clamp255(int32_t v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }
}  // namespace

uint8_t TDitherEngine::Dither(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B) {
  const uint8_t index = Lookup->Lookup(Red, Green, Blue, R, G, B);
  NextColumn();
  return index;
}

void TDitherEngine::NextLine() {
  Direction = -Direction;
  Column = Direction == 1 ? 0 : Width - 1;
}

// ---- Floyd-Steinberg ---------------------------------------------------------------------------

TFloydSteinbergDitherer::TFloydSteinbergDitherer(int AWidth, TColorLookup& ALookup) : TDitherEngine(AWidth, ALookup) {
  for (TChannel& c : FChannels) c.Errors.assign(static_cast<size_t>(std::max(AWidth, 0)) + 2, 0);
}

int32_t TFloydSteinbergDitherer::Diffuse(TChannel& C, uint8_t Value, uint8_t Chosen) {
  // The three terms for the next row move along one pixel even when this pixel has no error:
  // skipping them would leave this pixel's consumed error in the buffer, to be applied again
  // two rows later, and hand the pending terms to the wrong pixels.
  const int32_t e = static_cast<int32_t>(Value) - static_cast<int32_t>(Chosen);
  C.Errors[static_cast<size_t>(C.Pos)] = C.BelowPrev + 3 * e;
  C.BelowPrev = C.Below + 5 * e;
  C.Below = e;
  C.Carry = 7 * e;
  C.Pos += Direction;
  return e;
}

uint8_t TFloydSteinbergDitherer::Dither(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B) {
  uint8_t v[3];
  const uint8_t in[3] = {Red, Green, Blue};
  for (int c = 0; c < 3; ++c) {
    TChannel& ch = FChannels[c];
    v[c] = Clamp255(in[c] + (ch.Errors[static_cast<size_t>(ch.Pos)] + ch.Carry + 8) / 16);
  }
  const uint8_t index = Lookup->Lookup(v[0], v[1], v[2], R, G, B);
  Diffuse(FChannels[0], v[0], R);
  Diffuse(FChannels[1], v[1], G);
  Diffuse(FChannels[2], v[2], B);
  NextColumn();
  return index;
}

void TFloydSteinbergDitherer::NextLine() {
  TDitherEngine::NextLine();
  for (TChannel& c : FChannels) {
    // Pos is one past the row's last pixel, which is inside the buffer in both directions.
    c.Errors[static_cast<size_t>(std::clamp(c.Pos, 0, Width + 1))] = c.BelowPrev;
    c.Carry = c.Below = c.BelowPrev = 0;
    c.Pos = Direction == 1 ? 0 : Width + 1;
  }
}

void DitherFloydSteinberg(TDIBReader& Reader, TDIBWriter& Writer, int Width, int Height, TFastColorLookup& Lookup) {
  if (Width <= 0) return;
  // The three channels side by side in the lanes of one vector (the fourth lane idles), as the
  // compiler's vector extension gives them on every target. Per channel as in
  // TFloydSteinbergDitherer: the pending errors of the row below (Width + 2 slots), the error
  // carried to the next pixel and the two terms on their way to the next row.
  typedef int32_t TLanes __attribute__((vector_size(16)));
  std::vector<TLanes> errors(static_cast<size_t>(Width) + 2, TLanes{0, 0, 0, 0});
  TLanes carry{0, 0, 0, 0}, below{0, 0, 0, 0}, belowPrev{0, 0, 0, 0};
  const TLanes zero{0, 0, 0, 0}, top{255, 255, 255, 255}, eight{8, 8, 8, 8}, fifteen{15, 15, 15, 15};
  int direction = 1, pos = 0;
  for (int y = 0; y < Height; ++y) {
    const uint8_t* src = Reader.ScanLine(y);
    uint8_t* dst = Writer.ScanLine(y);
    int x = direction == 1 ? 0 : Width - 1;
    for (int n = 0; n < Width; ++n, x += direction, pos += direction) {
      const uint8_t* p = src + 3 * static_cast<size_t>(x);
      TLanes& e = errors[static_cast<size_t>(pos)];
      // (error + 8) / 16 with the division truncating toward zero, then clamped to 0..255.
      TLanes s = e + carry + eight;
      s = (s + ((s >> 31) & fifteen)) >> 4;
      TLanes v = TLanes{p[2], p[1], p[0], 0} + s;
      v = v < zero ? zero : v;
      v = v > top ? top : v;
      const uint8_t index =
          Lookup.LookupIndex(static_cast<uint8_t>(v[0]), static_cast<uint8_t>(v[1]), static_cast<uint8_t>(v[2]));
      const TPaletteEntry& chosen = Lookup.Entry(index);
      const TLanes err = v - TLanes{chosen.peRed, chosen.peGreen, chosen.peBlue, 0};
      e = belowPrev + 3 * err;
      belowPrev = below + 5 * err;
      below = err;
      carry = 7 * err;
      dst[x] = index;
    }
    direction = -direction;
    errors[static_cast<size_t>(std::clamp(pos, 0, Width + 1))] = belowPrev;
    carry = below = belowPrev = zero;
    pos = direction == 1 ? 0 : Width + 1;
  }
}

// ---- matrix ditherers --------------------------------------------------------------------------

TMatrixDitherer::TMatrixDitherer(int AWidth, TColorLookup& ALookup, int Rows, int Margin, std::vector<TErrorTap> Taps,
                                 int32_t Divisor)
    : TDitherEngine(AWidth, ALookup),
      FRows(static_cast<size_t>(Rows) * 3,
            std::vector<int32_t>(static_cast<size_t>(std::max(AWidth, 0)) + 2 * static_cast<size_t>(Margin), 0)),
      FRowCount(Rows),
      FMargin(Margin),
      FTaps(std::move(Taps)),
      FDivisor(Divisor) {}

uint8_t TMatrixDitherer::Dither(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B) {
  const size_t pos = static_cast<size_t>(Column + FMargin);
  const uint8_t in[3] = {Red, Green, Blue};
  uint8_t v[3];
  for (size_t c = 0; c < 3; ++c) v[c] = Clamp255(in[c] + (FRows[c][pos] + FDivisor / 2) / FDivisor);
  const uint8_t index = Lookup->Lookup(v[0], v[1], v[2], R, G, B);
  const int32_t err[3] = {v[0] - R, v[1] - G, v[2] - B};
  for (size_t c = 0; c < 3; ++c) {
    if (err[c] == 0) continue;
    for (const TErrorTap& tap : FTaps) {
      const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(pos) + tap.Offset * Direction;
      FRows[static_cast<size_t>(tap.Row) * 3 + c][static_cast<size_t>(at)] += tap.Weight * err[c];
    }
  }
  NextColumn();
  return index;
}

void TMatrixDitherer::NextLine() {
  for (size_t c = 0; c < 3; ++c) {
    std::fill(FRows[c].begin(), FRows[c].end(), 0);
    for (size_t r = 0; r + 1 < static_cast<size_t>(FRowCount); ++r) FRows[r * 3 + c].swap(FRows[(r + 1) * 3 + c]);
  }
  TDitherEngine::NextLine();
}

namespace {
std::vector<TErrorTap> FiveByThreeTaps(const int16_t (&Weights)[12]) {
  static constexpr int8_t Rows[12] = {0, 0, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2};
  static constexpr int8_t Offsets[12] = {1, 2, -2, -1, 0, 1, 2, -2, -1, 0, 1, 2};
  std::vector<TErrorTap> taps;
  for (size_t i = 0; i < 12; ++i) taps.push_back({Rows[i], Offsets[i], Weights[i]});
  return taps;
}

constexpr int16_t StuckiWeights[12] = {8, 4, 2, 4, 8, 4, 2, 1, 2, 4, 2, 1};
constexpr int16_t SierraWeights[12] = {5, 3, 2, 4, 5, 4, 2, 0, 2, 3, 2, 0};
constexpr int16_t JaJuNiWeights[12] = {7, 5, 3, 5, 7, 5, 3, 1, 3, 5, 3, 1};
}  // namespace

T5by3Ditherer::T5by3Ditherer(int AWidth, TColorLookup& ALookup, const int16_t (&Weights)[12], int32_t Divisor)
    : TMatrixDitherer(AWidth, ALookup, 3, 2, FiveByThreeTaps(Weights), Divisor) {}

TStuckiDitherer::TStuckiDitherer(int AWidth, TColorLookup& ALookup)
    : T5by3Ditherer(AWidth, ALookup, StuckiWeights, 42) {}
TSierraDitherer::TSierraDitherer(int AWidth, TColorLookup& ALookup)
    : T5by3Ditherer(AWidth, ALookup, SierraWeights, 32) {}
TJaJuNiDitherer::TJaJuNiDitherer(int AWidth, TColorLookup& ALookup)
    : T5by3Ditherer(AWidth, ALookup, JaJuNiWeights, 48) {}

TSteveArcheDitherer::TSteveArcheDitherer(int AWidth, TColorLookup& ALookup)
    : TMatrixDitherer(AWidth, ALookup, 4, 3,
                      {{0, 2, 32},
                       {1, -3, 12},
                       {1, -1, 26},
                       {1, 1, 30},
                       {1, 3, 16},
                       {2, -2, 12},
                       {2, 0, 26},
                       {2, 2, 12},
                       {3, -3, 5},
                       {3, -1, 12},
                       {3, 1, 12},
                       {3, 3, 5}},
                      200) {}

TBurkesDitherer::TBurkesDitherer(int AWidth, TColorLookup& ALookup)
    : TMatrixDitherer(AWidth, ALookup, 2, 2,
                      {{0, 1, 8}, {0, 2, 4}, {1, -2, 2}, {1, -1, 4}, {1, 0, 8}, {1, 1, 4}, {1, 2, 2}}, 32) {}
