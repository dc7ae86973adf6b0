#include "imaging/Dither.h"

#include <algorithm>

#include "imaging/ColorLookup.h"

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

// ---- matrix ditherers --------------------------------------------------------------------------

namespace {
// Rows of error sums, pixel x at element x + Margin in both directions.
template <size_t Rows>
void InitRows(std::vector<int32_t> (&Buffers)[Rows][3], int Width, int Margin) {
  for (auto& row : Buffers)
    for (auto& ch : row) ch.assign(static_cast<size_t>(std::max(Width, 0)) + 2 * static_cast<size_t>(Margin), 0);
}

// The current row is done: the next row becomes current, the cleared one goes last.
template <size_t Rows>
void RotateRows(std::vector<int32_t> (&Buffers)[Rows][3]) {
  for (int c = 0; c < 3; ++c) {
    std::fill(Buffers[0][c].begin(), Buffers[0][c].end(), 0);
    for (size_t r = 0; r + 1 < Rows; ++r) Buffers[r][c].swap(Buffers[r + 1][c]);
  }
}

// Corrected channel values of the pixel at `pos`, looked up, and each channel's error.
template <size_t Rows>
uint8_t LookupCorrected(std::vector<int32_t> (&Buffers)[Rows][3], size_t pos, int32_t Divisor, TColorLookup& Lookup,
                        uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B, int32_t (&Err)[3]) {
  const uint8_t in[3] = {Red, Green, Blue};
  uint8_t v[3];
  for (int c = 0; c < 3; ++c) v[c] = Clamp255(in[c] + (Buffers[0][c][pos] + Divisor / 2) / Divisor);
  const uint8_t index = Lookup.Lookup(v[0], v[1], v[2], R, G, B);
  Err[0] = v[0] - R;
  Err[1] = v[1] - G;
  Err[2] = v[2] - B;
  return index;
}
}  // namespace

T5by3Ditherer::T5by3Ditherer(int AWidth, TColorLookup& ALookup, int ADivisor)
    : TDitherEngine(AWidth, ALookup), FDivisor(ADivisor) {
  InitRows(FRows, AWidth, 2);
}

uint8_t T5by3Ditherer::Dither(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B) {
  const size_t pos = static_cast<size_t>(Column + 2);
  int32_t err[3];
  const uint8_t index = LookupCorrected(FRows, pos, FDivisor, *Lookup, Red, Green, Blue, R, G, B, err);
  for (int c = 0; c < 3; ++c)
    if (err[c] != 0) DistributeError(&FRows[0][c][pos], &FRows[1][c][pos], &FRows[2][c][pos], err[c]);
  NextColumn();
  return index;
}

void T5by3Ditherer::NextLine() {
  RotateRows(FRows);
  TDitherEngine::NextLine();
}

void TStuckiDitherer::DistributeError(int32_t* Row0, int32_t* Row1, int32_t* Row2, int32_t Error) {
  const int d = Direction, d2 = Step2();
  Row0[d] += 8 * Error;
  Row0[d2] += 4 * Error;
  Row1[-d2] += 2 * Error;
  Row1[-d] += 4 * Error;
  Row1[0] += 8 * Error;
  Row1[d] += 4 * Error;
  Row1[d2] += 2 * Error;
  Row2[-d2] += Error;
  Row2[-d] += 2 * Error;
  Row2[0] += 4 * Error;
  Row2[d] += 2 * Error;
  Row2[d2] += Error;
}

void TSierraDitherer::DistributeError(int32_t* Row0, int32_t* Row1, int32_t* Row2, int32_t Error) {
  const int d = Direction, d2 = Step2();
  Row0[d] += 5 * Error;
  Row0[d2] += 3 * Error;
  Row1[-d2] += 2 * Error;
  Row1[-d] += 4 * Error;
  Row1[0] += 5 * Error;
  Row1[d] += 4 * Error;
  Row1[d2] += 2 * Error;
  Row2[-d] += 2 * Error;
  Row2[0] += 3 * Error;
  Row2[d] += 2 * Error;
}

void TJaJuNiDitherer::DistributeError(int32_t* Row0, int32_t* Row1, int32_t* Row2, int32_t Error) {
  const int d = Direction, d2 = Step2();
  Row0[d] += 7 * Error;
  Row0[d2] += 5 * Error;
  Row1[-d2] += 3 * Error;
  Row1[-d] += 5 * Error;
  Row1[0] += 7 * Error;
  Row1[d] += 5 * Error;
  Row1[d2] += 3 * Error;
  Row2[-d2] += Error;
  Row2[-d] += 3 * Error;
  Row2[0] += 5 * Error;
  Row2[d] += 3 * Error;
  Row2[d2] += Error;
}

TSteveArcheDitherer::TSteveArcheDitherer(int AWidth, TColorLookup& ALookup) : TDitherEngine(AWidth, ALookup) {
  InitRows(FRows, AWidth, 3);
}

uint8_t TSteveArcheDitherer::Dither(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B) {
  const size_t pos = static_cast<size_t>(Column + 3);
  int32_t err[3];
  const uint8_t index = LookupCorrected(FRows, pos, 200, *Lookup, Red, Green, Blue, R, G, B, err);
  const int d = Direction, d2 = 2 * Direction, d3 = 3 * Direction;
  for (int c = 0; c < 3; ++c) {
    const int32_t e = err[c];
    if (e == 0) continue;
    int32_t* r0 = &FRows[0][c][pos];
    int32_t* r1 = &FRows[1][c][pos];
    int32_t* r2 = &FRows[2][c][pos];
    int32_t* r3 = &FRows[3][c][pos];
    r0[d2] += 32 * e;
    r1[-d3] += 12 * e;
    r1[-d] += 26 * e;
    r1[d] += 30 * e;
    r1[d3] += 16 * e;
    r2[-d2] += 12 * e;
    r2[0] += 26 * e;
    r2[d2] += 12 * e;
    r3[-d3] += 5 * e;
    r3[-d] += 12 * e;
    r3[d] += 12 * e;
    r3[d3] += 5 * e;
  }
  NextColumn();
  return index;
}

void TSteveArcheDitherer::NextLine() {
  RotateRows(FRows);
  TDitherEngine::NextLine();
}

TBurkesDitherer::TBurkesDitherer(int AWidth, TColorLookup& ALookup) : TDitherEngine(AWidth, ALookup) {
  InitRows(FRows, AWidth, 2);
}

uint8_t TBurkesDitherer::Dither(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B) {
  const size_t pos = static_cast<size_t>(Column + 2);
  int32_t err[3];
  const uint8_t index = LookupCorrected(FRows, pos, 32, *Lookup, Red, Green, Blue, R, G, B, err);
  const int d = Direction, d2 = 2 * Direction;
  for (int c = 0; c < 3; ++c) {
    const int32_t e = err[c];
    if (e == 0) continue;
    int32_t* r0 = &FRows[0][c][pos];
    int32_t* r1 = &FRows[1][c][pos];
    r0[d] += 8 * e;
    r0[d2] += 4 * e;
    r1[-d2] += 2 * e;
    r1[-d] += 4 * e;
    r1[0] += 8 * e;
    r1[d] += 4 * e;
    r1[d2] += 2 * e;
  }
  NextColumn();
  return index;
}

void TBurkesDitherer::NextLine() {
  RotateRows(FRows);
  TDitherEngine::NextLine();
}
