#include <gtest/gtest.h>

#include <cstdlib>

#include "ImagingTestSupport.h"
#include "imaging/ColorReduction.h"
#include "platform/Exceptions.h"

using namespace imgtest;

namespace {

constexpr TDitherKind AllDitherers[] = {TDitherKind::dtNearest, TDitherKind::dtFloydSteinberg, TDitherKind::dtStucki,
                                        TDitherKind::dtSierra,  TDitherKind::dtJaJuNi,         TDitherKind::dtSteveArche,
                                        TDitherKind::dtBurkes};

HPALETTE RandomPalette(int n, uint32_t seed) {
  TRandom rnd(seed);
  std::vector<TPaletteEntry> e;
  for (int i = 0; i < n; ++i) e.push_back({rnd.Byte(), rnd.Byte(), rnd.Byte(), 0});
  return CreatePalette(std::move(e));
}

// The plain search the fast lookup must agree with: smallest |dR| + |dG| + |dB|, first of equals.
int NearestBySearch(const HPALETTE& pal, int r, int g, int b) {
  int best = -1, bestD = 1 << 30;
  for (size_t i = 0; i < pal->Entries.size() && i < 256; ++i) {
    const TPaletteEntry& e = pal->Entries[i];
    int d = std::abs(r - e.peRed) + std::abs(g - e.peGreen) + std::abs(b - e.peBlue);
    if (d < bestD) {
      bestD = d;
      best = static_cast<int>(i);
    }
  }
  return best;
}

TBitmap Picture(int w, int h, uint32_t seed) {
  TBitmap bmp(w, h);
  TRandom rnd(seed);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* d = bmp.ScanLine(y) + 3 * x;
      d[0] = static_cast<uint8_t>(x * 255 / std::max(1, w - 1));
      d[1] = static_cast<uint8_t>((x + y) * 255 / std::max(1, w + h - 2));
      d[2] = static_cast<uint8_t>(std::clamp(y * 255 / std::max(1, h - 1) + static_cast<int>(rnd.Next() % 21) - 10, 0, 255));
    }
  return bmp;
}

}  // namespace

TEST(ColorLookups, FastLookupAgreesWithAPlainSearch) {
  for (int n : {1, 2, 20, 256, 300}) {
    HPALETTE pal = RandomPalette(n, static_cast<uint32_t>(n));
    TFastColorLookup lookup(pal);
    EXPECT_EQ(lookup.Colors, std::min(n, 256));
    TRandom rnd(1000 + static_cast<uint32_t>(n));
    for (int i = 0; i < 40000; ++i) {
      uint8_t r = rnd.Byte(), g = rnd.Byte(), b = rnd.Byte(), R, G, B;
      if (i % 4 == 0) {  // revisit colours near earlier ones, so cached answers are checked too
        r = static_cast<uint8_t>(r & 0xF8);
        g = static_cast<uint8_t>(g & 0xF8);
      }
      const int want = NearestBySearch(pal, r, g, b);
      ASSERT_EQ(lookup.Lookup(r, g, b, R, G, B), want) << int(r) << "," << int(g) << "," << int(b);
      const TPaletteEntry& e = pal->Entries[static_cast<size_t>(want)];
      ASSERT_EQ(std::tie(R, G, B), std::tie(e.peRed, e.peGreen, e.peBlue));
    }
  }
}

