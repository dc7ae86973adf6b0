#pragma once
// Helpers for the bitmap tests: reading the portable pixmaps the peer tools write so their
// decode can be compared with ours, and test pictures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/Bitmap.h"
#include "tests/support/Files.h"
#include "tests/support/PeerTools.h"
#include "tests/support/Scratch.h"

namespace bmptest {

using testsupport::kConvert;
using testsupport::ReadBytes;
using testsupport::RunPeer;
using testsupport::TScratchDir;
using testsupport::WriteBytes;

struct TRgbImage {
  int Width = 0, Height = 0;
  std::vector<uint8_t> Rgb;  // rows top-down, 3 bytes a pixel
  TColor At(int x, int y) const {
    const uint8_t* p = &Rgb[(static_cast<size_t>(y) * Width + x) * 3];
    return RGBColor(p[0], p[1], p[2]);
  }
};

// Reads a binary PPM (P6, maxval 255) as the peers write it.
inline TRgbImage ReadPpm(const std::string& path) {
  TRgbImage img;
  std::ifstream f(path, std::ios::binary);
  std::string magic;
  int maxval = 0;
  f >> magic;
  auto skipComments = [&] {
    f >> std::ws;
    while (f.peek() == '#') {
      std::string line;
      std::getline(f, line);
      f >> std::ws;
    }
  };
  skipComments();
  f >> img.Width;
  skipComments();
  f >> img.Height;
  skipComments();
  f >> maxval;
  f.get();
  if (magic != "P6" || maxval != 255 || img.Width <= 0 || img.Height <= 0) {
    ADD_FAILURE() << "not a P6 pixmap with maxval 255: " << path;
    return {};
  }
  img.Rgb.resize(static_cast<size_t>(img.Width) * img.Height * 3);
  f.read(reinterpret_cast<char*>(img.Rgb.data()), static_cast<std::streamsize>(img.Rgb.size()));
  if (!f) ADD_FAILURE() << "short pixmap " << path;
  return img;
}

inline void WritePpm(const std::string& path, const TRgbImage& img) {
  std::ofstream f(path, std::ios::binary);
  f << "P6\n" << img.Width << " " << img.Height << "\n255\n";
  f.write(reinterpret_cast<const char*>(img.Rgb.data()), static_cast<std::streamsize>(img.Rgb.size()));
}

// A deterministic picture with smooth gradients and noise, so quantizers have work to do.
inline TRgbImage MakeTestPicture(int w, int h, uint32_t seed = 12345) {
  TRgbImage img;
  img.Width = w;
  img.Height = h;
  img.Rgb.resize(static_cast<size_t>(w) * h * 3);
  uint32_t s = seed;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      s = s * 1664525u + 1013904223u;
      uint8_t* p = &img.Rgb[(static_cast<size_t>(y) * w + x) * 3];
      p[0] = static_cast<uint8_t>(x * 255 / (w > 1 ? w - 1 : 1));
      p[1] = static_cast<uint8_t>(y * 255 / (h > 1 ? h - 1 : 1));
      p[2] = static_cast<uint8_t>((s >> 24));
    }
  return img;
}

// Number of pixels whose channels differ by more than tol; reports the first few.
inline int CountMismatches(const TBitmap& bmp, const TRgbImage& ref, int tol, const std::string& what) {
  if (bmp.Width() != ref.Width || bmp.Height() != ref.Height) {
    ADD_FAILURE() << what << ": size " << bmp.Width() << "x" << bmp.Height() << " vs " << ref.Width << "x"
                  << ref.Height;
    return -1;
  }
  int bad = 0;
  for (int y = 0; y < ref.Height; ++y)
    for (int x = 0; x < ref.Width; ++x) {
      TColor a = bmp.Pixel(x, y), b = ref.At(x, y);
      int dr = std::abs(GetRValue(a) - GetRValue(b)), dg = std::abs(GetGValue(a) - GetGValue(b)),
          db = std::abs(GetBValue(a) - GetBValue(b));
      if (dr > tol || dg > tol || db > tol) {
        if (++bad <= 3)
          ADD_FAILURE() << what << ": pixel " << x << "," << y << " ours " << std::hex << a << " peer " << b
                        << std::dec;
      }
    }
  return bad;
}

}  // namespace bmptest
