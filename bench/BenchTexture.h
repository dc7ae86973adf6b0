#pragma once
// The benchmarks' texture: smooth gradients with some noise, as a painted skin has, so the
// palette builder's octree has real work. Seeds give textures of other colours.
#include <cstdint>

#include "platform/Bitmap.h"

inline TBitmap MakeTexture(int size, int seed) {
  TBitmap b(size, size, TPixelFormat::pf24bit);
  uint32_t r = 0x9E3779B9u * static_cast<uint32_t>(seed + 1);
  for (int y = 0; y < size; ++y) {
    uint8_t* row = b.ScanLine(y);
    for (int x = 0; x < size; ++x) {
      r = r * 1664525u + 1013904223u;
      const int n = static_cast<int>(r >> 28);
      row[3 * x] = static_cast<uint8_t>((x + seed * 17 + n) & 255);
      row[3 * x + 1] = static_cast<uint8_t>((y * 3 / 2 + seed * 5 + n) & 255);
      row[3 * x + 2] = static_cast<uint8_t>(((x ^ y) + seed * 29) & 255);
    }
  }
  return b;
}