TEST(ColorLookups, FastLookupTiesAndNearlyBlackColours) {
  // Two entries at the same distance: the first one wins, whatever was looked up before.
  HPALETTE pal = CreatePalette({{0, 0, 0, 0}, {10, 0, 0, 0}, {0, 10, 0, 0}, {6, 6, 6, 0}});
  TFastColorLookup lookup(pal);
  uint8_t R, G, B;
  EXPECT_EQ(lookup.Lookup(5, 0, 0, R, G, B), 0);  // 5 from black and from entry 1
  EXPECT_EQ(lookup.Lookup(5, 5, 0, R, G, B), 3);  // entries 1 and 2 are 10 away, entry 3 is 7
  // A dark colour of the same 5-5-5 block as black keeps its own nearest entry, so an opaque
  // dark pixel of a masked texture does not turn into the mask index 0.
  EXPECT_EQ(lookup.Lookup(6, 6, 6, R, G, B), 3);
  EXPECT_EQ(lookup.Lookup(7, 7, 7, R, G, B), 3);
  EXPECT_EQ(lookup.Lookup(1, 1, 1, R, G, B), 0);
  EXPECT_EQ(TFastColorLookup(HPALETTE()).Colors, 0);
}

TEST(ColorLookups, WebGreyAndMonochromeBoundaries) {
  TNetscapeColorLookup web;
  uint8_t R, G, B;
  for (int c = 0; c < 256; ++c) {
    uint8_t want = c <= 47 ? 0 : c <= 98 ? 51 : c <= 149 ? 102 : c <= 200 ? 153 : c <= 251 ? 204 : 255;
    web.Lookup(static_cast<uint8_t>(c), 0, 0, R, G, B);
    ASSERT_EQ(R, want) << c;
  }
  EXPECT_EQ(web.Lookup(255, 0, 51, R, G, B), 5 * 36 + 1);
  EXPECT_EQ(web.Lookup(0, 0, 51, R, G, B), 1);  // the web palette's entry 1

  TGrayScaleLookup grey;
  EXPECT_EQ(grey.Lookup(255, 255, 255, R, G, B), 255);
  EXPECT_EQ(grey.Lookup(255, 0, 0, R, G, B), 76);
  EXPECT_EQ(grey.Lookup(0, 0, 255, R, G, B), 28);

  TMonochromeLookup mono;
  EXPECT_EQ(mono.Lookup(127, 127, 127, R, G, B), 0);
  EXPECT_EQ(R, 0);
  EXPECT_EQ(mono.Lookup(128, 128, 128, R, G, B), 1);
  EXPECT_EQ(B, 255);
}

TEST(ReduceBitmapColors, OneRedPixelGivesIndexOneWithEveryDitherer) {
  HPALETTE pal = CreatePalette({{0, 0, 0, 0}, {255, 0, 0, 0}});
  for (TDitherKind d : AllDitherers) {
    TBitmap red = Uniform(1, 1, 255, 0, 0);
    auto out = ReduceBitmapColors(red, TReductionMethod::rdCustomPalette, d, 8, pal);
    ASSERT_EQ(out->PixelFormat(), TPixelFormat::pf8bit);
    ASSERT_EQ(out->Width(), 1);
    EXPECT_EQ(out->ScanLine(0)[0], 1) << "ditherer " << int(d);
    // The caller's palette is copied into a 256-entry table.
    ASSERT_EQ(PaletteEntryCount(out->Palette()), 256);
    EXPECT_EQ(out->Palette()->Entries[1].peRed, 255);
  }
}

TEST(ReduceBitmapColors, UniformPaletteColourGivesOneIndexEverywhere) {
  HPALETTE pal = RandomPalette(256, 3);
  const TPaletteEntry c = pal->Entries[77];
  const int want = NearestBySearch(pal, c.peRed, c.peGreen, c.peBlue);
  for (TDitherKind d : AllDitherers)
    for (auto m : {TReductionMethod::rdCustomPalette, TReductionMethod::rdOptimal}) {
      TBitmap bmp = Uniform(37, 9, c.peRed, c.peGreen, c.peBlue);
      auto out = ReduceBitmapColors(bmp, m, d, 8, pal);
      ASSERT_EQ(out->Height(), 9);
      const uint8_t first = out->ScanLine(0)[0];
      if (m == TReductionMethod::rdCustomPalette) {
        EXPECT_EQ(first, want);
      }
      for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 37; ++x) ASSERT_EQ(out->ScanLine(y)[x], first) << "ditherer " << int(d) << " at " << x << "," << y;
    }
}

