// Hand-made bitmap files for what the peers never write: RLE deltas and end codes, RLE4,
// unusual masks and header sizes, short colour tables; and bad input of every kind.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "platform/Bitmap.h"
#include "platform/BmpFormat.h"
#include "platform/Exceptions.h"
#include "platform/Streams.h"
#include "tests/platform/BmpTestSupport.h"
#include "tests/support/AddressSpaceCap.h"

namespace {

struct TBmpLayout {
  uint32_t HeaderSize = 40;
  int32_t Width = 1, Height = 1;
  uint16_t Bits = 24;
  uint32_t Compression = 0;
  uint32_t ClrUsed = 0;
  std::vector<uint32_t> Table;  // 0x00RRGGBB entries
  std::vector<uint32_t> Masks;  // written after a 40-byte header or inside a larger one
  std::vector<uint8_t> Pixels;
};

void Put(std::vector<uint8_t>& v, uint64_t x, int n) {
  for (int i = 0; i < n; ++i) v.push_back(static_cast<uint8_t>(x >> (8 * i)));
}

std::vector<uint8_t> MakeBmp(const TBmpLayout& s) {
  std::vector<uint8_t> info;
  Put(info, s.HeaderSize, 4);
  if (s.HeaderSize == 12) {
    Put(info, static_cast<uint32_t>(s.Width), 2);
    Put(info, static_cast<uint32_t>(s.Height), 2);
    Put(info, 1, 2);
    Put(info, s.Bits, 2);
  } else {
    Put(info, static_cast<uint32_t>(s.Width), 4);
    Put(info, static_cast<uint32_t>(s.Height), 4);
    Put(info, 1, 2);
    Put(info, s.Bits, 2);
    Put(info, s.Compression, 4);
    Put(info, static_cast<uint32_t>(s.Pixels.size()), 4);
    Put(info, 0, 8);
    Put(info, s.ClrUsed, 4);
    Put(info, 0, 4);
    if (s.HeaderSize > 40)
      for (uint32_t m : s.Masks) Put(info, m, 4);
    info.resize(s.HeaderSize, 0);
    if (s.HeaderSize == 40)
      for (uint32_t m : s.Masks) Put(info, m, 4);
  }
  for (uint32_t e : s.Table) Put(info, e, s.HeaderSize == 12 ? 3 : 4);
  std::vector<uint8_t> v = {'B', 'M'};
  Put(v, static_cast<uint32_t>(14 + info.size() + s.Pixels.size()), 4);
  Put(v, 0, 4);
  Put(v, static_cast<uint32_t>(14 + info.size()), 4);
  v.insert(v.end(), info.begin(), info.end());
  v.insert(v.end(), s.Pixels.begin(), s.Pixels.end());
  return v;
}

TBitmap Load(const std::vector<uint8_t>& d) {
  TBitmap b;
  b.LoadFromMemory(d.data(), d.size());
  return b;
}

std::vector<uint32_t> GreyTable(int n) {
  std::vector<uint32_t> t;
  for (int i = 0; i < n; ++i) t.push_back(static_cast<uint32_t>(i * 0x010101));
  return t;
}

void ExpectInvalid(const std::vector<uint8_t>& d, const std::string& what) {
  TBitmap b(3, 2, TPixelFormat::pf8bit);
  b.SetPixel(1, 1, clWhite);
  TBitmap before = b;
  try {
    b.LoadFromMemory(d.data(), d.size());
    ADD_FAILURE() << what << ": loaded";
  } catch (const EInvalidGraphic& e) {
    EXPECT_EQ(std::string(e.what()).rfind(kBmpInvalid, 0), 0u) << what << ": " << e.what();
  } catch (const std::exception& e) {
    ADD_FAILURE() << what << ": wrong exception " << e.what();
  }
  EXPECT_TRUE(b.SameAs(before)) << what << ": a failed load changed the bitmap";
}

}  // namespace

