#pragma once
// Ditherers: walk a row in serpentine order (left to right, then right to left) and map each
// pixel through a colour lookup, spreading the error of each choice over pixels not yet done.
// All error arithmetic is in 32-bit integers, divisions truncate toward zero, and corrected
// channel values are clamped to 0..255 before the lookup.
#include <cstdint>
#include <vector>

class TColorLookup;
class TFastColorLookup;
class TDIBReader;
class TDIBWriter;

// No diffusion: each pixel takes its nearest colour.
class TDitherEngine {
 public:
  TDitherEngine(int AWidth, TColorLookup& ALookup) : Lookup(&ALookup), Width(AWidth) {}
  virtual ~TDitherEngine() = default;
  TDitherEngine(const TDitherEngine&) = delete;
  TDitherEngine& operator=(const TDitherEngine&) = delete;
  // Index for the pixel at Column; R, G, B receive the chosen colour; moves Column on.
  virtual uint8_t Dither(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B);
  // Turns round at the end of a row.
  virtual void NextLine();
  void NextColumn() { Column += Direction; }

  int Direction = 1;
  int Column = 0;
  TColorLookup* Lookup;
  int Width;
};

// Floyd-Steinberg: 7/16 ahead, 3/16, 5/16 and 1/16 on the next row.
class TFloydSteinbergDitherer : public TDitherEngine {
 public:
  TFloydSteinbergDitherer(int AWidth, TColorLookup& ALookup);
  uint8_t Dither(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B) override;
  void NextLine() override;

 private:
  struct TChannel {
    std::vector<int32_t> Errors;  // Width + 2
    int Pos = 0;
    int32_t Carry = 0, Below = 0, BelowPrev = 0;
  };
  int32_t Diffuse(TChannel& C, uint8_t Value, uint8_t Chosen);
  TChannel FChannels[3];
};

// The whole picture through Floyd-Steinberg and the fast lookup in one loop, with exactly the
// arithmetic and order of TFloydSteinbergDitherer (which stays the plain reference): no call
// per pixel, the three channels' errors side by side, the candidates of each pixel chosen
// ahead. Rows 0..Height-1 of Reader (24-bit) go to the same rows of Writer (8-bit). The loop
// takes the widest form the processor has, up to Widest: AVX-512 with its byte permutes, AVX2,
// or SSE2 (every x86-64 processor); on other processors the reference ditherer.
enum class TDitherForm { Widest, AVX2, SSE2 };
void DitherFloydSteinberg(TDIBReader& Reader, TDIBWriter& Writer, int Width, int Height, TFastColorLookup& Lookup,
                          TDitherForm Widest = TDitherForm::Widest);

// One share of a pixel's error: Row 0 is the current row, 1 the next...; Offset counts pixels
// in the direction of travel; Weight is over the ditherer's divisor.
struct TErrorTap {
  int8_t Row, Offset;
  int16_t Weight;
};

// Ditherers that keep the error sums of a few rows, three channels each, and spread each error
// by a table of taps. Pixel x uses element x + Margin in both directions.
class TMatrixDitherer : public TDitherEngine {
 public:
  uint8_t Dither(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B) override;
  // The current row is done: the next row becomes current, the cleared one goes last.
  void NextLine() override;

 protected:
  TMatrixDitherer(int AWidth, TColorLookup& ALookup, int Rows, int Margin, std::vector<TErrorTap> Taps,
                  int32_t Divisor);

 private:
  std::vector<std::vector<int32_t>> FRows;  // [row * 3 + channel]
  int FRowCount, FMargin;
  std::vector<TErrorTap> FTaps;
  int32_t FDivisor;
};

// Ditherers that spread over the current row and the two rows below, two pixels either side.
class T5by3Ditherer : public TMatrixDitherer {
 protected:
  // Weights: the current row at +1 and +2, then the next two rows at -2 .. +2 each.
  T5by3Ditherer(int AWidth, TColorLookup& ALookup, const int16_t (&Weights)[12], int32_t Divisor);
};

class TStuckiDitherer : public T5by3Ditherer {
 public:
  TStuckiDitherer(int AWidth, TColorLookup& ALookup);
};

class TSierraDitherer : public T5by3Ditherer {
 public:
  TSierraDitherer(int AWidth, TColorLookup& ALookup);
};

// Jarvis, Judice and Ninke.
class TJaJuNiDitherer : public T5by3Ditherer {
 public:
  TJaJuNiDitherer(int AWidth, TColorLookup& ALookup);
};

// Stevenson-Arce: four rows, three pixels either side, divisor 200.
class TSteveArcheDitherer : public TMatrixDitherer {
 public:
  TSteveArcheDitherer(int AWidth, TColorLookup& ALookup);
};

// Burkes: the current row and one below, divisor 32.
class TBurkesDitherer : public TMatrixDitherer {
 public:
  TBurkesDitherer(int AWidth, TColorLookup& ALookup);
};