TEST(ReduceBitmapColors, EveryMethodMapsToItsPalette) {
  struct TCase {
    TReductionMethod Method;
    int Entries;  // entries that may be used
  };
  for (TCase c : {TCase{TReductionMethod::rdSystem20, 20}, {TReductionMethod::rdHalftone256, 256},
                  {TReductionMethod::rdGray4, 4}, {TReductionMethod::rdMonochrome, 2}, {TReductionMethod::rdGray256, 256},
                  {TReductionMethod::rdWeb216, 216}, {TReductionMethod::rdOptimal, 16},
                  {TReductionMethod::rdOptimalSystem, 256}}) {
    TBitmap bmp = Picture(40, 30, 11);
    auto out = ReduceBitmapColors(bmp, c.Method, TDitherKind::dtFloydSteinberg, 4, nullptr);
    ASSERT_EQ(out->Width(), 40) << int(c.Method);
    ASSERT_EQ(out->PixelFormat(), TPixelFormat::pf8bit);
    int maxIndex = 0;
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 40; ++x) maxIndex = std::max<int>(maxIndex, out->ScanLine(y)[x]);
    EXPECT_LT(maxIndex, c.Entries) << int(c.Method);
    // The picture survives where the palette has colours enough.
    if (c.Entries >= 216 && c.Method != TReductionMethod::rdGray256) {
      EXPECT_GT(Psnr(bmp, Expand8(*out)), 20.0) << int(c.Method);
    }
  }
}

TEST(ReduceBitmapColors, DitheringKeepsTheMeanColour) {
  // A smooth ramp reduced to black and white: error diffusion keeps the local mean; nearest
  // mapping does not.
  TBitmap ramp(256, 64);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 256; ++x)
      for (int c = 0; c < 3; ++c) ramp.ScanLine(y)[3 * x + c] = static_cast<uint8_t>(x);
  HPALETTE bw = CreatePalette({{0, 0, 0, 0}, {255, 255, 255, 0}});
  for (TDitherKind d : AllDitherers) {
    TBitmap src = ramp;
    TBitmap out = Expand8(*ReduceBitmapColors(src, TReductionMethod::rdCustomPalette, d, 8, bw));
    for (int band = 0; band < 256; band += 32) {
      double in = 0, got = 0;
      for (int y = 0; y < 64; ++y)
        for (int x = band; x < band + 32; ++x) {
          in += ramp.ScanLine(y)[3 * x];
          got += out.ScanLine(y)[3 * x];
        }
      in /= 32 * 64;
      got /= 32 * 64;
      if (d == TDitherKind::dtNearest) continue;
      EXPECT_NEAR(got, in, 12.0) << "ditherer " << int(d) << " band " << band;
    }
  }
}

