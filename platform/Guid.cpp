#include "platform/Guid.h"

#include <cstdio>
#include <random>

TGUIDBytes CreateGUID() {
  static std::random_device device;
  static std::mt19937_64 engine([] {
    std::seed_seq seq{device(), device(), device(), device(), device(), device()};
    return std::mt19937_64(seq);
  }());
  TGUIDBytes g{};
  for (size_t i = 0; i < g.size(); i += 8) {
    uint64_t r = engine();
    for (size_t k = 0; k < 8; ++k) g[i + k] = static_cast<uint8_t>(r >> (8 * k));
  }
  // Version 4 in the top nibble of the third field (stored little-endian, so byte 7),
  // variant 10xx in the first byte of the last eight.
  g[7] = static_cast<uint8_t>((g[7] & 0x0F) | 0x40);
  g[8] = static_cast<uint8_t>((g[8] & 0x3F) | 0x80);
  return g;
}

std::string GUIDToString(const TGUIDBytes& g) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g[3], g[2],
                g[1], g[0], g[5], g[4], g[7], g[6], g[8], g[9], g[10], g[11], g[12], g[13], g[14], g[15]);
  return buf;
}
