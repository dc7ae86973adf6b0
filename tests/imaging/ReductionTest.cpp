#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <tuple>

#include "ImagingTestSupport.h"
#include "imaging/ColorReduction.h"
#include "platform/Exceptions.h"

using namespace imgtest;

namespace {

constexpr TDitherKind AllDitherers[] = {TDitherKind::dtNearest, TDitherKind::dtFloydSteinberg,
                                        TDitherKind::dtStucki,  TDitherKind::dtSierra,
                                        TDitherKind::dtJaJuNi,  TDitherKind::dtSteveArche,
                                        TDitherKind::dtBurkes};

HPALETTE RandomPalette(int n, uint32_t seed) {
  TRandom rnd(seed);
  std::vector<TPaletteEntry> e(static_cast<size_t>(n));
  for (auto& c : e) c = {rnd.Byte(), rnd.Byte(), rnd.Byte(), 0};
  return CreatePalette(std::move(e));
}

// n entries in a small cube at Corner (side Side), every fourth a copy of the one before: long
// candidate lists and ties.
HPALETTE ClusteredPalette(int n, uint32_t seed, int Corner, int Side) {
  TRandom rnd(seed);
  std::vector<TPaletteEntry> e(static_cast<size_t>(n));
  for (size_t i = 0; i < e.size(); ++i) {
    const auto near = [&] { return static_cast<uint8_t>(Corner + rnd.Byte() % Side); };
    e[i] = i % 4 == 3 ? e[i - 1] : TPaletteEntry{near(), near(), near(), 0};
  }
  return CreatePalette(std::move(e));
}

// The plain search the fast lookup must agree with: smallest |dR| + |dG| + |dB|, first of equals.
int NearestBySearch(const HPALETTE& pal, int r, int g, int b) {
  int best = -1, bestD = 1 << 30;
  for (size_t i = 0; i < pal->Entries.size() && i < 256; ++i) {
    const TPaletteEntry& e = pal->Entries[i];
    const int d = std::abs(r - e.peRed) + std::abs(g - e.peGreen) + std::abs(b - e.peBlue);
    if (d < bestD) bestD = d, best = static_cast<int>(i);
  }
  return best;
}

int MaxIndex(const TBitmap& bmp) {
  int m = 0;
  for (int y = 0; y < bmp.Height(); ++y)
    for (int x = 0; x < bmp.Width(); ++x) m = std::max<int>(m, bmp.ScanLine(y)[x]);
  return m;
}

}  // namespace

TEST(ColorLookups, FastLookupAgreesWithAPlainSearch) {
  const HPALETTE palettes[] = {RandomPalette(1, 1),
                               RandomPalette(2, 2),
                               RandomPalette(20, 20),
                               RandomPalette(256, 256),
                               RandomPalette(300, 300),
                               ClusteredPalette(256, 7, 100, 12),
                               ClusteredPalette(256, 8, 0, 6),
                               ClusteredPalette(64, 9, 240, 16)};
  for (const HPALETTE& pal : palettes) {
    const int n = static_cast<int>(pal->Entries.size());
    TFastColorLookup lookup(pal);
    EXPECT_EQ(lookup.Colors, std::min(n, 256));
    TRandom rnd(1000 + static_cast<uint32_t>(n));
    for (int i = 0; i < 40000; ++i) {
      uint8_t r = rnd.Byte(), g = rnd.Byte(), b = rnd.Byte(), R, G, B;
      if (i % 4 == 0) r &= 0xF8, g &= 0xF8;  // revisit nearby colours, so remembered answers are checked too
      const int want = NearestBySearch(pal, r, g, b);
      ASSERT_EQ(lookup.Lookup(r, g, b, R, G, B), want) << int(r) << "," << int(g) << "," << int(b);
      const TPaletteEntry& e = pal->Entries[static_cast<size_t>(want)];
      ASSERT_EQ(std::tie(R, G, B), std::tie(e.peRed, e.peGreen, e.peBlue));
    }
  }
}

