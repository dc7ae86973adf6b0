#pragma once
// Shared by the imaging tests: 24-bit bitmaps exchanged with ImageMagick as binary pixmaps,
// PSNR, synthetic pictures, and a private scratch folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/Bitmap.h"

namespace imgtest {

inline constexpr const char* Convert = "/usr/bin/convert";

// Adds a failure naming the peer when it is missing (./test installs it; nothing is skipped).
inline bool HavePeer(const char* path) {
  if (access(path, X_OK) == 0) return true;
  ADD_FAILURE() << path << " is missing: the comparison with the peer cannot run (scripts/install-deps installs it)";
  return false;
}

// Runs a shell command and returns what it printed on stdout and stderr.
inline std::string RunCommand(const std::string& cmd, int* status = nullptr) {
  std::string out;
  FILE* p = popen((cmd + " 2>&1").c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  int rc = pclose(p);
  if (status) *status = rc;
  return out;
}

struct TScratch {
  std::filesystem::path Dir;
  TScratch() {
    char tmpl[] = "/tmp/corvane-imaging-XXXXXX";
    Dir = mkdtemp(tmpl);
  }
  ~TScratch() {
    std::error_code ec;
    std::filesystem::remove_all(Dir, ec);
  }
  std::string File(const std::string& name) const { return (Dir / name).string(); }
};

// P6 with maxval 255 into a 24-bit bitmap (rows B, G, R); an empty bitmap on any fault.
inline TBitmap LoadPixmap(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::string magic;
  int w = 0, h = 0, maxval = 0;
  // Header fields may be separated by comment lines, as the peer writes them.
  auto field = [&f](auto& v) {
    f >> std::ws;
    while (f.peek() == '#') {
      std::string comment;
      std::getline(f, comment);
      f >> std::ws;
    }
    f >> v;
  };
  field(magic);
  field(w);
  field(h);
  field(maxval);
  f.get();
  if (!f || magic != "P6" || maxval != 255 || w <= 0 || h <= 0) {
    ADD_FAILURE() << "cannot read the pixmap " << path;
    return TBitmap();
  }
  TBitmap bmp(w, h, TPixelFormat::pf24bit);
  std::vector<char> row(static_cast<size_t>(w) * 3);
  for (int y = 0; y < h; ++y) {
    f.read(row.data(), static_cast<std::streamsize>(row.size()));
    uint8_t* d = bmp.ScanLine(y);
    for (int x = 0; x < w; ++x) {
      d[3 * x] = static_cast<uint8_t>(row[3 * x + 2]);
      d[3 * x + 1] = static_cast<uint8_t>(row[3 * x + 1]);
      d[3 * x + 2] = static_cast<uint8_t>(row[3 * x]);
    }
  }
  if (!f) ADD_FAILURE() << "short pixmap " << path;
  return bmp;
}

inline void SavePixmap(const TBitmap& bmp, const std::string& path) {
  std::ofstream f(path, std::ios::binary);
  f << "P6\n" << bmp.Width() << ' ' << bmp.Height() << "\n255\n";
  std::vector<char> row(static_cast<size_t>(bmp.Width()) * 3);
  for (int y = 0; y < bmp.Height(); ++y) {
    const uint8_t* s = bmp.ScanLine(y);
    for (int x = 0; x < bmp.Width(); ++x) {
      row[3 * x] = static_cast<char>(s[3 * x + 2]);
      row[3 * x + 1] = static_cast<char>(s[3 * x + 1]);
      row[3 * x + 2] = static_cast<char>(s[3 * x]);
    }
    f.write(row.data(), static_cast<std::streamsize>(row.size()));
  }
}

// An 8-bit bitmap with a palette as a 24-bit one.
inline TBitmap Expand8(const TBitmap& bmp) {
  TBitmap out(bmp.Width(), bmp.Height(), TPixelFormat::pf24bit);
  const auto& pal = bmp.Palette()->Entries;
  for (int y = 0; y < bmp.Height(); ++y) {
    const uint8_t* s = bmp.ScanLine(y);
    uint8_t* d = out.ScanLine(y);
    for (int x = 0; x < bmp.Width(); ++x) {
      const TPaletteEntry& e = pal[s[x]];
      d[3 * x] = e.peBlue;
      d[3 * x + 1] = e.peGreen;
      d[3 * x + 2] = e.peRed;
    }
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
  for (int y = 0; y < a.Height(); ++y) {
    const uint8_t* p = a.ScanLine(y);
    const uint8_t* q = b.ScanLine(y);
    for (int x = 0; x < a.Width() * 3; ++x) {
      double d = static_cast<double>(p[x]) - q[x];
      sum += d * d;
    }
  }
  double mse = sum / (3.0 * a.Width() * a.Height());
  return mse == 0.0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

// A fixed pseudo-random generator, so every run sees the same pictures.
struct TRandom {
  uint32_t State;
  explicit TRandom(uint32_t seed) : State(seed) {}
  uint32_t Next() {
    State ^= State << 13;
    State ^= State >> 17;
    State ^= State << 5;
    return State;
  }
  uint8_t Byte() { return static_cast<uint8_t>(Next() >> 24); }
};

inline TBitmap Uniform(int w, int h, uint8_t r, uint8_t g, uint8_t b) {
  TBitmap bmp(w, h, TPixelFormat::pf24bit);
  for (int y = 0; y < h; ++y) {
    uint8_t* d = bmp.ScanLine(y);
    for (int x = 0; x < w; ++x) {
      d[3 * x] = b;
      d[3 * x + 1] = g;
      d[3 * x + 2] = r;
    }
  }
  return bmp;
}

// One of ImageMagick's built-in pictures at the given size, as a 24-bit bitmap.
inline TBitmap PeerPicture(const TScratch& s, const std::string& name, int w, int h) {
  std::string file = s.File(name + std::to_string(w) + "x" + std::to_string(h) + ".ppm");
  std::ostringstream cmd;
  cmd << Convert << ' ' << name << ": -resize " << w << 'x' << h << "! -depth 8 " << file;
  RunCommand(cmd.str());
  return LoadPixmap(file);
}

}  // namespace imgtest
