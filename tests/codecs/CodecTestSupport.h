#pragma once
// Helpers for the codec tests: peer decodes as 8-bit pixmaps, and a small PNG writer of our own
// for the files the peers cannot be asked to make (chosen filters, split or empty image data
// chunks, short palettes, odd chunk names).
#include <zlib.h>

#include <string>
#include <vector>

#include "tests/codecs/FormatTestSupport.h"
#include "tests/platform/BmpTestSupport.h"

namespace codectest {

using namespace bmptest;

// A peer's decode through `tool file`, as an 8-bit PPM (grey and bit maps widened).
inline TRgbImage PeerDecode(const std::string& tool, const std::string& file, TScratchDir& dir) {
  const std::string ppm = dir / "peer.ppm";
  return formattest::PeerPixmap(tool + " " + file + " | /usr/bin/pamdepth 255 | /usr/bin/ppmtoppm > " + ppm, ppm);
}

inline void PutBE32(std::vector<uint8_t>& v, uint32_t x) {
  for (int s = 24; s >= 0; s -= 8) v.push_back(static_cast<uint8_t>(x >> s));
}

struct TPngChunk {
  std::string Type;
  std::vector<uint8_t> Data;
  bool BadCrc = false;
};

inline std::vector<uint8_t> PngFile(const std::vector<TPngChunk>& chunks) {
  std::vector<uint8_t> f = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  for (const TPngChunk& c : chunks) {
    PutBE32(f, static_cast<uint32_t>(c.Data.size()));
    const size_t start = f.size();
    f.insert(f.end(), c.Type.begin(), c.Type.end());
    f.insert(f.end(), c.Data.begin(), c.Data.end());
    uint32_t crc = static_cast<uint32_t>(crc32(0, f.data() + start, static_cast<uInt>(f.size() - start)));
    PutBE32(f, c.BadCrc ? crc ^ 1 : crc);
  }
  return f;
}

inline std::vector<uint8_t> Ihdr(uint32_t w, uint32_t h, uint8_t depth, uint8_t colourType, uint8_t interlace = 0) {
  std::vector<uint8_t> d;
  PutBE32(d, w);
  PutBE32(d, h);
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