TEST(ColorLookups, TiesDarkColoursAndBoundaries) {
  HPALETTE pal = CreatePalette({{0, 0, 0, 0}, {10, 0, 0, 0}, {0, 10, 0, 0}, {6, 6, 6, 0}});
  TFastColorLookup lookup(pal);
  uint8_t R, G, B;
  EXPECT_EQ(lookup.Lookup(5, 0, 0, R, G, B), 0);  // 5 from black and from entry 1: the first wins
  // Dark colours in the same 5-5-5 block as black keep their own nearest entry, so an opaque
  // dark pixel of a masked texture does not become the mask index 0.
  EXPECT_EQ(lookup.Lookup(6, 6, 6, R, G, B), 3);
  EXPECT_EQ(lookup.Lookup(7, 7, 7, R, G, B), 3);
  EXPECT_EQ(lookup.Lookup(1, 1, 1, R, G, B), 0);
  EXPECT_EQ(TFastColorLookup(HPALETTE()).Colors, 0);

  TNetscapeColorLookup web;
  for (int c = 0; c < 256; ++c) {
    web.Lookup(static_cast<uint8_t>(c), 0, 0, R, G, B);
    ASSERT_EQ(R, c <= 47 ? 0 : c <= 98 ? 51 : c <= 149 ? 102 : c <= 200 ? 153 : c <= 251 ? 204 : 255) << c;
  }
  EXPECT_EQ(web.Lookup(255, 0, 51, R, G, B), 5 * 36 + 1);
  TGrayScaleLookup grey;
  EXPECT_EQ(grey.Lookup(255, 255, 255, R, G, B), 255);
  EXPECT_EQ(grey.Lookup(255, 0, 0, R, G, B), 76);
  TMonochromeLookup mono;
  EXPECT_EQ(mono.Lookup(127, 127, 127, R, G, B), 0);
  EXPECT_EQ(mono.Lookup(128, 128, 128, R, G, B), 1);
}

TEST(ReduceBitmapColors, OneRedPixelAndUniformPicturesWithEveryDitherer) {
  HPALETTE red = CreatePalette({{0, 0, 0, 0}, {255, 0, 0, 0}}), pal = RandomPalette(256, 3);
  const TPaletteEntry c = pal->Entries[77];
  const int want = NearestBySearch(pal, c.peRed, c.peGreen, c.peBlue);
  for (TDitherKind d : AllDitherers) {
    TBitmap dot = Uniform(1, 1, 255, 0, 0);
    auto out = ReduceBitmapColors(dot, TReductionMethod::rdCustomPalette, d, 8, red);
    ASSERT_EQ(out->PixelFormat(), TPixelFormat::pf8bit);
    EXPECT_EQ(out->ScanLine(0)[0], 1) << "ditherer " << int(d);
    ASSERT_EQ(PaletteEntryCount(out->Palette()), 256);  // the caller's palette, copied
    EXPECT_EQ(out->Palette()->Entries[1].peRed, 255);
    // Rows alternate direction; a palette colour still gives one index everywhere.
    for (auto m : {TReductionMethod::rdCustomPalette, TReductionMethod::rdOptimal}) {
      TBitmap bmp = Uniform(37, 9, c.peRed, c.peGreen, c.peBlue);
      auto u = ReduceBitmapColors(bmp, m, d, 8, pal);
      const uint8_t first = u->ScanLine(0)[0];
      if (m == TReductionMethod::rdCustomPalette) {
        EXPECT_EQ(first, want);
      }
      for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 37; ++x)
          ASSERT_EQ(u->ScanLine(y)[x], first) << "ditherer " << int(d) << " at " << x << "," << y;
    }
  }
}

