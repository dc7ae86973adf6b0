// Dr. Halo CUT and RLA files built from their layouts, compared with the pixels they were built
// from (and CUT with ImageMagick), and malformed ones.
#include <gtest/gtest.h>

#include <cstring>

#include "codecs/CUTGraphic.h"
#include "codecs/RLAGraphic.h"
#include "tests/codecs/CodecTestSupport.h"

using namespace codectest;

namespace {

// Pixel (x, y) of the pictures the generators write.
uint8_t Sample(int x, int y, int channel) { return static_cast<uint8_t>(channel * 60 + (x < 5 ? 7 : x * 11 + y * 3)); }

// A CUT file: each row a byte count, runs and literals, and the end code.
std::vector<uint8_t> CUTFile(int w, int h) {
  std::vector<uint8_t> f;
  Put16(f, w), Put16(f, h), Put16(f, 0);
  for (int y = 0; y < h; ++y) {
    std::vector<uint8_t> row = {0x85, Sample(0, y, 0)};  // the first five pixels are one run
    row.push_back(static_cast<uint8_t>(w - 5));
    for (int x = 5; x < w; ++x) row.push_back(Sample(x, y, 0));
    row.push_back(0);
    Put16(f, static_cast<unsigned>(row.size()));
    f.insert(f.end(), row.begin(), row.end());
  }
  return f;
}

// An RLA file of 8-bit RGB (and a matte when alpha), rows from active bottom to active top.
std::vector<uint8_t> RLAFile(int w, int h, bool alpha, const char* kind = "rgb", int bottom = 0, int left = 0) {
  const int top = bottom + h - 1, right = left + w - 1;
  std::vector<uint8_t> f;
  for (int i = 0; i < 2; ++i) Put16BE(f, left), Put16BE(f, right), Put16BE(f, bottom), Put16BE(f, top);
  Put16BE(f, 0), Put16BE(f, 0), Put16BE(f, 3), Put16BE(f, alpha ? 1 : 0), Put16BE(f, 0), Put16BE(f, 0xFFFE);
  f.resize(740);
  std::memcpy(&f[28], "1.0", 3);
  std::memcpy(&f[580], kind, std::strlen(kind));
  f[659] = 8, f[663] = 8;  // bits per colour channel and per matte
  const size_t table = f.size();
  f.resize(f.size() + 4 * static_cast<size_t>(h));
  for (int y = 0; y < h; ++y) {
    const uint32_t at = static_cast<uint32_t>(f.size());
    for (int k = 0; k < 4; ++k) f[table + 4 * y + k] = static_cast<uint8_t>(at >> (24 - 8 * k));
    for (int c = 0; c < (alpha ? 4 : 3); ++c) {
      // A run of the first five pixels (count - 1), then the rest as one literal (-count).
      std::vector<uint8_t> data = {4, Sample(0, y, c), static_cast<uint8_t>(-(w - 5))};
      for (int x = 5; x < w; ++x) data.push_back(Sample(x, y, c));
      Put16BE(f, static_cast<unsigned>(data.size()));
      f.insert(f.end(), data.begin(), data.end());
    }
  }
  return f;
}

}  // namespace

TEST(CUTTest, RowsPaletteFileAndImageMagick) {
  CORVANE_REQUIRE_TOOL(kConvert);
  TScratchDir dir;
  const std::vector<uint8_t> cut = CUTFile(23, 7);
  WriteBytes(dir / "pic.cut", cut);
  // Without a palette file, grey; from memory there is no palette file to look for.
  TCUTGraphic fromFile, fromMemory;
  fromFile.LoadFromFile(dir / "pic.cut");
  ASSERT_EQ(LoadError(fromMemory, cut), "");
  for (const TCUTGraphic* g : {&fromFile, &fromMemory}) {
    ASSERT_EQ(g->Width(), 23);
    for (int y = 0; y < 7; ++y)
      for (int x = 0; x < 23; ++x) {
        const uint8_t v = Sample(x, y, 0);
        ASSERT_EQ(g->Pixel(x, y), RGBColor(v, v, v)) << x << "," << y;
      }
  }
  EXPECT_EQ(CountMismatches(fromFile, MagickPixmap(dir / "pic.cut", dir), 0, "ImageMagick"), 0);

  // A palette file of 300 entries (more than a picture can use) in two blocks: entries continue
  // at the start of the second block once the first is past byte 506.
  std::vector<uint8_t> pal(1024, 0);
  pal[12] = 0x2B, pal[13] = 1;  // 299: the count less one
  size_t pos = 40, block = 0;
  for (int i = 0; i < 300; ++i) {
    if (pos > 506) ++block, pos = 0;
    const size_t at = block * 512 + pos;
    if (at + 6 > pal.size()) pal.resize(at + 6);
    pal[at] = static_cast<uint8_t>(i), pal[at + 2] = static_cast<uint8_t>(255 - i),
    pal[at + 4] = static_cast<uint8_t>(i / 2);
    pal[at + 1] = 0xAA;  // high bytes are not used
    pos += 6;
  }
  WriteBytes(dir / "pic.pal", pal);
  const std::vector<TPaletteEntry> entries = ReadCUTPalette(pal.data(), pal.size());
  ASSERT_EQ(entries.size(), 256u);
  EXPECT_EQ(entries[78], (TPaletteEntry{78, 177, 39, 0}));  // the first entry of the second block
  EXPECT_EQ(entries[255], (TPaletteEntry{255, 0, 127, 0}));
  TCUTGraphic coloured;
  coloured.LoadFromFile(dir / "pic.cut");
  const uint8_t v = Sample(9, 3, 0);
  EXPECT_EQ(coloured.Pixel(9, 3), RGBColor(v, uint8_t(255 - v), uint8_t(v / 2)));
}

