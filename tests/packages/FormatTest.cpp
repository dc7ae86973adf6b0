// The format core: compact indices, name flags, naming templates, integer log2 and halving.
#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "packages/MipMaps.h"
#include "packages/PackageTables.h"
#include "packages/TexturePackage.h"
#include "packages/UnrealFormat.h"
#include "platform/Exceptions.h"
#include "tests/packages/PackageTestSupport.h"

namespace {
std::vector<uint8_t> Encode(int32_t v) {
  uint8_t b[UT_MAX_COMPACT_INDEX_BYTES];
  const int n = EncodeCompactIndex(v, b);
  return std::vector<uint8_t>(b, b + n);
}
}  // namespace

TEST(CompactIndex, KnownEncodings) {
  EXPECT_EQ(Encode(0), (std::vector<uint8_t>{0x00}));
  EXPECT_EQ(Encode(-1), (std::vector<uint8_t>{0x81}));
  EXPECT_EQ(Encode(63), (std::vector<uint8_t>{0x3F}));
  EXPECT_EQ(Encode(64), (std::vector<uint8_t>{0x40, 0x01}));
  EXPECT_EQ(Encode(8191), (std::vector<uint8_t>{0x7F, 0x7F}));
  EXPECT_EQ(Encode(8192), (std::vector<uint8_t>{0x40, 0x80, 0x01}));
  EXPECT_EQ(Encode(-64), (std::vector<uint8_t>{0xC0, 0x01}));
  // The fifth byte holds its bits whole: 2^27 needs it.
  EXPECT_EQ(Encode(1 << 27), (std::vector<uint8_t>{0x40, 0x80, 0x80, 0x80, 0x01}));
  EXPECT_EQ(Encode(INT32_MAX), (std::vector<uint8_t>{0x7F, 0xFF, 0xFF, 0xFF, 0x0F}));
}

TEST(CompactIndex, SelfCheckRefusesTheOneValueItCannotWrite) {
  uint8_t b[UT_MAX_COMPACT_INDEX_BYTES];
  try {
    EncodeCompactIndex(INT32_MIN, b);
    FAIL() << "INT32_MIN was written";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message, "IDX salvado incorrectamente");
  }
  EXPECT_NO_THROW(EncodeCompactIndex(INT32_MIN + 1, b));
}

TEST(CompactIndex, RoundTripsAtEveryLengthBoundary) {
  std::vector<int32_t> values = {INT32_MAX, INT32_MIN + 1, 1, -1};
  for (int bits : {6, 13, 20, 27}) {
    const int32_t edge = 1 << bits;
    for (int32_t v : {edge - 1, edge, edge + 1}) {
      values.push_back(v);
      values.push_back(-v);
    }
  }
  for (int32_t v : values) {
    uint8_t b[UT_MAX_COMPACT_INDEX_BYTES];
    const int n = EncodeCompactIndex(v, b);
    EXPECT_EQ(n, CompactIndexSize(v)) << v;
    int32_t back = 0;
    bool exact = false;
    EXPECT_EQ(DecodeCompactIndex(b, static_cast<size_t>(n), back, &exact), n) << v;
    EXPECT_TRUE(exact);
    EXPECT_EQ(back, v);
  }
  EXPECT_EQ(CompactIndexSize(63), 1);
  EXPECT_EQ(CompactIndexSize(64), 2);
  EXPECT_EQ(CompactIndexSize(8191), 2);
  EXPECT_EQ(CompactIndexSize(8192), 3);
}

TEST(CompactIndex, DecodingBadInputNeitherOverflowsNorReadsPastTheEnd) {
  int32_t v = 0;
  bool exact = true;
  const uint8_t truncated[] = {0x40, 0x80, 0x80};
  EXPECT_EQ(DecodeCompactIndex(truncated, sizeof truncated, v), 0);
  EXPECT_EQ(DecodeCompactIndex(truncated, 0, v), 0);
  // Every bit set: 35 bits of magnitude do not fit 32; the result wraps and is flagged.
  const uint8_t huge[] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
  EXPECT_EQ(DecodeCompactIndex(huge, sizeof huge, v, &exact), 5);
  EXPECT_FALSE(exact);
  // A sixth byte is never consumed even when the fifth has its top bit set.
  const uint8_t five[] = {0x40, 0x80, 0x80, 0x80, 0x80, 0x7F};
  EXPECT_EQ(DecodeCompactIndex(five, sizeof five, v, &exact), 5);
}

TEST(NameFlags, CaseSensitiveSpecialNames) {
  EXPECT_EQ(DefaultNameFlags("None"), 0x00070010u | 0x400u | 0x04000000u);
  EXPECT_EQ(DefaultNameFlags("Package"), 0x04070410u);
  EXPECT_EQ(DefaultNameFlags("Class"), 0x04070410u);
  EXPECT_EQ(DefaultNameFlags("Color"), 0x04070410u);
  EXPECT_EQ(DefaultNameFlags("Core"), 0x04070010u);
  EXPECT_EQ(DefaultNameFlags("Texture"), 0x04070010u);
  EXPECT_EQ(DefaultNameFlags("Palette"), 0x00070010u);
  EXPECT_EQ(DefaultNameFlags("none"), 0x00070010u);
  EXPECT_EQ(DefaultNameFlags("ABCD"), 0x00070010u);
}

