#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "ImagingTestSupport.h"
#include "imaging/ColorQuantizer.h"
#include "imaging/ColorReduction.h"
#include "platform/Streams.h"

using namespace imgtest;

namespace {

TBitmap RandomPicture(int w, int h, uint32_t seed, int levels = 256) {
  TBitmap bmp(w, h, TPixelFormat::pf24bit);
  TRandom rnd(seed);
  for (int y = 0; y < h; ++y) {
    uint8_t* d = bmp.ScanLine(y);
    for (int x = 0; x < 3 * w; ++x) d[x] = static_cast<uint8_t>(rnd.Next() % static_cast<uint32_t>(levels) * (255 / std::max(1, levels - 1)));
  }
  return bmp;
}

// The octree's depth-first order is the order of the colours' interleaved bits, red first.
uint32_t OctreeKey(const TPaletteEntry& e) {
  uint32_t key = 0;
  for (int bit = 7; bit >= 0; --bit)
    key = (key << 3) | (((e.peRed >> bit) & 1u) << 2) | (((e.peGreen >> bit) & 1u) << 1) | ((e.peBlue >> bit) & 1u);
  return key;
}

}  // namespace

TEST(GifUnitRoutines, SizesAndColourBits) {
  EXPECT_EQ(ScanLineBytes(3, 24, 32), 12);
  EXPECT_EQ(ScanLineBytes(5, 8, 32), 8);
  EXPECT_EQ(ScanLineBytes(1, 1, 32), 4);
  EXPECT_EQ(ScanLineBytes(0, 24, 32), 0);
  EXPECT_EQ(ScanLineBytes(3, 4, 8), 2);
  // Wider than 32 bits can count: 100000 pixels of 32 bits need 400000 bytes, and a row of
  // 2^30 pixels at 24 bits does not wrap.
  EXPECT_EQ(ScanLineBytes(100000, 32, 32), 400000);
  EXPECT_EQ(ScanLineBytes(int64_t{1} << 30, 24, 32), int64_t{3} << 30);
  EXPECT_EQ(GIFColorBits(0), 0);
  EXPECT_EQ(GIFColorBits(1), 1);
  EXPECT_EQ(GIFColorBits(2), 1);
  EXPECT_EQ(GIFColorBits(3), 2);
  EXPECT_EQ(GIFColorBits(256), 8);
  EXPECT_EQ(GIFColorBits(257), 9);
  EXPECT_EQ(GIFColorBits(0xFFFFFFFFu), 32);
  EXPECT_THROW(CheckGDIResult(0), EOutOfResources);
  EXPECT_EQ(CheckGDIResult(42), 42);
}

TEST(GifUnitRoutines, SubBlockStringsRoundTripAndTruncation) {
  TMemoryStream s;
  const std::string longLine(300, 'x');
  GIFWriteStrings(s, {"first", "", longLine, std::string("a\0b", 3)});
  // "first" (1 + 5), nothing for the empty line, 255 + 45 in two blocks, "a\0b" (1 + 3), end.
  EXPECT_EQ(s.Size(), 6 + 256 + 46 + 4 + 1);
  s.SetPosition(0);
  std::vector<std::string> lines{"stale"};
  GIFReadStrings(s, lines);
  EXPECT_EQ(lines, (std::vector<std::string>{"first", std::string(255, 'x'), std::string(45, 'x'), "a"}));

  // A stream that ends inside a block keeps what came and stops.
  TMemoryStream cut(std::vector<uint8_t>{3, 'o', 'k', '!', 5, 'p', 'a'});
  GIFReadStrings(cut, lines);
  EXPECT_EQ(lines, (std::vector<std::string>{"ok!", "pa"}));

  TMemoryStream shortData(std::vector<uint8_t>{1, 2});
  char buf[4];
  try {
    GIFReadBuffer(shortData, buf, 4);
    ADD_FAILURE() << "a short read was accepted";
  } catch (const GIFException& e) {
    EXPECT_STREQ(e.what(), "Premature end of data");
  }
  TMemoryStream empty;
  EXPECT_EQ(GIFReadByte(empty), 0);
}

