#pragma once
// Shared by the imaging tests: 24-bit bitmaps exchanged with ImageMagick as binary pixmaps,
// PSNR and small picture makers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/Bitmap.h"
#include "tests/support/PeerTools.h"
#include "tests/support/Scratch.h"

namespace imgtest {

inline constexpr const char* Convert = testsupport::kConvert;
using testsupport::RunCommand;
using testsupport::TScratchDir;

// Pixmap rows are R, G, B; bitmap rows are B, G, R.
inline void SwapRedBlue(std::vector<char>& row) {
  for (size_t x = 0; x + 2 < row.size(); x += 3) std::swap(row[x], row[x + 2]);
}

// P6 with maxval 255 (comment lines allowed) into a 24-bit bitmap; empty on any fault.
inline TBitmap LoadPixmap(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::string magic;
  int w = 0, h = 0, maxval = 0;
  auto field = [&f](auto& v) {
    while ((f >> std::ws).peek() == '#') f.ignore(1 << 20, '\n');
    f >> v;
  };
  field(magic), field(w), field(h), field(maxval);
  f.get();
  if (!f || magic != "P6" || maxval != 255 || w <= 0 || h <= 0) {
    ADD_FAILURE() << "cannot read the pixmap " << path;
    return TBitmap();
  }
  TBitmap bmp(w, h, TPixelFormat::pf24bit);
  std::vector<char> row(static_cast<size_t>(w) * 3);
  for (int y = 0; y < h; ++y) {
    f.read(row.data(), static_cast<std::streamsize>(row.size()));
    SwapRedBlue(row);
    std::copy(row.begin(), row.end(), reinterpret_cast<char*>(bmp.ScanLine(y)));
  }
  if (!f) ADD_FAILURE() << "short pixmap " << path;
  return bmp;
}

inline void SavePixmap(const TBitmap& bmp, const std::string& path) {
  std::ofstream f(path, std::ios::binary);
  f << "P6\n" << bmp.Width() << ' ' << bmp.Height() << "\n255\n";
  for (int y = 0; y < bmp.Height(); ++y) {
    const char* s = reinterpret_cast<const char*>(bmp.ScanLine(y));
    std::vector<char> row(s, s + 3 * static_cast<size_t>(bmp.Width()));
    SwapRedBlue(row);
    f.write(row.data(), static_cast<std::streamsize>(row.size()));
  }
}

// A palette as a picture one row high, for the peer's -remap.
inline TBitmap PaletteStrip(const HPALETTE& pal) {
  TBitmap strip(PaletteEntryCount(pal), 1);
  for (int i = 0; i < strip.Width(); ++i) {
    const TPaletteEntry& e = pal->Entries[static_cast<size_t>(i)];
    uint8_t* d = strip.ScanLine(0) + 3 * i;
    d[0] = e.peBlue, d[1] = e.peGreen, d[2] = e.peRed;
  }
  return strip;
}

// An 8-bit bitmap with a palette as a 24-bit one.
inline TBitmap Expand8(const TBitmap& bmp) {
  TBitmap out(bmp.Width(), bmp.Height(), TPixelFormat::pf24bit);
  for (int y = 0; y < bmp.Height(); ++y)
    for (int x = 0; x < bmp.Width(); ++x) {
      const TPaletteEntry& e = bmp.Palette()->Entries[bmp.ScanLine(y)[x]];
      uint8_t* d = out.ScanLine(y) + 3 * x;
      d[0] = e.peBlue, d[1] = e.peGreen, d[2] = e.peRed;
    }
  return out;
}

// Peak signal-to-noise ratio over the three channels of two 24-bit bitmaps of one size.
inline double Psnr(const TBitmap& a, const TBitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) {
    ADD_FAILURE() << "PSNR of bitmaps of different sizes";
    return 0.0;
  }
  double sum = 0.0;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width() * 3; ++x) {
      const double d = static_cast<double>(a.ScanLine(y)[x]) - b.ScanLine(y)[x];
      sum += d * d;
    }
  const double mse = sum / (3.0 * a.Width() * a.Height());
  return mse == 0.0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

// A fixed pseudo-random sequence, so every run sees the same pictures.
struct TRandom {
  uint32_t State;
  explicit TRandom(uint32_t seed) : State(seed) {}
  uint8_t Byte() {
    State ^= State << 13, State ^= State >> 17, State ^= State << 5;
    return static_cast<uint8_t>(State >> 24);
  }
};

inline TBitmap Uniform(int w, int h, uint8_t r, uint8_t g, uint8_t b) {
  TBitmap bmp(w, h, TPixelFormat::pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* d = bmp.ScanLine(y) + 3 * x;
      d[0] = b, d[1] = g, d[2] = r;
    }
  return bmp;
}

// Gradients in blue and green with noise in red.
inline TBitmap Picture(int w, int h, uint32_t seed) {
  TBitmap bmp(w, h, TPixelFormat::pf24bit);
  TRandom rnd(seed);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* d = bmp.ScanLine(y) + 3 * x;
      d[0] = static_cast<uint8_t>(x * 255 / std::max(1, w - 1));
      d[1] = static_cast<uint8_t>(y * 255 / std::max(1, h - 1));
      d[2] = rnd.Byte();
    }
  return bmp;
}

// One of ImageMagick's built-in pictures at the given size, as a 24-bit bitmap.
inline TBitmap PeerPicture(const TScratchDir& s, const std::string& name, int w, int h) {
  const std::string size = std::to_string(w) + "x" + std::to_string(h);
  const std::string file = s / (name + size + ".ppm");
  RunCommand(std::string(Convert) + " " + name + ": -resize " + size + "! -depth 8 " + file);
  return LoadPixmap(file);
}

}  // namespace imgtest
