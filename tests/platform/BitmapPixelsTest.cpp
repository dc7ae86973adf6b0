// Pixel access and in-place pixel format conversion of TBitmap.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/Bitmap.h"

namespace {

const TPixelFormat kAllFormats[] = {TPixelFormat::pf1bit,  TPixelFormat::pf4bit,  TPixelFormat::pf8bit,
                                    TPixelFormat::pf15bit, TPixelFormat::pf16bit, TPixelFormat::pf24bit,
                                    TPixelFormat::pf32bit};

HPALETTE Grey4() { return CreatePalette({{0, 0, 0, 0}, {85, 85, 85, 0}, {170, 170, 170, 0}, {255, 255, 255, 0}}); }

int MaxChannelError(TColor a, TColor b) {
  return std::max({std::abs(GetRValue(a) - GetRValue(b)), std::abs(GetGValue(a) - GetGValue(b)),
                   std::abs(GetBValue(a) - GetBValue(b))});
}

}  // namespace

// Every pixel of every format must be addressable on its own: neighbours in the same byte
// (1 and 4 bits) or the same word must not bleed into each other.
TEST(BitmapPixelsTest, SetPixelThenPixelKeepsNeighboursApartInEveryFormat) {
  for (TPixelFormat pf : kAllFormats) {
    SCOPED_TRACE(BitsPerPixel(pf));
    TBitmap b(13, 3, pf);  // odd width: the last byte of a 1/4-bit row is partly used
    const TColor colours[2] = {clWhite, clBlack};
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 13; ++x) b.SetPixel(x, y, colours[(x + y) % 2]);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 13; ++x) ASSERT_EQ(b.Pixel(x, y), colours[(x + y) % 2]) << x << "," << y;
  }
}

TEST(BitmapPixelsTest, TrueColourFormatsKeepColoursWithinTheirPrecision) {
  const TColor probes[] = {RGBColor(0, 0, 0),       RGBColor(255, 255, 255), RGBColor(1, 2, 3),
                           RGBColor(254, 253, 252), RGBColor(128, 64, 32),   RGBColor(7, 8, 9),
                           RGBColor(200, 100, 250)};
  for (TPixelFormat pf : {TPixelFormat::pf15bit, TPixelFormat::pf16bit, TPixelFormat::pf24bit, TPixelFormat::pf32bit}) {
    SCOPED_TRACE(BitsPerPixel(pf));
    TBitmap b(1, 1, pf);
    for (TColor c : probes) {
      b.SetPixel(0, 0, c);
      // 5 bits per channel: at most half a step of 255/31 away.
      int tol = (pf == TPixelFormat::pf15bit || pf == TPixelFormat::pf16bit) ? 4 : 0;
      EXPECT_LE(MaxChannelError(b.Pixel(0, 0), c), tol) << std::hex << c;
      // Setting what we read back changes nothing.
      TColor again = b.Pixel(0, 0);
      b.SetPixel(0, 0, again);
      EXPECT_EQ(b.Pixel(0, 0), again);
    }
  }
  // 5-6-5 keeps green finer than 5-5-5.
  TBitmap g15(1, 1, TPixelFormat::pf15bit), g16(1, 1, TPixelFormat::pf16bit);
  g15.SetPixel(0, 0, RGBColor(0, 3, 0));
  g16.SetPixel(0, 0, RGBColor(0, 3, 0));
  EXPECT_EQ(GetGValue(g15.Pixel(0, 0)), 0);
  EXPECT_EQ(GetGValue(g16.Pixel(0, 0)), 4);
}

TEST(BitmapPixelsTest, OutsideTheBitmapReadsInvalidAndWritesNothing) {
  TBitmap b(2, 2, TPixelFormat::pf24bit);
  b.Fill(RGBColor(1, 2, 3));
  for (auto [x, y] : {std::pair{-1, 0}, {0, -1}, {2, 0}, {0, 2}}) {
    EXPECT_EQ(b.Pixel(x, y), CLR_INVALID);
    b.SetPixel(x, y, clWhite);
  }
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 2; ++x) EXPECT_EQ(b.Pixel(x, y), RGBColor(1, 2, 3));
}