TEST(NameTemplates, ExpandsKeywordsAndDropsUnknownOnes) {
  EXPECT_EQ(ExpandNameTemplate("%SKIN%%SECTION%T_%TEAM%", "ABCD", "1", 2, ""), "ABCD1T_2");
  EXPECT_EQ(ExpandNameTemplate("%SKIN%%WHATEVER%x", "ABCD", "1", -1, ""), "ABCDx");
  EXPECT_EQ(ExpandNameTemplate("%skin%-%TeamName%", "ABCD", "1", 3, ""), "ABCD-Gold");
  EXPECT_EQ(ExpandNameTemplate("%TEAMNAME%%TEAM%", "ABCD", "1", -1, ""), "-1");
  EXPECT_EQ(ExpandNameTemplate("%SKIN%%SECTION%%FACE%", "ABCD", "4", -1, "Xan"), "ABCD4Xan");
  // An unclosed keyword runs to the end of the template.
  EXPECT_EQ(ExpandNameTemplate("pre%SKIN", "ABCD", "1", -1, ""), "preABCD");
  EXPECT_EQ(ExpandNameTemplate("pre%bogus", "ABCD", "1", -1, ""), "pre");
  EXPECT_EQ(ExpandNameTemplate("plain", "ABCD", "1", -1, ""), "plain");
  EXPECT_EQ(ExpandNameTemplate("", "ABCD", "1", -1, ""), "");
}

TEST(NameTemplates, TextureObjectNamePicksTheTemplate) {
  TPackageModel m;
  m.SectionFlags = {1, 2 | mpTALKTEXTURE};
  m.FormatFace = "F%SKIN%%FACE%";
  m.FormatTalk = "T%SKIN%%FACE%";
  EXPECT_EQ(TextureObjectName(m, "ABCD", "1", "t_2"), "ABCD1T_2");
  EXPECT_EQ(TextureObjectName(m, "ABCD", "1", "T_0"), "ABCD1T_0");
  EXPECT_EQ(TextureObjectName(m, "ABCD", "1", "t_4"), "FABCDt_4");  // not a team: a face
  EXPECT_EQ(TextureObjectName(m, "ABCD", "1", "Xan"), "FABCDXan");
  EXPECT_EQ(TextureObjectName(m, "ABCD", "1", ""), "ABCD1");
  EXPECT_EQ(TextureObjectName(m, "ABCD", "2", "t_1"), "TABCDt_1");  // talk wins over team
  EXPECT_THROW(TextureObjectName(m, "ABCD", "3", ""), EListError);
}

TEST(MipLevels, IntegerLog2AndLevelCounts) {
  EXPECT_EQ(IntLog2(1), 0);
  EXPECT_EQ(IntLog2(2), 1);
  EXPECT_EQ(IntLog2(255), 7);
  EXPECT_EQ(IntLog2(256), 8);
  // A floating-point log2 rounds 2^29 - 1 up to 29 in single precision; integers do not.
  EXPECT_EQ(IntLog2((1u << 29) - 1), 28);
  EXPECT_EQ(IntLog2(0x80000000u), 31);
  EXPECT_EQ(MipLevelCount(256, 256, false), 9);
  EXPECT_EQ(MipLevelCount(256, 64, false), 7);
  EXPECT_EQ(MipLevelCount(100, 300, false), 7);
  EXPECT_EQ(MipLevelCount(1, 1, false), 1);
  EXPECT_EQ(MipLevelCount(256, 256, true), 1);
}

TEST(MipLevels, HalvingKeepsEverySecondPixel) {
  TBitmap b(5, 3, TPixelFormat::pf8bit);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) b.ScanLine(y)[x] = static_cast<uint8_t>(10 * y + x);
  HalveBitmap(b);
  ASSERT_EQ(b.Width(), 2);
  ASSERT_EQ(b.Height(), 1);
  EXPECT_EQ(b.ScanLine(0)[0], 0);
  EXPECT_EQ(b.ScanLine(0)[1], 2);
  EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf8bit);

  TBitmap c(4, 4, TPixelFormat::pf4bit);
  for (int y = 0; y < 4; ++y) {
    c.ScanLine(y)[0] = static_cast<uint8_t>(0x10 * y + 0x1);  // pixels y, 1
    c.ScanLine(y)[1] = 0x23;                                  // pixels 2, 3
  }
  HalveBitmap(c);
  ASSERT_EQ(c.Width(), 2);
  EXPECT_EQ(c.ScanLine(0)[0], 0x02);  // pixel (0,0)=0, (2,0)=2
  EXPECT_EQ(c.ScanLine(1)[0], 0x22);  // row 2: pixel 2, then 2

  TBitmap one(1, 1);
  HalveBitmap(one);
  EXPECT_TRUE(one.Empty());
}

TEST(PackageTables, NamesAreSharedWithoutLetterCaseAndImportsFoundByName) {
  TPackageTables t(68);
  EXPECT_EQ(t.NameIndex("Texture"), 0);
  EXPECT_EQ(t.NameIndex("TEXTURE"), 0);  // the first spelling stays
  EXPECT_EQ(t.Names[0].Name, "Texture");
  EXPECT_EQ(t.NameIndex("Custom", 0x1234), 1);
  EXPECT_EQ(t.Names[1].Flags, 0x1234u);
  EXPECT_EQ(t.AddImport("Core", "Class", 0, "Palette"), -1);
  EXPECT_EQ(t.ImportRef("palette"), -1);
  EXPECT_EQ(t.ImportRef("Engine"), 0);
  EXPECT_EQ(t.Names.back().Name, "Engine");  // looked up, so added
  EXPECT_THROW(t.NameIndex(std::string("bad\0name", 8)), EConvertError);
}