TEST(ReduceBitmapColors, NarrowPicturesAndSmallPalettesWithEveryDitherer) {
  // Pictures narrower than the ditherers' reach (Stevenson-Arce spreads three pixels either
  // side) and palettes of one to three colours: every index must name a palette entry, and the
  // sanitizer build watches the error rows' edges.
  for (int n = 1; n <= 3; ++n) {
    HPALETTE pal = RandomPalette(n, static_cast<uint32_t>(40 + n));
    for (TDitherKind d : AllDitherers)
      for (int w = 1; w <= 4; ++w)
        for (int h = 1; h <= 3; ++h) {
          TBitmap bmp = Picture(w, h, static_cast<uint32_t>(w * 10 + h));
          auto out = ReduceBitmapColors(bmp, TReductionMethod::rdCustomPalette, d, 8, pal);
          ASSERT_EQ(out->Width(), w);
          ASSERT_EQ(out->Height(), h);
          EXPECT_LT(MaxIndex(*out), n) << "ditherer " << int(d) << " " << w << "x" << h;
        }
  }
}

TEST(ReduceBitmapColors, MethodsBitsAndUnknownValues) {
  const std::pair<TReductionMethod, int> methods[] = {
      {TReductionMethod::rdSystem20, 20},  {TReductionMethod::rdHalftone256, 256},  {TReductionMethod::rdGray4, 4},
      {TReductionMethod::rdMonochrome, 2}, {TReductionMethod::rdGray256, 256},      {TReductionMethod::rdWeb216, 216},
      {TReductionMethod::rdOptimal, 16},   {TReductionMethod::rdOptimalSystem, 256}};
  for (auto [method, entries] : methods) {
    TBitmap bmp = Picture(40, 30, 11);
    auto out = ReduceBitmapColors(bmp, method, TDitherKind::dtFloydSteinberg, 4, nullptr);
    ASSERT_EQ(out->Width(), 40) << int(method);
    EXPECT_LT(MaxIndex(*out), entries) << int(method);
  }
  for (auto [bits, colours] : {std::pair{0, 2}, {-3, 2}, {3, 8}, {8, 256}, {40, 256}}) {  // clamped to 1..8
    TBitmap bmp = Picture(64, 64, 2);
    const int m =
        MaxIndex(*ReduceBitmapColors(bmp, TReductionMethod::rdOptimal, TDitherKind::dtNearest, bits, nullptr));
    EXPECT_TRUE(m < colours && m >= colours / 2) << bits << " bits gave index " << m;
  }
  TBitmap bmp = Picture(8, 8, 1);
  EXPECT_TRUE(ReduceBitmapColors(bmp, TReductionMethod(10), TDitherKind::dtNearest, 8, nullptr)->Empty());
  // Past 500,000 pixels the result starts as a 1-bit bitmap; an unknown value leaves it so.
  for (auto [w, h, pf] : {std::tuple{1000, 500, TPixelFormat::pf24bit}, {1001, 500, TPixelFormat::pf1bit}}) {
    TBitmap big(w, h, TPixelFormat::pf8bit);
    auto out = ReduceBitmapColors(big, TReductionMethod::rdWeb216, TDitherKind(200), 8, nullptr);
    EXPECT_TRUE(out->Empty());
    EXPECT_EQ(out->PixelFormat(), pf) << w << "x" << h;
    EXPECT_EQ(big.PixelFormat(), TPixelFormat::pf24bit) << "the source is opened at 24 bits first";
  }
  EXPECT_TRUE(ReduceBitmapColors(bmp, TReductionMethod::rdWeb216, TDitherKind(7), 8, nullptr)->Empty());
  EXPECT_TRUE(ReduceBitmapColors(bmp, TReductionMethod::rdCustomPalette, TDitherKind::dtNearest, 8, nullptr)->Empty());
  EXPECT_TRUE(ReduceBitmapColors(bmp, TReductionMethod::rdCustomPalette, TDitherKind::dtNearest, 8, CreatePalette({}))
                  ->Empty());

  // rdNone: a 24-bit copy; the 4-bit source keeps its format.
  TBitmap four(5, 3, TPixelFormat::pf4bit);
  four.SetPalette(CreatePalette({{0, 0, 0, 0}, {200, 10, 20, 0}}));
  four.ScanLine(1)[1] = 0x10;  // pixel (2, 1) is entry 1
  auto copy = ReduceBitmapColors(four, TReductionMethod::rdNone, TDitherKind::dtFloydSteinberg, 8, nullptr);
  EXPECT_EQ(four.PixelFormat(), TPixelFormat::pf4bit);
  ASSERT_EQ(copy->PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(copy->ScanLine(1)[3 * 2 + 2], 200);
  EXPECT_EQ(copy->ScanLine(1)[3 * 2], 20);
}

TEST(ReduceBitmapColors, DitheringKeepsTheLocalMean) {
  // A grey ramp to black and white: every error-diffusing ditherer keeps each band's mean.
  TBitmap ramp(256, 64);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 3 * 256; ++x) ramp.ScanLine(y)[x] = static_cast<uint8_t>(x / 3);
  HPALETTE bw = CreatePalette({{0, 0, 0, 0}, {255, 255, 255, 0}});
  for (TDitherKind d : AllDitherers) {
    if (d == TDitherKind::dtNearest) continue;
    TBitmap src = ramp;
    TBitmap out = Expand8(*ReduceBitmapColors(src, TReductionMethod::rdCustomPalette, d, 8, bw));
    for (int band = 0; band < 256; band += 32) {
      double diff = 0;
      for (int y = 0; y < 64; ++y)
        for (int x = 3 * band; x < 3 * (band + 32); ++x) diff += out.ScanLine(y)[x] - ramp.ScanLine(y)[x];
      EXPECT_LT(std::fabs(diff / (32 * 64 * 3)), 12.0) << "ditherer " << int(d) << " band " << band;
    }
  }
}