TEST(BitmapPixelsTest, PaletteFormatsStoreTheNearestEntryFirstOfEqualDistances) {
  TBitmap b(1, 1, TPixelFormat::pf8bit);
  // Entries 1 and 2 are the same colour and 0 and 3 are equally far from grey 128.
  b.SetPalette(CreatePalette({{100, 128, 128, 0}, {10, 10, 10, 0}, {10, 10, 10, 0}, {156, 128, 128, 0}}));
  b.SetPixel(0, 0, RGBColor(128, 128, 128));
  EXPECT_EQ(b.ScanLine(0)[0], 0);
  b.SetPixel(0, 0, RGBColor(12, 9, 10));
  EXPECT_EQ(b.ScanLine(0)[0], 1);
  b.SetPixel(0, 0, RGBColor(150, 128, 128));
  EXPECT_EQ(b.ScanLine(0)[0], 3);
  // An index past the colour table (as a file may hold) reads as black, not as stray memory.
  b.ScanLine(0)[0] = 200;
  EXPECT_EQ(b.Pixel(0, 0), clBlack);

  // A 4-bit bitmap with a 256-entry palette can only reach its first 16 entries.
  std::vector<TPaletteEntry> big(256, TPaletteEntry{0, 0, 0, 0});
  big[200] = {255, 0, 0, 0};
  big[3] = {200, 0, 0, 0};
  TBitmap four(1, 1, TPixelFormat::pf4bit);
  four.SetPalette(CreatePalette(big));
  four.SetPixel(0, 0, RGBColor(255, 0, 0));
  EXPECT_EQ(four.ScanLine(0)[0] >> 4, 3);
}

TEST(BitmapPixelsTest, DefaultPalettes) {
  EXPECT_EQ(PaletteEntryCount(DefaultPalette(TPixelFormat::pf1bit)), 2);
  EXPECT_EQ(PaletteEntryCount(DefaultPalette(TPixelFormat::pf4bit)), 16);
  EXPECT_EQ(PaletteEntryCount(DefaultPalette(TPixelFormat::pf8bit)), 256);
  EXPECT_EQ(DefaultPalette(TPixelFormat::pf24bit), nullptr);
  // Pure primaries and black/white are exact in the 4- and 8-bit defaults.
  for (TPixelFormat pf : {TPixelFormat::pf4bit, TPixelFormat::pf8bit}) {
    TBitmap b(1, 1, pf);
    for (TColor c : {clBlack, clWhite, RGBColor(255, 0, 0), RGBColor(0, 255, 0), RGBColor(0, 0, 255),
                     RGBColor(128, 128, 128), RGBColor(192, 192, 192)}) {
      b.SetPixel(0, 0, c);
      EXPECT_EQ(b.Pixel(0, 0), c);
    }
  }
  // Any colour lies within half a cube step of some entry of the 8-bit default.
  TBitmap e(1, 1, TPixelFormat::pf8bit);
  uint32_t seed = 1;
  for (int i = 0; i < 2000; ++i) {
    seed = seed * 1664525u + 1013904223u;
    TColor c = seed >> 8;
    e.SetPixel(0, 0, c);
    TColor got = e.Pixel(0, 0);
    int dr = GetRValue(got) - GetRValue(c), dg = GetGValue(got) - GetGValue(c), db = GetBValue(got) - GetBValue(c);
    ASSERT_LE(dr * dr + dg * dg + db * db, 3 * 26 * 26) << std::hex << c;
  }
}

TEST(BitmapPixelsTest, ConversionsBetweenAllFormatsKeepColoursTheTargetCanHold) {
  // Colours every format can hold exactly: black and white.
  for (TPixelFormat from : kAllFormats)
    for (TPixelFormat to : kAllFormats) {
      SCOPED_TRACE(std::to_string(BitsPerPixel(from)) + " -> " + std::to_string(BitsPerPixel(to)));
      TBitmap b(9, 4, from);
      for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 9; ++x) b.SetPixel(x, y, ((x * 7 + y) % 3) ? clWhite : clBlack);
      b.SetPixelFormat(to);
      EXPECT_EQ(b.PixelFormat(), to);
      ASSERT_EQ(b.Width(), 9);
      ASSERT_EQ(b.Height(), 4);
      for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 9; ++x) ASSERT_EQ(b.Pixel(x, y), ((x * 7 + y) % 3) ? clWhite : clBlack) << x << "," << y;
      if (IsPaletteFormat(to) && to != from) {
        EXPECT_GT(PaletteEntryCount(b.Palette()), 0);
      }
    }
}