TEST(BmpCodingTest, Rle8RunsAbsoluteRunsDeltasAndEndCodes) {
  TBmpLayout s;
  s.Width = 6;
  s.Height = 3;
  s.Bits = 8;
  s.Compression = 1;
  s.Table = GreyTable(16);
  s.Pixels = {
      3, 5,               // bottom row: 5 5 5
      0, 3,  7, 8, 9, 0,  // absolute run of 3 (odd: one padding byte)
      0, 0,               // end of line
      0, 2,  2, 1,        // delta: two right, one up -> row 2 (top), x 2
      9, 4,               // run past the row end: clipped
      0, 1,               // end of bitmap
      1, 15,              // after the end: ignored
  };
  TBitmap b = Load(MakeBmp(s));
  ASSERT_EQ(b.PixelFormat(), TPixelFormat::pf8bit);
  const std::vector<std::vector<int>> expect = {{0, 0, 4, 4, 4, 4}, {0, 0, 0, 0, 0, 0}, {5, 5, 5, 7, 8, 9}};
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 6; ++x) EXPECT_EQ(b.ScanLine(y)[x], expect[y][x]) << x << "," << y;
  EXPECT_EQ(PaletteEntryCount(b.Palette()), 16);
}

TEST(BmpCodingTest, Rle4AlternatesNibblesAndPadsOddAbsoluteRuns) {
  TBmpLayout s;
  s.Width = 7;
  s.Height = 2;
  s.Bits = 4;
  s.Compression = 2;
  s.Table = GreyTable(16);
  s.Pixels = {
      5, 0x12,                       // bottom row: 1 2 1 2 1
      0, 3,    0xAB, 0xC0,           // absolute run of 3 nibbles in 2 bytes (even, no padding)
      0, 0,                          // end of line
      0, 5,    0x34, 0x56, 0x70, 0,  // absolute run of 5 nibbles in 3 bytes + padding
      2, 0xEF,                       // E F
                                     // the data ends without an end-of-bitmap code
  };
  TBitmap b = Load(MakeBmp(s));
  ASSERT_EQ(b.PixelFormat(), TPixelFormat::pf4bit);
  auto idx = [&](int x, int y) { return (x & 1) ? (b.ScanLine(y)[x / 2] & 15) : (b.ScanLine(y)[x / 2] >> 4); };
  const std::vector<std::vector<int>> expect = {{3, 4, 5, 6, 7, 14, 15}, {1, 2, 1, 2, 1, 10, 11}};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 7; ++x) EXPECT_EQ(idx(x, y), expect[y][x]) << x << "," << y;
}

TEST(BmpCodingTest, BitFieldMasksOfAnyWidth) {
  // 16 bits as 4-4-4 (x4 r4 g4 b4): loads as 5-5-5 with the channels widened.
  TBmpLayout s;
  s.Width = 2;
  s.Bits = 16;
  s.Compression = 3;
  s.Masks = {0x0F00, 0x00F0, 0x000F};
  s.Pixels = {0x0F, 0x0F, 0x80, 0x00};  // 0x0F0F: red F, green 0, blue F; 0x0080: green 8
  TBitmap b = Load(MakeBmp(s));
  EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf15bit);
  EXPECT_EQ(b.Pixel(0, 0), RGBColor(255, 0, 255));
  EXPECT_LE(std::abs(GetGValue(b.Pixel(1, 0)) - 136), 4);
  // 32 bits with red and blue swapped, in a 56-byte header that carries its masks.
  TBmpLayout t;
  t.HeaderSize = 56;
  t.Width = 1;
  t.Bits = 32;
  t.Compression = 3;
  t.Masks = {0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000};
  t.Pixels = {10, 20, 30, 40};
  TBitmap c = Load(MakeBmp(t));
  EXPECT_EQ(c.PixelFormat(), TPixelFormat::pf32bit);
  EXPECT_EQ(c.Pixel(0, 0), RGBColor(10, 20, 30));
  // 16 bits with 8-bit channels do not fit 5-6-5: they load as 24 bits.
  TBmpLayout u = s;
  u.Width = 1;
  u.Masks = {0xFF00, 0x00F0, 0x000F};
  u.Pixels = {0x00, 0x80};
  EXPECT_EQ(Load(MakeBmp(u)).PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(Load(MakeBmp(u)).Pixel(0, 0), RGBColor(128, 0, 0));
  // Masks with holes cannot be decoded.
  u.Masks = {0xF0F0, 0, 0};
  ExpectInvalid(MakeBmp(u), "mask with a hole");
}