TEST(FixedPalettes, Contents) {
  HPALETTE web = WebPalette216();
  ASSERT_EQ(PaletteEntryCount(web), 216);
  EXPECT_EQ(web->Entries[215], (TPaletteEntry{255, 255, 255, 0}));
  EXPECT_EQ(web->Entries[1], (TPaletteEntry{0, 0, 51, 0}));
  EXPECT_EQ(web->Entries[36 * 2 + 6 * 3 + 4], (TPaletteEntry{102, 153, 204, 0}));
  HPALETTE g = GrayPalette256();
  ASSERT_EQ(PaletteEntryCount(g), 256);
  EXPECT_EQ(g->Entries[77], (TPaletteEntry{77, 77, 77, PC_NOCOLLAPSE}));
  HPALETTE g4 = GrayPalette4();
  ASSERT_EQ(PaletteEntryCount(g4), 4);
  EXPECT_EQ(g4->Entries[1].peRed, 128);
  EXPECT_EQ(g4->Entries[2].peGreen, 192);
  EXPECT_EQ(PaletteEntryCount(MonochromePalette()), 2);
  EXPECT_EQ(MonochromePalette()->Entries[1], (TPaletteEntry{255, 255, 255, PC_NOCOLLAPSE}));
  // The stock palette is one shared object, never a copy.
  EXPECT_EQ(DefaultPalette20().get(), DefaultPalette20().get());
  ASSERT_EQ(PaletteEntryCount(DefaultPalette20()), 20);
  HPALETTE half = HalftonePalette256();
  ASSERT_EQ(PaletteEntryCount(half), 256);
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(half->Entries[i], DefaultPalette20()->Entries[i]);
    EXPECT_EQ(half->Entries[246 + i], DefaultPalette20()->Entries[10 + i]);
  }
}

TEST(Octree, FewColoursComeOutExactlyInTreeOrder) {
  // Up to MaxColors distinct colours each get a leaf of their own.
  TBitmap bmp(40, 10);
  TRandom rnd(99);
  std::vector<TPaletteEntry> colours;
  for (int i = 0; i < 37; ++i) colours.push_back({rnd.Byte(), rnd.Byte(), rnd.Byte(), 0});
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 40; ++x) {
      const TPaletteEntry& c = colours[rnd.Next() % colours.size()];
      uint8_t* d = bmp.ScanLine(y) + 3 * x;
      d[0] = c.peBlue;
      d[1] = c.peGreen;
      d[2] = c.peRed;
    }
  std::set<uint32_t> used;
  std::map<uint32_t, TPaletteEntry> byKey;
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 40; ++x) {
      const uint8_t* d = bmp.ScanLine(y) + 3 * x;
      TPaletteEntry e{d[2], d[1], d[0], 0};
      byKey[OctreeKey(e)] = e;
    }
  HPALETTE pal = QuantizeBitmapPalette(bmp, 64, 8, false);
  ASSERT_EQ(PaletteEntryCount(pal), 64);
  size_t i = 0;
  for (auto& [key, e] : byKey) EXPECT_EQ(pal->Entries[i++], e) << "entry " << i - 1;
  for (; i < 64; ++i) EXPECT_EQ(pal->Entries[i], TPaletteEntry{}) << "unused entry " << i << " is not black";
}

TEST(Octree, OneColourAndTheStaticColours) {
  TBitmap bmp = Uniform(9, 7, 12, 200, 99);
  HPALETTE pal = QuantizeBitmapPalette(bmp, 256, 8, false);
  ASSERT_EQ(PaletteEntryCount(pal), 256);
  EXPECT_EQ(pal->Entries[0], (TPaletteEntry{12, 200, 99, 0}));
  EXPECT_EQ(pal->Entries[1], TPaletteEntry{});

  TBitmap pic = RandomPicture(64, 64, 5);
  HPALETTE win = QuantizeBitmapPalette(pic, 16, 8, true);  // Colors is ignored: always 256
  ASSERT_EQ(PaletteEntryCount(win), 256);
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(win->Entries[i], DefaultPalette20()->Entries[i]);
    EXPECT_EQ(win->Entries[246 + i], DefaultPalette20()->Entries[10 + i]);
  }
  std::set<std::tuple<int, int, int>> distinct;
  for (int i = 10; i < 246; ++i) distinct.insert({win->Entries[i].peRed, win->Entries[i].peGreen, win->Entries[i].peBlue});
  EXPECT_GT(distinct.size(), 200u) << "the 236 quantized colours are mostly distinct";
}

TEST(Octree, ListEqualsOneStackedImageAndBadListsAreRefused) {
  TBitmap a = RandomPicture(50, 30, 1, 12), b = RandomPicture(50, 20, 2, 12);
  TBitmap both(50, 50);
  for (int y = 0; y < 30; ++y) std::copy_n(a.ScanLine(y), 150, both.ScanLine(y));
  for (int y = 0; y < 20; ++y) std::copy_n(b.ScanLine(y), 150, both.ScanLine(30 + y));
  std::vector<TBitmap*> list{&a, &b};
  HPALETTE fromList = QuantizeBitmapListPalette(list, 256, 8, false);
  HPALETTE fromOne = QuantizeBitmapPalette(both, 256, 8, false);
  EXPECT_EQ(fromList->Entries, fromOne->Entries);

  std::vector<TBitmap*> none;
  std::vector<TBitmap*> withNull{&a, nullptr};
  const std::vector<TBitmap*>* bad[] = {nullptr, &none, &withNull};
  for (const std::vector<TBitmap*>* l : bad) {
    try {
      QuantizeBitmapListPalette(l, 256, 8, false);
      ADD_FAILURE() << "a bad list was accepted";
    } catch (const GIFException& e) {
      EXPECT_STREQ(e.what(), "Invalid bitmap list");
    }
  }
  EXPECT_THROW(QuantizeBitmapPalette(a, 0, 8, false), GIFException);
  EXPECT_THROW(QuantizeBitmapPalette(a, -5, 8, false), GIFException);
  EXPECT_THROW(TColorQuantizer(256, 9), GIFException);
}