TEST(BitmapPixelsTest, ToPaletteUsesTheBitmapsOwnPaletteAndKeepsIt) {
  TBitmap b(4, 1, TPixelFormat::pf24bit);
  b.SetPixel(0, 0, RGBColor(0, 0, 0));
  b.SetPixel(1, 0, RGBColor(90, 80, 80));
  b.SetPixel(2, 0, RGBColor(160, 180, 170));
  b.SetPixel(3, 0, RGBColor(250, 250, 240));
  HPALETTE pal = Grey4();
  b.SetPalette(pal);
  b.SetPixelFormat(TPixelFormat::pf8bit);
  EXPECT_EQ(b.Palette(), pal);
  const uint8_t* row = b.ScanLine(0);
  EXPECT_EQ(row[0], 0);
  EXPECT_EQ(row[1], 1);
  EXPECT_EQ(row[2], 2);
  EXPECT_EQ(row[3], 3);
  // Down to 1 bit with the same table: indices 0 and 1 stay, 2 and 3 take the nearer of 0 and 1.
  b.SetPixelFormat(TPixelFormat::pf1bit);
  EXPECT_EQ(b.Palette(), pal);
  EXPECT_EQ(b.ScanLine(0)[0] >> 4, 0b0111);
  // Back to true colour: the palette's colours.
  b.SetPixelFormat(TPixelFormat::pf24bit);
  EXPECT_EQ(b.Pixel(0, 0), clBlack);
  EXPECT_EQ(b.Pixel(2, 0), RGBColor(85, 85, 85));
}

TEST(BitmapPixelsTest, PaletteIndicesSurviveARoundTripThroughAWiderPaletteFormat) {
  // Duplicate entries: converting by colour would fold index 2 into index 1.
  HPALETTE pal = CreatePalette({{0, 0, 0, 0}, {9, 9, 9, 0}, {9, 9, 9, 0}, {255, 0, 0, 0}});
  TBitmap b(4, 1, TPixelFormat::pf4bit);
  b.SetPalette(pal);
  b.ScanLine(0)[0] = 0x01;
  b.ScanLine(0)[1] = 0x23;
  b.SetPixelFormat(TPixelFormat::pf8bit);
  EXPECT_EQ(b.ScanLine(0)[2], 2);
  b.SetPixelFormat(TPixelFormat::pf4bit);
  EXPECT_EQ(b.ScanLine(0)[1], 0x23);
}

TEST(BitmapPixelsTest, TrueColourToPaletteWithoutAPaletteTakesTheDefault) {
  TBitmap b(2, 1, TPixelFormat::pf32bit);
  b.SetPixel(0, 0, RGBColor(250, 10, 10));
  b.SetPixel(1, 0, RGBColor(20, 20, 20));
  b.SetPixelFormat(TPixelFormat::pf4bit);
  EXPECT_EQ(b.Palette(), DefaultPalette(TPixelFormat::pf4bit));
  EXPECT_EQ(b.Pixel(0, 0), RGBColor(255, 0, 0));
  EXPECT_EQ(b.Pixel(1, 0), clBlack);
  TBitmap m(1, 1, TPixelFormat::pf24bit);
  m.SetPixel(0, 0, RGBColor(200, 190, 180));
  m.SetPixelFormat(TPixelFormat::pf1bit);
  EXPECT_EQ(m.Pixel(0, 0), clWhite);
}

TEST(BitmapPixelsTest, PaletteToTrueColourGivesEachIndexItsEntryAndBlackPastThePalette) {
  // Three entries for every depth, so that some indices of each lie past the palette; odd
  // widths end rows inside a byte.
  HPALETTE pal = CreatePalette({{10, 20, 30, 0}, {200, 100, 50, 0}, {1, 2, 3, 0}});
  size_t pastThePalette = 0;
  for (TPixelFormat pf : {TPixelFormat::pf1bit, TPixelFormat::pf4bit, TPixelFormat::pf8bit})
    for (int width : {1, 7, 13}) {
      SCOPED_TRACE(std::to_string(BitsPerPixel(pf)) + " bits, width " + std::to_string(width));
      TBitmap b(width, 3, pf);
      b.SetPalette(pf == TPixelFormat::pf1bit ? CreatePalette({{10, 20, 30, 0}}) : pal);
      uint32_t seed = static_cast<uint32_t>(width);
      for (int y = 0; y < 3; ++y)
        for (size_t i = 0; i < b.RowBytes(); ++i) {
          seed = seed * 1664525u + 1013904223u;
          b.ScanLine(y)[i] = static_cast<uint8_t>(pf == TPixelFormat::pf8bit ? (seed >> 24) % 4 : seed >> 24);
        }
      std::vector<TColor> before;
      for (int y = 0; y < 3; ++y)
        for (int x = 0; x < width; ++x) before.push_back(b.Pixel(x, y));
      pastThePalette += static_cast<size_t>(std::count(before.begin(), before.end(), clBlack));
      b.SetPixelFormat(TPixelFormat::pf24bit);
      for (int y = 0; y < 3; ++y)
        for (int x = 0; x < width; ++x) ASSERT_EQ(b.Pixel(x, y), before[static_cast<size_t>(y * width + x)]) << x;
    }
  EXPECT_GT(pastThePalette, 0u);
}

