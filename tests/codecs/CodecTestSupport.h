#pragma once
// Helpers for the codec tests: peers run in a scratch folder and their decodes read back as 8-bit
// pixmaps, a reader's error caught as text, little byte writers for hand-built files, and a small
// PNG writer of our own for the files the peers cannot be asked to make (chosen filters, split or
// empty image data chunks, short palettes, odd chunk names).
#include <zlib.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "codecs/ImageFormats.h"
#include "tests/platform/BmpTestSupport.h"

namespace codectest {

using namespace bmptest;

// Skips the test, saying why, when a peer tool is not installed.
#define CORVANE_REQUIRE_TOOL(path) SKIP_WITHOUT_PEER(path)

// Runs a shell command that writes a P6 pixmap to ppm and reads it back.
inline TRgbImage PeerPixmap(const std::string& command, const std::string& ppm) {
  if (RunPeer(command) != 0) {
    ADD_FAILURE() << "peer failed: " << command;
    return {};
  }
  return ReadPpm(ppm);
}

// ImageMagick's decode of a file as an 8-bit pixmap.
inline TRgbImage MagickPixmap(const std::string& file, TScratchDir& dir) {
  const std::string ppm = dir / "magick.ppm";
  return PeerPixmap(std::string(kConvert) + " " + file + " -depth 8 -type TrueColor ppm:" + ppm, ppm);
}

// Pixels of a 32-bit bitmap whose alpha byte differs from ImageMagick's alpha of file.
inline int AlphaMismatches(const TBitmap& g, const std::string& file, TScratchDir& dir) {
  const std::string ppm = dir / "alpha.ppm";
  const TRgbImage alpha =
      PeerPixmap(std::string(kConvert) + " '" + file + "' -alpha extract -depth 8 -type TrueColor ppm:" + ppm, ppm);
  if (alpha.Width != g.Width() || alpha.Height != g.Height() || g.PixelFormat() != TPixelFormat::pf32bit) return -1;
  int bad = 0;
  for (int y = 0; y < g.Height(); ++y)
    for (int x = 0; x < g.Width(); ++x) bad += g.ScanLine(y)[4 * x + 3] != GetRValue(alpha.At(x, y));
  return bad;
}

// The error text a load raised, or "" when it loaded.
template <class TGraphic>
std::string LoadError(TGraphic& g, const std::vector<uint8_t>& data) {
  try {
    g.LoadFromMemory(data.data(), data.size());
  } catch (const Exception& e) {
    return e.Message;
  }
  return "";
}

// A load that must fail: with the error text given, or, for nullptr, silently; either way
// leaving the bitmap empty.
template <class TGraphic>
void ExpectRefused(const std::vector<uint8_t>& data, const char* error) {
  TGraphic g;
  const std::string message = LoadError(g, data);
  if (error)
    EXPECT_NE(message.find(error), std::string::npos) << message;
  else
    EXPECT_EQ(message, "");
  EXPECT_TRUE(g.Empty());
}

inline void Put16(std::vector<uint8_t>& v, unsigned x) { v.insert(v.end(), {uint8_t(x), uint8_t(x >> 8)}); }
inline void Put32(std::vector<uint8_t>& v, uint32_t x) { Put16(v, x & 0xFFFF), Put16(v, x >> 16); }
inline void Put16BE(std::vector<uint8_t>& v, unsigned x) { v.insert(v.end(), {uint8_t(x >> 8), uint8_t(x)}); }
inline void Put32BE(std::vector<uint8_t>& v, uint32_t x) { Put16BE(v, x >> 16), Put16BE(v, x & 0xFFFF); }

// A peer's decode through `tool file`, as an 8-bit PPM (grey and bit maps widened).
inline TRgbImage PeerDecode(const std::string& tool, const std::string& file, TScratchDir& dir) {
  const std::string ppm = dir / "peer.ppm";
  return PeerPixmap(tool + " " + file + " | /usr/bin/pamdepth 255 | /usr/bin/ppmtoppm > " + ppm, ppm);
}

struct TPngChunk {
  std::string Type;
  std::vector<uint8_t> Data;
  bool BadCrc = false;
};

inline std::vector<uint8_t> PngFile(const std::vector<TPngChunk>& chunks) {
  std::vector<uint8_t> f = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  for (const TPngChunk& c : chunks) {
    Put32BE(f, static_cast<uint32_t>(c.Data.size()));
    const size_t start = f.size();
    f.insert(f.end(), c.Type.begin(), c.Type.end());
    f.insert(f.end(), c.Data.begin(), c.Data.end());
    uint32_t crc = static_cast<uint32_t>(crc32(0, f.data() + start, static_cast<uInt>(f.size() - start)));
    Put32BE(f, c.BadCrc ? crc ^ 1 : crc);
  }
  return f;
}

inline std::vector<uint8_t> Ihdr(uint32_t w, uint32_t h, uint8_t depth, uint8_t colourType, uint8_t interlace = 0) {
  std::vector<uint8_t> d;
  Put32BE(d, w);
  Put32BE(d, h);
  d.insert(d.end(), {depth, colourType, 0, 0, interlace});
  return d;
}

// Filters raw rows (each rowBytes long) with the given filter per row (row index mod 5 when
// filter is -1) and deflates them.
inline std::vector<uint8_t> FilterAndDeflate(const std::vector<uint8_t>& raw, size_t rowBytes, size_t bpp, int filter) {
  std::vector<uint8_t> out;
  std::vector<uint8_t> prev(rowBytes, 0);
  for (size_t y = 0; y * rowBytes < raw.size(); ++y) {
    const uint8_t* r = &raw[y * rowBytes];
    const int f = filter < 0 ? static_cast<int>(y % 5) : filter;
    out.push_back(static_cast<uint8_t>(f));
    for (size_t i = 0; i < rowBytes; ++i) {
      const int a = i >= bpp ? r[i - bpp] : 0, b = prev[i], c = i >= bpp ? prev[i - bpp] : 0;
      int pred = 0;
      if (f == 1) pred = a;
      if (f == 2) pred = b;
      if (f == 3) pred = (a + b) / 2;
      if (f == 4) {
        const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
        pred = pa <= pb && pa <= pc ? a : (pb <= pc ? b : c);
      }
      out.push_back(static_cast<uint8_t>(r[i] - pred));
    }
    prev.assign(r, r + rowBytes);
  }
  std::vector<uint8_t> z(compressBound(out.size()));
  uLongf zn = z.size();
  compress(z.data(), &zn, out.data(), out.size());
  z.resize(zn);
  return z;
}

}  // namespace codectest