TEST(Octree, StaysBoundedAndKeepsEveryPixel) {
  // Many distinct colours: the tree never holds more than MaxColors leaves after a pixel.
  for (int maxColors : {1, 2, 7, 256}) {
    TColorQuantizer q(maxColors, 8);
    TRandom rnd(maxColors);
    for (int i = 0; i < 20000; ++i) {
      q.AddColor(rnd.Byte(), rnd.Byte(), rnd.Byte());
      ASSERT_LE(q.LeafCount(), maxColors);
    }
    EXPECT_LE(q.ColorTable().size(), static_cast<size_t>(maxColors));
    EXPECT_GE(q.ColorTable().size(), 1u);
  }
  // One leaf holds the mean of everything it took.
  TColorQuantizer one(1, 8);
  one.AddColor(0, 0, 0);
  one.AddColor(255, 100, 9);
  one.AddColor(255, 101, 9);
  ASSERT_EQ(one.ColorTable().size(), 1u);
  EXPECT_EQ(one.ColorTable()[0], (TPaletteEntry{170, 67, 6, 0}));
}

// Palette quality: the 24-bit source mapped to our palette without dithering, against the
// peer's own quantizer, and our Floyd-Steinberg against the peer's with our palette.
TEST(PalettePeer, QualityAgainstThePeer) {
  if (!HavePeer(Convert)) return;
  TScratch s;
  const bool havePngquant = access("/usr/bin/pngquant", X_OK) == 0;
  if (!havePngquant) ADD_FAILURE() << "/usr/bin/pngquant is missing; its figure cannot be reported";
  for (const char* name : {"rose", "wizard", "logo", "granite"}) {
    TBitmap src = PeerPicture(s, name, 256, 256);
    ASSERT_FALSE(src.Empty());
    SavePixmap(src, s.File("src.ppm"));
    TBitmap work = src;
    HPALETTE pal = QuantizeBitmapPalette(work, 256, 8, false);
    TBitmap nearest = Expand8(*ReduceBitmapColors(work, TReductionMethod::rdCustomPalette, TDitherKind::dtNearest, 8, pal));
    TBitmap fs = Expand8(*ReduceBitmapColors(work, TReductionMethod::rdCustomPalette, TDitherKind::dtFloydSteinberg, 8, pal));
    const double oursNearest = Psnr(src, nearest), oursFs = Psnr(src, fs);

    RunCommand(std::string(Convert) + " " + s.File("src.ppm") + " -dither None -colors 256 " + s.File("peer.ppm"));
    const double peerNearest = Psnr(src, LoadPixmap(s.File("peer.ppm")));
    // Our palette as a one-row picture for the peer's -remap.
    TBitmap palImg(256, 1);
    for (int i = 0; i < 256; ++i) {
      palImg.ScanLine(0)[3 * i] = pal->Entries[i].peBlue;
      palImg.ScanLine(0)[3 * i + 1] = pal->Entries[i].peGreen;
      palImg.ScanLine(0)[3 * i + 2] = pal->Entries[i].peRed;
    }
    SavePixmap(palImg, s.File("pal.ppm"));
    RunCommand(std::string(Convert) + " " + s.File("src.ppm") + " -dither FloydSteinberg -remap " + s.File("pal.ppm") +
               " " + s.File("peerfs.ppm"));
    const double peerFs = Psnr(src, LoadPixmap(s.File("peerfs.ppm")));
    EXPECT_GE(oursNearest, peerNearest - 3.0) << name;
    EXPECT_GE(oursFs, peerFs - 1.0) << name;
    double pq = 0.0;
    if (havePngquant) {
      RunCommand(std::string(Convert) + " " + s.File("src.ppm") + " " + s.File("src.png") + " && /usr/bin/pngquant --force 256 --output " +
                 s.File("pq.png") + " " + s.File("src.png") + " && " + Convert + " " + s.File("pq.png") + " -depth 8 " + s.File("pq.ppm"));
      pq = Psnr(src, LoadPixmap(s.File("pq.ppm")));
    }
    std::printf("PALETTE %-8s ours nearest %.2f dB, peer -colors 256 %.2f dB; ours FS %.2f dB, peer FS remap %.2f dB; pngquant %.2f dB\n",
                name, oursNearest, peerNearest, oursFs, peerFs, pq);
  }
}
