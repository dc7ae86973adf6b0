#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <set>

#include "ImagingTestSupport.h"
#include "imaging/ColorReduction.h"
#include "imaging/DIB.h"
#include "platform/Streams.h"

using namespace imgtest;

TEST(GifUnitRoutines, ScanLineSizes) {
  EXPECT_EQ(ScanLineBytes(3, 24, 32), 12);
  EXPECT_EQ(ScanLineBytes(5, 8, 32), 8);
  EXPECT_EQ(ScanLineBytes(int64_t{1} << 30, 24, 32), int64_t{3} << 30);  // no 32-bit wrap
  EXPECT_EQ(ScanLineBytes(5, 8, 16), 6);
  // Alignments under a byte or not a multiple of 8 still give whole bytes for every bit.
  EXPECT_EQ(ScanLineBytes(8, 8, 1), 8);
  EXPECT_EQ(ScanLineBytes(3, 1, 1), 1);
  EXPECT_EQ(ScanLineBytes(2, 12, 12), 3);
  EXPECT_EQ(ScanLineBytes(3, 4, 12), 2);
  EXPECT_EQ(ScanLineBytes(INT64_MAX, 32, 32), INT64_MAX);  // saturates instead of wrapping
  EXPECT_EQ(ScanLineBytes(-1, 8, 32), 0);
  EXPECT_EQ(ScanLineBytes(4, 8, 0), 0);
  EXPECT_THROW(CheckGDIResult(0), EOutOfResources);
}

TEST(FixedPalettes, Contents) {
  HPALETTE web = WebPalette216(), half = HalftonePalette256();
  ASSERT_EQ(PaletteEntryCount(web), 216);
  EXPECT_EQ(web->Entries[215], (TPaletteEntry{255, 255, 255, 0}));
  EXPECT_EQ(web->Entries[1], (TPaletteEntry{0, 0, 51, 0}));
  EXPECT_EQ(GrayPalette256()->Entries[77], (TPaletteEntry{77, 77, 77, PC_NOCOLLAPSE}));
  EXPECT_EQ(GrayPalette4()->Entries[2], (TPaletteEntry{192, 192, 192, PC_NOCOLLAPSE}));
  EXPECT_EQ(DefaultPalette20().get(), DefaultPalette20().get()) << "the stock palette is never copied";
  ASSERT_EQ(PaletteEntryCount(half), 256);
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(half->Entries[i], DefaultPalette20()->Entries[i]);
    EXPECT_EQ(half->Entries[246 + i], DefaultPalette20()->Entries[10 + i]);
  }
}

TEST(Octree, FewColoursComeOutExactlyInTreeOrder) {
  // Up to MaxColors distinct colours each keep a leaf; the depth-first order of the tree is the
  // order of the colours' interleaved bits, red first. The rest of the palette is black.
  TBitmap bmp(40, 10);
  TRandom rnd(99);
  std::vector<TPaletteEntry> colours(37);
  for (auto& c : colours) c = {rnd.Byte(), rnd.Byte(), rnd.Byte(), 0};
  std::map<uint32_t, TPaletteEntry> byKey;
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 40; ++x) {
      const TPaletteEntry& c = colours[rnd.Byte() % colours.size()];
      uint8_t* d = bmp.ScanLine(y) + 3 * x;
      d[0] = c.peBlue, d[1] = c.peGreen, d[2] = c.peRed;
      uint32_t key = 0;
      for (int bit = 7; bit >= 0; --bit)
        key = (key << 3) | (((c.peRed >> bit) & 1u) << 2) | (((c.peGreen >> bit) & 1u) << 1) | ((c.peBlue >> bit) & 1u);
      byKey[key] = c;
    }
  HPALETTE pal = QuantizeBitmapPalette(bmp, 64, 8, false);
  ASSERT_EQ(PaletteEntryCount(pal), 64);
  size_t i = 0;
  for (auto& [key, c] : byKey) EXPECT_EQ(pal->Entries[i++], c) << "entry " << i - 1;
  for (; i < 64; ++i) EXPECT_EQ(pal->Entries[i], TPaletteEntry{}) << "unused entry " << i;

  // With the static colours: the stock palette's ten first and ten last around the image's.
  HPALETTE win = QuantizeBitmapPalette(bmp, 16, 8, true);
  ASSERT_EQ(PaletteEntryCount(win), 256);
  for (int k = 0; k < 10; ++k) {
    EXPECT_EQ(win->Entries[k], DefaultPalette20()->Entries[k]);
    EXPECT_EQ(win->Entries[246 + k], DefaultPalette20()->Entries[10 + k]);
  }
  EXPECT_EQ(win->Entries[10], pal->Entries[0]);
}