// Pixel storage comes three ways (small blocks, large zeroed ones, huge-page aligned ones): at
// every size new pixels must be zero, resizing keeps the top-left pixels, a copy is equal, and
// each block goes back the way it came (the sanitizer build checks the release).
TEST(BitmapPixelsTest, ResizingAcrossStorageSizesKeepsPixelsAndZeroesTheNewOnes) {
  struct TCase {
    int W1, H1, W2, H2;
  } cases[] = {{3, 2, 5, 4}, {900, 900, 1300, 1200}, {2000, 1000, 3500, 3500}, {3500, 3500, 7, 3}};
  auto allZero = [](const TBitmap& b) {
    const std::vector<uint8_t> zeros(b.RowBytes(), 0);
    for (int y = 0; y < b.Height(); ++y)
      if (std::memcmp(b.ScanLine(y), zeros.data(), zeros.size()) != 0) return false;
    return true;
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.W1) + "x" + std::to_string(c.H1) + " to " + std::to_string(c.W2));
    TBitmap b(c.W1, c.H1, TPixelFormat::pf24bit);
    EXPECT_TRUE(allZero(b));
    const int corner = std::min({c.W1, c.H1, c.W2, c.H2}) - 1;
    b.SetPixel(0, 0, RGBColor(1, 2, 3));
    b.SetPixel(corner, corner, RGBColor(4, 5, 6));
    b.SetSize(c.W2, c.H2);
    const TBitmap copy(b);
    EXPECT_TRUE(copy.SameAs(b));
    EXPECT_EQ(b.Pixel(0, 0), RGBColor(1, 2, 3));
    EXPECT_EQ(b.Pixel(corner, corner), RGBColor(4, 5, 6));
    b.SetPixel(0, 0, clBlack);
    b.SetPixel(corner, corner, clBlack);
    EXPECT_TRUE(allZero(b));
  }
}

// A bitmap left uncleared for a reader that writes every pixel still has its row padding
// cleared: that is written to files and compared byte for byte. The block freed just before,
// full of ones, is the one the allocator most likely hands out again.
TEST(BitmapPixelsTest, UnclearedBitmapsClearTheirRowPadding) {
  struct TCase {
    int W, H;
    TPixelFormat Format;
    size_t Used;  // bytes of a row that hold pixels
  } cases[] = {{5, 3, TPixelFormat::pf24bit, 15},    {1, 7, TPixelFormat::pf24bit, 3},
               {4, 2, TPixelFormat::pf24bit, 12},    {9, 4, TPixelFormat::pf1bit, 2},
               {3, 5, TPixelFormat::pf4bit, 2},      {7, 2, TPixelFormat::pf8bit, 7},
               {701, 9, TPixelFormat::pf24bit, 2103}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.W) + "x" + std::to_string(c.H) + " of " + std::to_string(BitsPerPixel(c.Format)));
    {
      TBitmap dirty(c.W, c.H, c.Format);
      for (int y = 0; y < c.H; ++y) std::memset(dirty.ScanLine(y), 0xFF, dirty.RowBytes());
    }
    const TBitmap b = TBitmap::Uncleared(c.W, c.H, c.Format);
    ASSERT_EQ(b.Width(), c.W);
    ASSERT_EQ(b.Height(), c.H);
    ASSERT_EQ(b.PixelFormat(), c.Format);
    for (int y = 0; y < c.H; ++y)
      for (size_t i = c.Used; i < b.RowBytes(); ++i) EXPECT_EQ(b.ScanLine(y)[i], 0) << "row " << y << " byte " << i;
  }
}
