#pragma once
// Ditherers: walk a row in serpentine order (left to right, then right to left) and map each
// pixel through a colour lookup, spreading the error of each choice over pixels not yet done.
// All error arithmetic is in 32-bit integers, divisions truncate toward zero, and corrected
// channel values are clamped to 0..255 before the lookup.
#include <cstdint>
#include <vector>

class TColorLookup;

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

// Ditherers that spread over the current row and the two rows below, two pixels either side.
class T5by3Ditherer : public TDitherEngine {
 public:
  T5by3Ditherer(int AWidth, TColorLookup& ALookup, int ADivisor);
  uint8_t Dither(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B) override;
  void NextLine() override;

 protected:
  // Row0 is the current row, Row1 and Row2 the next two, each pointing at this pixel's element;
  // Step is 2 x Direction.
  virtual void DistributeError(int32_t* Row0, int32_t* Row1, int32_t* Row2, int32_t Error) = 0;
  int Step2() const { return 2 * Direction; }

 private:
  std::vector<int32_t> FRows[3][3];  // [row][channel], Width + 4 each
  int FDivisor;
};

class TStuckiDitherer : public T5by3Ditherer {
 public:
  TStuckiDitherer(int AWidth, TColorLookup& ALookup) : T5by3Ditherer(AWidth, ALookup, 42) {}
 protected:
  void DistributeError(int32_t* Row0, int32_t* Row1, int32_t* Row2, int32_t Error) override;
};

class TSierraDitherer : public T5by3Ditherer {
 public:
  TSierraDitherer(int AWidth, TColorLookup& ALookup) : T5by3Ditherer(AWidth, ALookup, 32) {}
 protected:
  void DistributeError(int32_t* Row0, int32_t* Row1, int32_t* Row2, int32_t Error) override;
};

// Jarvis, Judice and Ninke.
class TJaJuNiDitherer : public T5by3Ditherer {
 public:
  TJaJuNiDitherer(int AWidth, TColorLookup& ALookup) : T5by3Ditherer(AWidth, ALookup, 48) {}
 protected:
  void DistributeError(int32_t* Row0, int32_t* Row1, int32_t* Row2, int32_t Error) override;
};

// Stevenson-Arce: four rows, three pixels either side, divisor 200.
class TSteveArcheDitherer : public TDitherEngine {
 public:
  TSteveArcheDitherer(int AWidth, TColorLookup& ALookup);
  uint8_t Dither(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B) override;
  void NextLine() override;

 private:
  std::vector<int32_t> FRows[4][3];  // Width + 6 each
};

// Burkes: the current row and one below, divisor 32.
class TBurkesDitherer : public TDitherEngine {
 public:
  TBurkesDitherer(int AWidth, TColorLookup& ALookup);
  uint8_t Dither(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B) override;
  void NextLine() override;

 private:
  std::vector<int32_t> FRows[2][3];  // Width + 4 each
};