TEST(Octree, ListEqualsOneStackedImageAndBadInputIsRefused) {
  TBitmap a = Picture(50, 30, 1), b = Picture(50, 20, 2), both(50, 50);
  for (int y = 0; y < 50; ++y) std::copy_n(y < 30 ? a.ScanLine(y) : b.ScanLine(y - 30), 150, both.ScanLine(y));
  std::vector<TBitmap*> list{&a, &b};
  EXPECT_EQ(QuantizeBitmapListPalette(list, 256, 8, false)->Entries,
            QuantizeBitmapPalette(both, 256, 8, false)->Entries);

  std::vector<TBitmap*> none, withNull{&a, nullptr};
  for (const std::vector<TBitmap*>* l : {static_cast<std::vector<TBitmap*>*>(nullptr), &none, &withNull}) {
    try {
      QuantizeBitmapListPalette(l, 256, 8, false);
      ADD_FAILURE() << "a bad list was accepted";
    } catch (const GIFException& e) {
      EXPECT_STREQ(e.what(), "Invalid bitmap list");
    }
  }
  EXPECT_THROW(QuantizeBitmapPalette(a, 0, 8, false), GIFException);
  EXPECT_THROW(QuantizeBitmapPalette(a, -5, 8, false), GIFException);
  // More entries than a palette can count would only take memory.
  EXPECT_THROW(QuantizeBitmapPalette(a, INT_MAX, 8, false), GIFException);
  EXPECT_EQ(PaletteEntryCount(QuantizeBitmapPalette(a, 65535, 8, false)), 65535);
  EXPECT_EQ(PaletteEntryCount(QuantizeBitmapPalette(a, INT_MAX, 8, true)), 256);  // the count is not used
}

TEST(Octree, ReaderInAnotherFormatGivesThePictureColours) {
  // A reader opened at 8 or 4 bits has rows of one byte a pixel or less; the palette must come
  // from the pixels' colours, not from reading those rows three bytes at a time.
  TBitmap picture = Picture(33, 17, 5);
  for (TPixelFormat pf : {TPixelFormat::pf8bit, TPixelFormat::pf4bit, TPixelFormat::pf32bit}) {
    TBitmap bmp = picture;
    bmp.SetPixelFormat(pf);
    TBitmap wide = bmp;
    wide.SetPixelFormat(TPixelFormat::pf24bit);
    TDIBReader reader(bmp, pf);
    EXPECT_EQ(QuantizeDIBPalette(reader, 64, 8, false)->Entries, QuantizeBitmapPalette(wide, 64, 8, false)->Entries)
        << BitsPerPixel(pf) << " bits";
    EXPECT_EQ(bmp.PixelFormat(), pf) << "the reader's bitmap stays as it was opened";
  }
}