TEST(ReduceBitmapColors, NoneCopiesAndLeavesTheSourceAlone) {
  TBitmap src(5, 3, TPixelFormat::pf4bit);
  src.SetPalette(CreatePalette({{0, 0, 0, 0}, {200, 10, 20, 0}}));
  src.ScanLine(1)[1] = 0x10;  // pixel (2, 1) is entry 1
  auto out = ReduceBitmapColors(src, TReductionMethod::rdNone, TDitherKind::dtFloydSteinberg, 8, nullptr);
  EXPECT_EQ(src.PixelFormat(), TPixelFormat::pf4bit);
  EXPECT_EQ(out->PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(out->ScanLine(1)[3 * 2 + 2], 200);
  EXPECT_EQ(out->ScanLine(1)[3 * 2 + 1], 10);
  EXPECT_EQ(out->ScanLine(1)[3 * 2], 20);
}

TEST(ReduceBitmapColors, UnknownValuesAndEmptyPalettesGiveAnEmptyBitmap) {
  TBitmap bmp = Picture(8, 8, 1);
  auto m = ReduceBitmapColors(bmp, static_cast<TReductionMethod>(10), TDitherKind::dtNearest, 8, nullptr);
  EXPECT_TRUE(m->Empty());
  auto d = ReduceBitmapColors(bmp, TReductionMethod::rdWeb216, static_cast<TDitherKind>(7), 8, nullptr);
  EXPECT_TRUE(d->Empty());
  auto p = ReduceBitmapColors(bmp, TReductionMethod::rdCustomPalette, TDitherKind::dtNearest, 8, nullptr);
  EXPECT_TRUE(p->Empty());
  auto e = ReduceBitmapColors(bmp, TReductionMethod::rdCustomPalette, TDitherKind::dtNearest, 8, CreatePalette({}));
  EXPECT_TRUE(e->Empty());
}

TEST(ReduceBitmapColors, ReductionBitsAreClamped) {
  for (auto [bits, colours] : {std::pair{0, 2}, {-3, 2}, {1, 2}, {3, 8}, {8, 256}, {40, 256}}) {
    TBitmap bmp = Picture(64, 64, 2);
    auto out = ReduceBitmapColors(bmp, TReductionMethod::rdOptimal, TDitherKind::dtNearest, bits, nullptr);
    ASSERT_FALSE(out->Empty()) << bits;
    int maxIndex = 0;
    for (int y = 0; y < 64; ++y)
      for (int x = 0; x < 64; ++x) maxIndex = std::max<int>(maxIndex, out->ScanLine(y)[x]);
    EXPECT_LT(maxIndex, colours) << bits;
    EXPECT_GE(maxIndex, colours / 2) << bits;
  }
}

TEST(ReduceBitmapColors, AgreesWithANearestSearchWithoutDithering) {
  TBitmap bmp = Picture(50, 40, 9);
  TBitmap copy = bmp;
  HPALETTE pal = RandomPalette(100, 17);
  auto out = ReduceBitmapColors(bmp, TReductionMethod::rdCustomPalette, TDitherKind::dtNearest, 8, pal);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 50; ++x) {
      const uint8_t* p = copy.ScanLine(y) + 3 * x;
      ASSERT_EQ(out->ScanLine(y)[x], NearestBySearch(pal, p[2], p[1], p[0])) << x << "," << y;
    }
}