// Where a channel clamps at 0 or 255 its error is 0; the pending next-row terms must still move
// on, or an error already used is applied again two rows later. On ramps that wrap from 255 to
// 0 that doubling shifted 16x16 block means by up to 80 levels; moved on, they stay within 30.
TEST(ReduceBitmapColors, FloydSteinbergUsesEachErrorOnce) {
  const int w = 128, h = 128;
  TBitmap src(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < 3; ++c)
        src.ScanLine(y)[3 * x + c] = static_cast<uint8_t>((2 * x * (c == 1 ? 1 : c + 1)) % 256);
  TBitmap work = src;
  HPALETTE bw = CreatePalette({{0, 0, 0, 0}, {255, 255, 255, 0}});
  TBitmap out =
      Expand8(*ReduceBitmapColors(work, TReductionMethod::rdCustomPalette, TDitherKind::dtFloydSteinberg, 8, bw));
  double worst = 0.0;
  for (int by = 0; by < h; by += 16)
    for (int bx = 0; bx < w; bx += 16) {
      double d = 0.0;
      for (int y = by; y < by + 16; ++y)
        for (int x = 3 * bx; x < 3 * (bx + 16); ++x) d += out.ScanLine(y)[x] - src.ScanLine(y)[x];
      worst = std::max(worst, std::fabs(d / (16 * 16 * 3)));
    }
  EXPECT_LT(worst, 40.0);
}

