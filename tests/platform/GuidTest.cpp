#include <gtest/gtest.h>

#include <set>

#include "platform/Guid.h"

TEST(Guid, NewGuidsAreDistinctVersion4InMemoryOrder) {
  std::set<TGUIDBytes> seen;
  for (int i = 0; i < 2000; ++i) {
    TGUIDBytes g = CreateGUID();
    EXPECT_TRUE(seen.insert(g).second);
    // Third field is little-endian in memory: its top nibble is in byte 7.
    EXPECT_EQ(g[7] >> 4, 4);
    EXPECT_EQ(g[8] & 0xC0, 0x80);
    std::string s = GUIDToString(g);
    EXPECT_EQ(s[15], '4');
  }
  // Not a constant pattern: every byte position other than the fixed bits varies.
  std::set<uint8_t> firstBytes;
  for (const auto& g : seen) firstBytes.insert(g[0]);
  EXPECT_GT(firstBytes.size(), 200u);
}

TEST(Guid, TextFormReadsTheFieldsLittleEndian) {
  TGUIDBytes g{0x33, 0x22, 0x11, 0x00, 0x55, 0x44, 0x77, 0x66, 0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
  EXPECT_EQ(GUIDToString(g), "{00112233-4455-6677-8899-AABBCCDDEEFF}");
}