TEST(DIBWriter, RowsPaletteAndErrors) {
  TBitmap target;
  HPALETTE pal = CreatePalette({{1, 2, 3, 9}, {4, 5, 6, 9}});
  {
    TDIBWriter w(target, TPixelFormat::pf8bit, 3, 2, pal);
    w.ScanLine(0)[2] = 1;
    w.ScanLine(1)[0] = 1;
    try {
      w.ScanLine(-1);
      ADD_FAILURE() << "row -1 was accepted";
    } catch (const Exception& e) {
      EXPECT_STREQ(e.what(), "Scan line index out of range");
    }
    EXPECT_THROW(w.ScanLine(2), Exception);
    EXPECT_TRUE(target.Empty()) << "the bitmap changes only when the writer is done";
  }
  ASSERT_EQ(target.Width(), 3);
  ASSERT_EQ(target.PixelFormat(), TPixelFormat::pf8bit);
  EXPECT_EQ(target.ScanLine(0)[2], 1);  // rows are addressed top-down
  EXPECT_EQ(target.ScanLine(1)[0], 1);
  EXPECT_EQ(target.ScanLine(0)[0], 0);
  ASSERT_EQ(PaletteEntryCount(target.Palette()), 256);
  EXPECT_EQ(target.Palette()->Entries[1], (TPaletteEntry{4, 5, 6, 0}));
  EXPECT_EQ(target.Palette()->Entries[2], TPaletteEntry{});

  TBitmap rgb;
  {
    TDIBWriter w(rgb, TPixelFormat::pf24bit, 2, 2, nullptr);
    w.ScanLine(1)[5] = 77;
    w.Finish();
  }
  EXPECT_EQ(rgb.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(rgb.ScanLine(1)[5], 77);

  TBitmap untouched = Uniform(2, 2, 1, 1, 1);
  { TDIBWriter w(untouched, TPixelFormat::pf8bit, 4, 4, pal); }
  EXPECT_EQ(untouched.Width(), 2) << "a writer never asked for a row leaves the bitmap alone";

  for (TPixelFormat pf : {TPixelFormat::pf1bit, TPixelFormat::pf4bit, TPixelFormat::pf32bit}) {
    try {
      TDIBWriter w(target, pf, 2, 2, pal);
      ADD_FAILURE() << "pixel format accepted";
    } catch (const GIFException& e) {
      EXPECT_STREQ(e.what(), "Unsupported PixelFormat");
    }
  }
  for (auto [w, h] : {std::pair{0, 5}, {5, 0}, {-1, 5}}) {
    try {
      TDIBWriter dw(target, TPixelFormat::pf8bit, w, h, pal);
      ADD_FAILURE() << "size " << w << "x" << h << " accepted";
    } catch (const GIFException& e) {
      EXPECT_STREQ(e.what(), "Invalid image dimensions");
    }
  }
  TDIBWriter huge(target, TPixelFormat::pf24bit, 1 << 30, 1 << 30, nullptr);
  try {
    huge.ScanLine(0);
    ADD_FAILURE() << "a 2^60-byte image was accepted";
  } catch (const EOutOfMemory& e) {
    EXPECT_STREQ(e.what(), "Failed to allocate memory for GIF DIB");
  }
}

// Our Floyd-Steinberg to our palette against the peer's, both from the same palette.
TEST(ReducePeer, FloydSteinbergAgainstThePeersRemap) {
  if (!HavePeer(Convert)) return;
  TScratch s;
  TBitmap src = PeerPicture(s, "wizard", 200, 160);
  ASSERT_FALSE(src.Empty());
  SavePixmap(src, s.File("src.ppm"));
  for (auto [name, pal] : {std::pair{"web", WebPalette216()}, {"grey", GrayPalette256()}}) {
    TBitmap work = src;
    TBitmap ours = Expand8(*ReduceBitmapColors(work, TReductionMethod::rdCustomPalette, TDitherKind::dtFloydSteinberg, 8, pal));
    TBitmap palImg(PaletteEntryCount(pal), 1);
    for (int i = 0; i < palImg.Width(); ++i) {
      palImg.ScanLine(0)[3 * i] = pal->Entries[i].peBlue;
      palImg.ScanLine(0)[3 * i + 1] = pal->Entries[i].peGreen;
      palImg.ScanLine(0)[3 * i + 2] = pal->Entries[i].peRed;
    }
    SavePixmap(palImg, s.File("pal.ppm"));
    RunCommand(std::string(Convert) + " " + s.File("src.ppm") + " -dither FloydSteinberg -remap " + s.File("pal.ppm") + " " +
               s.File("peer.ppm"));
    const double o = Psnr(src, ours), p = Psnr(src, LoadPixmap(s.File("peer.ppm")));
    EXPECT_GE(o, p - 1.0) << name;
    std::printf("FS-REMAP %-5s ours %.2f dB, peer %.2f dB\n", name, o, p);
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
      for (int c = 0; c < 3; ++c) src.ScanLine(y)[3 * x + c] = static_cast<uint8_t>((2 * x * (c == 1 ? 1 : c + 1)) % 256);
  TBitmap work = src;
  HPALETTE bw = CreatePalette({{0, 0, 0, 0}, {255, 255, 255, 0}});
  TBitmap out = Expand8(*ReduceBitmapColors(work, TReductionMethod::rdCustomPalette, TDitherKind::dtFloydSteinberg, 8, bw));
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