// The one-loop Floyd-Steinberg path must give exactly what the ditherer class gives, byte for
// byte, in both its forms (AVX2 where the processor has it, and SSE2): serpentine rows, the
// error at the row ends, clamping, palettes of every size, long candidate lists and ties.
TEST(ReduceBitmapColors, FloydSteinbergFastPathEqualsTheDithererClass) {
  const struct {
    int W, H;
    HPALETTE Palette;
  } cases[] = {{1, 9, RandomPalette(256, 1)},
               {2, 3, RandomPalette(2, 2)},
               {7, 7, RandomPalette(16, 3)},
               {64, 33, RandomPalette(256, 4)},
               {301, 17, RandomPalette(1, 5)},
               {130, 90, RandomPalette(200, 6)},
               {97, 40, ClusteredPalette(256, 7, 96, 24)},
               {50, 50, ClusteredPalette(256, 8, 0, 8)},
               {523, 6, RandomPalette(256, 9)}};
  for (const auto& c : cases)
    for (const TDitherForm form : {TDitherForm::Widest, TDitherForm::AVX2, TDitherForm::SSE2}) {
      TBitmap picture = Picture(c.W, c.H, static_cast<uint32_t>(c.W * 31 + c.H));
      TFastColorLookup lookup(c.Palette);
      TBitmap fast;
      {
        TDIBReader reader(picture, TPixelFormat::pf24bit);
        TDIBWriter writer(fast, TPixelFormat::pf8bit, c.W, c.H, c.Palette);
        DitherFloydSteinberg(reader, writer, c.W, c.H, lookup, form);
        writer.Finish();
      }
      TFloydSteinbergDitherer reference(c.W, lookup);
      for (int y = 0; y < c.H; ++y) {
        const uint8_t* src = picture.ScanLine(y);
        uint8_t r, g, b;
        while (reference.Column >= 0 && reference.Column < c.W) {
          const int x = reference.Column;
          const uint8_t* p = src + 3 * x;
          const uint8_t index = reference.Dither(p[2], p[1], p[0], r, g, b);
          ASSERT_EQ(fast.ScanLine(y)[x], index)
              << c.W << "x" << c.H << " at " << x << "," << y << " in form " << static_cast<int>(form);
        }
        reference.NextLine();
      }
    }
}

TEST(DIBWriter, RowsPaletteAndErrors) {
  TBitmap target;
  HPALETTE pal = CreatePalette({{1, 2, 3, 9}, {4, 5, 6, 9}});
  {
    TDIBWriter w(target, TPixelFormat::pf8bit, 3, 2, pal);
    w.ScanLine(0)[2] = 1;
    try {
      w.ScanLine(-1);
      ADD_FAILURE() << "row -1 was accepted";
    } catch (const Exception& e) {
      EXPECT_STREQ(e.what(), "Scan line index out of range");
    }
    EXPECT_THROW(w.ScanLine(2), Exception);
    EXPECT_TRUE(target.Empty()) << "the bitmap changes only when the writer is done";
  }
  ASSERT_EQ(target.PixelFormat(), TPixelFormat::pf8bit);
  EXPECT_EQ(target.ScanLine(0)[2], 1);  // rows are addressed top-down
  EXPECT_EQ(target.ScanLine(1)[2], 0);
  ASSERT_EQ(PaletteEntryCount(target.Palette()), 256);
  EXPECT_EQ(target.Palette()->Entries[1], (TPaletteEntry{4, 5, 6, 0}));
  EXPECT_EQ(target.Palette()->Entries[2], TPaletteEntry{});

  TBitmap untouched = Uniform(2, 2, 1, 1, 1);
  { TDIBWriter w(untouched, TPixelFormat::pf8bit, 4, 4, pal); }
  EXPECT_EQ(untouched.Width(), 2) << "a writer never asked for a row leaves the bitmap alone";

  auto message = [&](TPixelFormat pf, int w, int h) -> std::string {
    try {
      TDIBWriter dw(target, pf, w, h, pal);
      dw.ScanLine(0);
    } catch (const Exception& e) {
      return e.what();
    }
    return "accepted";
  };
  EXPECT_EQ(message(TPixelFormat::pf4bit, 2, 2), "Unsupported PixelFormat");
  EXPECT_EQ(message(TPixelFormat::pf32bit, 2, 2), "Unsupported PixelFormat");
  EXPECT_EQ(message(TPixelFormat::pf8bit, 0, 5), "Invalid image dimensions");
  EXPECT_EQ(message(TPixelFormat::pf8bit, 5, -1), "Invalid image dimensions");
  EXPECT_EQ(message(TPixelFormat::pf24bit, 1 << 30, 1 << 30), "Failed to allocate memory for GIF DIB");
  // Row size times height does not fit 64 bits here.
  EXPECT_EQ(message(TPixelFormat::pf24bit, INT_MAX, INT_MAX), "Failed to allocate memory for GIF DIB");
  EXPECT_EQ(message(TPixelFormat::pf8bit, INT_MAX, 2), "Failed to allocate memory for GIF DIB");
}
