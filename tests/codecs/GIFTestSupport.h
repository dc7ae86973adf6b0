#pragma once
// Helpers of the GIF tests: peer tools, scratch folders, GIF streams assembled byte by byte
// (independent of the writer under test), and pictures as RGB bytes.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "codecs/GIFImage.h"
#include "tests/support/Files.h"
#include "tests/support/PeerTools.h"
#include "tests/support/Scratch.h"

namespace giftest {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

#define GIF_REQUIRE_TOOLS()                                                                                  \
  do {                                                                                                       \
    for (const char* t : {"/usr/bin/gif2rgb", "/usr/bin/gifsicle", "/usr/bin/gifbuild", "/usr/bin/convert"}) \
      SKIP_WITHOUT_PEER(t);                                                                                  \
  } while (0)

// Scratch folders, peers and whole-file helpers come from the shared test support.
struct TScratch : testsupport::TScratchDir {
  TScratch() : testsupport::TScratchDir("gif"), Dir(Path()) {}
  const fs::path Dir;
};

inline int Shell(const std::string& cmd) { return testsupport::RunPeer(cmd); }
inline Bytes ReadFile(const std::string& name) { return testsupport::ReadBytes(name); }
inline void WriteFile(const std::string& name, const Bytes& b) { testsupport::WriteBytes(name, b); }

// The picture as R, G, B bytes, rows top to bottom.
inline Bytes RGBOf(const TBitmap& b) {
  Bytes out;
  out.reserve(static_cast<size_t>(b.Width()) * b.Height() * 3);
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) {
      const TColor c = b.Pixel(x, y);
      out.insert(out.end(), {GetRValue(c), GetGValue(c), GetBValue(c)});
    }
  return out;
}

inline std::unique_ptr<TGIFImage> Load(const Bytes& data, std::vector<std::string>* warnings = nullptr) {
  auto g = std::make_unique<TGIFImage>();
  if (warnings) g->OnWarning = [warnings](TGIFImage&, int, const std::string& m) { warnings->push_back(m); };
  TMemoryStream s(data);
  g->LoadFromStream(s);
  return g;
}

// LZW codes that need no table: literal pixels at a fixed size, with a clear code before the
// decoder would widen its codes. Packed into sub-blocks of at most BlockSize bytes.
inline Bytes LiteralLZW(int S, const Bytes& pixels, int BlockSize = 255, bool end = true) {
  const int clear = 1 << S, size = S + 1;
  Bytes packed;
  uint32_t acc = 0;
  int bits = 0;
  auto put = [&](int code) {
    acc |= static_cast<uint32_t>(code) << bits;
    bits += size;
    while (bits >= 8) {
      packed.push_back(static_cast<uint8_t>(acc));
      acc >>= 8;
      bits -= 8;
    }
  };
  int sinceClear = 0;
  put(clear);
  for (uint8_t p : pixels) {
    if (sinceClear == clear - 2) {
      put(clear);
      sinceClear = 0;
    }
    put(p);
    ++sinceClear;
  }
  if (end) put(clear + 1);
  if (bits > 0) packed.push_back(static_cast<uint8_t>(acc));
  Bytes out{static_cast<uint8_t>(S)};
  for (size_t i = 0; i < packed.size(); i += static_cast<size_t>(BlockSize)) {
    const size_t n = std::min(packed.size() - i, static_cast<size_t>(BlockSize));
    out.push_back(static_cast<uint8_t>(n));
    out.insert(out.end(), packed.begin() + static_cast<long>(i), packed.begin() + static_cast<long>(i + n));
  }
  out.push_back(0);
  return out;
}

// "GIF89a", a screen of w x h with a global table of 2^(bits) grey levels.
inline Bytes Header(int w, int h, int bits = 2, const char* sig = "GIF89a") {
  Bytes b(sig, sig + 6);
  b.insert(b.end(), {static_cast<uint8_t>(w), static_cast<uint8_t>(w >> 8), static_cast<uint8_t>(h),
                     static_cast<uint8_t>(h >> 8), static_cast<uint8_t>(0x80 | (bits - 1)), 0, 0});
  const int n = 1 << bits;
  for (int i = 0; i < n; ++i) {
    const auto v = static_cast<uint8_t>(i * 255 / (n - 1));
    b.insert(b.end(), {v, v, v});
  }
  return b;
}

inline Bytes Descriptor(int x, int y, int w, int h, uint8_t packed = 0) {
  return {0x2C,
          static_cast<uint8_t>(x),
          static_cast<uint8_t>(x >> 8),
          static_cast<uint8_t>(y),
          static_cast<uint8_t>(y >> 8),
          static_cast<uint8_t>(w),
          static_cast<uint8_t>(w >> 8),
          static_cast<uint8_t>(h),
          static_cast<uint8_t>(h >> 8),
          packed};
}

inline Bytes GCE(uint8_t packed, uint16_t delay, uint8_t transparent) {
  return {'!', 0xF9, 4, packed, static_cast<uint8_t>(delay), static_cast<uint8_t>(delay >> 8), transparent, 0};
}

inline Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

}  // namespace giftest