TEST(BmpCodingTest, HeaderVariantsAndShortColourTables) {
  // The same 2x2 8-bit picture in a core, 40, 52, 64 (OS/2 2.x), 108 and 124 byte header.
  for (uint32_t hs : {12u, 16u, 40u, 52u, 64u, 108u, 124u}) {
    SCOPED_TRACE(hs);
    TBmpLayout s;
    s.HeaderSize = hs;
    s.Width = 2;
    s.Height = 2;
    s.Bits = 8;
    s.Table = {0x000000, 0xFF0000, 0x00FF00};
    s.ClrUsed = 3;
    if (hs == 12 || hs == 16) s.Table.resize(256, 0);  // no colours-used field: a full table
    s.Pixels = {1, 2, 0, 0, 0, 1, 0, 0};
    TBitmap b = Load(MakeBmp(s));
    EXPECT_EQ(b.Pixel(0, 1), RGBColor(255, 0, 0));
    EXPECT_EQ(b.Pixel(1, 1), RGBColor(0, 255, 0));
    EXPECT_EQ(b.Pixel(1, 0), RGBColor(255, 0, 0));
    EXPECT_EQ(b.Pixel(0, 0), clBlack);
    EXPECT_EQ(PaletteEntryCount(b.Palette()), (hs == 12 || hs == 16) ? 256 : 3);
  }
}

TEST(BmpCodingTest, BadHeadersFailCleanly) {
  TBmpLayout good;
  good.Width = 3;
  good.Height = 2;
  good.Bits = 8;
  good.Table = GreyTable(256);
  good.Pixels.assign(8, 1);
  const std::vector<uint8_t> valid = MakeBmp(good);
  ASSERT_NO_THROW(Load(valid));
  // Every cut inside the headers, the colour table or the pixel data.
  for (size_t n = 0; n < valid.size(); n += (n < 60 ? 1 : 97))
    ExpectInvalid({valid.begin(), valid.begin() + n}, "cut at " + std::to_string(n));
  ExpectInvalid({valid.begin(), valid.end() - 2}, "short last row");

  auto with = [&](auto change) {
    TBmpLayout s = good;
    change(s);
    return MakeBmp(s);
  };
  std::vector<uint8_t> notBm = valid;
  notBm[0] = 'X';
  ExpectInvalid(notBm, "no signature");
  ExpectInvalid(with([](TBmpLayout& s) { s.HeaderSize = 100; }), "header size 100");
  ExpectInvalid(with([](TBmpLayout& s) { s.HeaderSize = 200; }), "header size 200");
  ExpectInvalid(with([](TBmpLayout& s) { s.Bits = 2; }), "2 bits");
  ExpectInvalid(with([](TBmpLayout& s) { s.Bits = 0; }), "0 bits");
  ExpectInvalid(with([](TBmpLayout& s) { s.Width = -3; }), "negative width");
  ExpectInvalid(with([](TBmpLayout& s) { s.Height = INT_MIN; }), "height INT_MIN");
  ExpectInvalid(with([](TBmpLayout& s) { s.Compression = 1, s.Bits = 24; }), "RLE8 at 24 bits");
  ExpectInvalid(with([](TBmpLayout& s) { s.Compression = 2; }), "RLE4 at 8 bits");
  ExpectInvalid(with([](TBmpLayout& s) { s.Compression = 4; }), "embedded JPEG");
  ExpectInvalid(with([](TBmpLayout& s) { s.Compression = 3; }), "bit fields at 8 bits");
  ExpectInvalid(with([](TBmpLayout& s) { s.HeaderSize = 64, s.Compression = 3; }), "OS/2 Huffman");
  // Absurd sizes are refused before anything is allocated, with the bitmap error.
  {
    testsupport::TAddressSpaceCap cap(uint64_t{256} << 20);
    ExpectInvalid(with([](TBmpLayout& s) { s.Width = 32, s.Height = 1 << 23, s.Bits = 32, s.Pixels.assign(9000, 1); }),
                  "8 million rows of 128 bytes in 9 KB");
    ExpectInvalid(with([](TBmpLayout& s) { s.Width = 100000, s.Height = 100000; }), "10^10 pixels");
    ExpectInvalid(with([](TBmpLayout& s) { s.Width = 30000, s.Height = 30000, s.Bits = 32; }), "3.6 GB");
    ExpectInvalid(with([](TBmpLayout& s) { s.Width = 20000, s.Height = 20000, s.Compression = 1; }),
                  "RLE claiming 400 million pixels in a few bytes");
    ExpectInvalid(with([](TBmpLayout& s) { s.Width = 5000; }), "pixel data beyond the file");
    ExpectInvalid(with([](TBmpLayout& s) { s.Width = 0, s.Height = -1500000000, s.Compression = 1; }),
                  "no columns but a billion and a half rows");
  }
  // An RLE code cut in half.
  ExpectInvalid(with([](TBmpLayout& s) { s.Compression = 1, s.Pixels = {0, 5, 1, 2}; }), "truncated absolute run");
  ExpectInvalid(with([](TBmpLayout& s) { s.Compression = 1, s.Pixels = {0, 2, 1}; }), "truncated delta");
  // Run-length data that stops before the last row is full, without an end-of-bitmap code.
  const struct {
    const char* Name;
    std::vector<uint8_t> Pixels;
    bool Loads;
  } ends[] = {
      {"inside the first row", {3, 5}, false},
      {"after the first row", {3, 5, 0, 0}, false},
      {"inside the last row", {3, 5, 0, 0, 2, 6}, false},
      {"after a delta into the last row", {2, 5, 0, 2, 0, 1}, false},
      {"with the last row full", {3, 5, 0, 0, 3, 6}, true},
      {"with the last row full and a stray byte", {3, 5, 0, 0, 3, 6, 9}, true},
      {"inside the last row and a stray byte", {3, 5, 0, 0, 2, 6, 9}, false},
      {"with the last row ended", {3, 5, 0, 0, 3, 6, 0, 0}, true},
      {"with a delta to the end of the last row", {0, 2, 3, 1}, true},
  };
  for (const auto& e : ends) {
    const std::vector<uint8_t> file = with([&](TBmpLayout& s) { s.Compression = 1, s.Pixels = e.Pixels; });
    if (e.Loads)
      EXPECT_NO_THROW(Load(file)) << e.Name;
    else
      ExpectInvalid(file, std::string("run-length data ending ") + e.Name);
  }
}