TEST(Octree, StaysBoundedAndKeepsEveryPixel) {
  for (int maxColors : {1, 2, 7, 256}) {
    TColorQuantizer q(maxColors, 8);
    TRandom rnd(static_cast<uint32_t>(maxColors));
    for (int i = 0; i < 20000; ++i) {
      q.AddColor(rnd.Byte(), rnd.Byte(), rnd.Byte());
      ASSERT_LE(q.LeafCount(), maxColors);
    }
    EXPECT_GE(q.ColorTable().size(), 1u);
    EXPECT_LE(q.ColorTable().size(), static_cast<size_t>(maxColors));
  }
  TColorQuantizer one(1, 8);  // one leaf holds the mean of everything it took
  for (auto [r, g] : {std::pair{0, 0}, {255, 100}, {255, 101}})
    one.AddColor(static_cast<uint8_t>(r), static_cast<uint8_t>(g), 9);
  EXPECT_EQ(one.ColorTable(), (std::vector<TPaletteEntry>{{170, 67, 9, 0}}));
}

// Palette quality against the 24-bit source: mapped to our palette without dithering, against
// the peer's own quantizer; our Floyd-Steinberg against the peer's with our palette.
TEST(PalettePeer, QualityAgainstThePeer) {
  SKIP_WITHOUT_PEER(Convert);
  SKIP_WITHOUT_PEER("/usr/bin/pngquant");
  TScratchDir s("imaging");
  for (const char* name : {"rose", "wizard", "logo", "granite"}) {
    const TBitmap src = PeerPicture(s, name, 256, 256);
    ASSERT_FALSE(src.Empty());
    SavePixmap(src, s / "src.ppm");
    TBitmap work = src;
    HPALETTE pal = QuantizeBitmapPalette(work, 256, 8, false);
    SavePixmap(PaletteStrip(pal), s / "pal.ppm");
    double ours[2];
    for (int fs = 0; fs < 2; ++fs)
      ours[fs] =
          Psnr(src, Expand8(*ReduceBitmapColors(work, TReductionMethod::rdCustomPalette,
                                                fs ? TDitherKind::dtFloydSteinberg : TDitherKind::dtNearest, 8, pal)));
    const std::string in = std::string(Convert) + " " + (s / "src.ppm");
    RunCommand(in + " -dither None -colors 256 " + (s / "peer.ppm"));
    const double peer = Psnr(src, LoadPixmap(s / "peer.ppm"));
    RunCommand(in + " -dither FloydSteinberg -remap " + (s / "pal.ppm") + " " + (s / "peerfs.ppm"));
    const double peerFs = Psnr(src, LoadPixmap(s / "peerfs.ppm"));
    RunCommand(in + " " + (s / "src.png") + " && /usr/bin/pngquant --force --output " + (s / "pq.png") + " 256 " +
               (s / "src.png") + " && " + Convert + " " + (s / "pq.png") + " -depth 8 " + (s / "pq.ppm"));
    const double pq = Psnr(src, LoadPixmap(s / "pq.ppm"));
    EXPECT_GE(ours[0], peer - 3.0) << name;
    EXPECT_GE(ours[1], peerFs - 1.0) << name;
    std::printf(
        "PALETTE %-8s nearest: ours %.2f dB, peer -colors 256 %.2f dB; FS: ours %.2f dB, peer -remap %.2f dB; "
        "pngquant %.2f dB\n",
        name, ours[0], peer, ours[1], peerFs, pq);
  }
}

// Whoever receives a palette owns it: nothing here may keep one alive (the editor counts on
// each build's palettes going away with it).
TEST(Octree, PalettesAreReleased) {
  const long before = TPaletteData::LiveCount();
  {
    TBitmap bmp = Picture(30, 20, 4);
    HPALETTE mine = QuantizeBitmapPalette(bmp, 256, 8, true);
    for (auto m : {TReductionMethod::rdOptimalSystem, TReductionMethod::rdHalftone256, TReductionMethod::rdOptimal,
                   TReductionMethod::rdCustomPalette})
      ReduceBitmapColors(bmp, m, TDitherKind::dtFloydSteinberg, 8, mine);
    EXPECT_EQ(TPaletteData::LiveCount(), before + 1);
  }
  EXPECT_EQ(TPaletteData::LiveCount(), before);
}