TEST(CUTTest, MalformedFiles) {
  const std::vector<uint8_t> good = CUTFile(9, 4);
  const struct {
    const char* Name;
    std::vector<uint8_t> Data;
    const char* Error;  // nullptr loads empty
  } cases[] = {
      {"header cut short", {5, 0, 5}, nullptr},
      {"no rows at all", {5, 0, 5, 0, 0, 0}, "image data ends early"},
      {"last row missing", std::vector<uint8_t>(good.begin(), good.end() - 14), "image data ends early"},
      {"picture too large", {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}, "too large"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    ExpectRefused<TCUTGraphic>(c.Data, c.Error);
  }
  // Data that stops inside a row leaves that row unfilled, wherever it stops; only the last
  // row's end code may go missing.
  for (size_t n = 6; n + 1 < good.size(); ++n) {
    SCOPED_TRACE(n);
    ExpectRefused<TCUTGraphic>(std::vector<uint8_t>(good.begin(), good.begin() + static_cast<ptrdiff_t>(n)),
                               "image data ends early");
  }
  TCUTGraphic noEndCode;
  EXPECT_EQ(LoadError(noEndCode, std::vector<uint8_t>(good.begin(), good.end() - 1)), "");
}

// ImageMagick here calls these files corrupt (and writes no RLA of its own), so they are
// checked against the pixels they were built from.
TEST(RLATest, OrientationAndMatte) {
  const struct {
    const char* Name;
    bool Alpha;
    const char* Kind;
  } cases[] = {{"rgb", false, "rgb"}, {"rgb with matte", true, "rgb"}, {"capital kind", false, "RGB"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::vector<uint8_t> data = RLAFile(19, 6, c.Alpha, c.Kind);
    TRLAGraphic g;
    EXPECT_TRUE(g.CanLoad(data.data(), data.size()));
    ASSERT_EQ(LoadError(g, data), "");
    ASSERT_EQ(g.PixelFormat(), c.Alpha ? TPixelFormat::pf32bit : TPixelFormat::pf24bit);
    // Active bottom 0 lies below top 5: the first stored row is the bitmap's last line.
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 19; ++x) {
        ASSERT_EQ(g.Pixel(x, 5 - y), RGBColor(Sample(x, y, 0), Sample(x, y, 1), Sample(x, y, 2))) << x << "," << y;
        if (c.Alpha) {
          ASSERT_EQ(g.ScanLine(5 - y)[4 * x + 3], Sample(x, y, 3));
        }
      }
  }
  // Bottom above top: rows are stored top first.
  std::vector<uint8_t> topDown = RLAFile(19, 6, false);
  topDown[12] = 0, topDown[13] = 5, topDown[14] = 0, topDown[15] = 0;
  TRLAGraphic g;
  ASSERT_EQ(LoadError(g, topDown), "");
  EXPECT_EQ(g.Pixel(12, 0), RGBColor(Sample(12, 0, 0), Sample(12, 0, 1), Sample(12, 0, 2)));
}

TEST(RLATest, MalformedFiles) {
  std::vector<uint8_t> rightOfLeft = RLAFile(4, 2, false);
  rightOfLeft[10] = 0xFF, rightOfLeft[11] = 0xF0;  // right = -16
  std::vector<uint8_t> badKind = RLAFile(4, 2, false, "cmy");
  std::vector<uint8_t> xyz = RLAFile(4, 2, false, "xyz");
  std::vector<uint8_t> sixteen = RLAFile(4, 2, false);
  sixteen[659] = 16;
  std::vector<uint8_t> rowOffset = RLAFile(6, 2, false);
  rowOffset[744] = 0x7F;
  std::vector<uint8_t> cut = RLAFile(6, 2, false);
  cut.resize(cut.size() - 3);
  std::vector<uint8_t> shortRow = RLAFile(6, 2, false);
  shortRow[shortRow.size() - 4] = 1;  // blue of the last row: a run of 2 where 5 were coded
  const struct {
    const char* Name;
    std::vector<uint8_t> Data;
    const char* Error;  // nullptr loads empty
  } cases[] = {
      {"right left of left", rightOfLeft, "right edge lies left"},
      {"unknown channel kind", badKind, nullptr},
      {"xyz", xyz, "channel kind without a colour scheme"},
      {"16-bit channels", sixteen, "only three 8-bit colour channels"},
      {"row offset beyond the end", rowOffset, "row offset"},
      {"channel data cut short", cut, "channel data"},
      {"channel row decodes short", shortRow, "channel row too short"},
      {"header cut short", std::vector<uint8_t>(700, 0), nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    ExpectRefused<TRLAGraphic>(c.Data, c.Error);
  }
}