TEST(BmpCodingTest, StreamsFilesAndEmptyBitmaps) {
  TBitmap b(5, 3, TPixelFormat::pf24bit);
  b.Fill(RGBColor(1, 2, 3));
  b.SetPixel(4, 2, RGBColor(200, 100, 50));
  // A bitmap inside a longer stream: the load stops at its end.
  TMemoryStream ms;
  ms.WriteString("junk");
  b.SaveToStream(ms);
  ms.WriteString("tail");
  ms.SetPosition(4);
  TBitmap c;
  c.LoadFromStream(ms);
  EXPECT_TRUE(c.SameAs(b));
  char tail[4];
  ms.ReadBuffer(tail, 4);
  EXPECT_EQ(std::string(tail, 4), "tail");

  bmptest::TScratchDir dir;
  EXPECT_THROW(c.LoadFromFile(dir / "missing.bmp"), EInOutError);
  EXPECT_TRUE(c.SameAs(b));
  // A failed save leaves the old file and no temporary.
  std::string path = dir / "t.bmp";
  b.SaveToFile(path);
  EXPECT_THROW(b.SaveToFile(dir / "no/such/folder/t.bmp"), Exception);
  c = TBitmap();
  c.LoadFromFile(path);
  EXPECT_TRUE(c.SameAs(b));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / ""), std::filesystem::directory_iterator{}), 1);
  // An error names the file.
  bmptest::WriteBytes(dir / "bad.bmp", {'B', 'M', 1, 2});
  try {
    c.LoadFromFile(dir / "bad.bmp");
    ADD_FAILURE() << "loaded";
  } catch (const EInvalidGraphic& e) {
    EXPECT_NE(std::string(e.what()).find("bad.bmp"), std::string::npos) << e.what();
  }

  for (auto [w, h] : {std::pair{0, 0}, {4, 0}, {0, 4}}) {
    TBitmap e(w, h, TPixelFormat::pf8bit);
    TMemoryStream es;
    e.SaveToStream(es);
    es.SetPosition(0);
    TBitmap back(2, 2);
    back.LoadFromStream(es);
    EXPECT_TRUE(back.Empty());
    EXPECT_EQ(back.Width(), 0);
    EXPECT_EQ(back.Height(), 0);
    EXPECT_EQ(back.PixelFormat(), TPixelFormat::pf8bit);
  }
}
