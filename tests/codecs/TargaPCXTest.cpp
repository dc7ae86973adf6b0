// Targa and PCX: decodes compared with netpbm, ImageMagick and Pillow, the Targa writer read back
// by netpbm and ImageMagick, and malformed files.
#include <gtest/gtest.h>

#include "codecs/PCXGraphic.h"
#include "codecs/TargaGraphic.h"
#include "tests/codecs/CodecTestSupport.h"

using namespace codectest;

namespace {

struct TPeerCase {
  const char* Name;
  const char* Command;  // %s: the source pixmap, %o: the file to write
  const char* Source;   // the pixmap the file was made from
  // False where the writer's file does not hold the source as the format lays it out: the
  // ImageMagick here stores Targa rows top first while marking them bottom-up (and reads its
  // own files back the same way); netpbm and we read the rows where the header puts them.
  bool HoldsSource = true;
};

std::string Expand(std::string s, const std::string& in, const std::string& out) {
  for (size_t p; (p = s.find("%s")) != std::string::npos;) s.replace(p, 2, in);
  for (size_t p; (p = s.find("%o")) != std::string::npos;) s.replace(p, 2, out);
  return s;
}

// Writes the test picture, its grey and its 200-, 16-, 8-, 4- and 2-colour versions into dir.
void MakeSources(TScratchDir& dir) {
  WritePpm(dir / "src.ppm", MakeTestPicture(37, 23));
  RunPeer("/usr/bin/pnmquant 200 " + dir / "src.ppm" + " > " + dir / "q200.ppm");
  RunPeer("/usr/bin/pnmquant 16 " + dir / "src.ppm" + " > " + dir / "q16.ppm");
  RunPeer("/usr/bin/pnmquant 8 " + dir / "src.ppm" + " > " + dir / "q8.ppm");
  RunPeer("/usr/bin/pnmquant 4 " + dir / "src.ppm" + " > " + dir / "q4.ppm");
  RunPeer("/usr/bin/ppmtopgm " + dir / "src.ppm" + " | /usr/bin/pgmtopbm -threshold | /usr/bin/ppmtoppm > " +
          dir / "q2.ppm");
  RunPeer("/usr/bin/ppmtopgm " + dir / "src.ppm" + " | /usr/bin/ppmtoppm > " + dir / "grey.ppm");
}

template <class TGraphic>
void CheckAgainstPeers(const TPeerCase* cases, size_t n, const std::string& peerDecoder) {
  TScratchDir dir;
  MakeSources(dir);
  for (size_t i = 0; i < n; ++i) {
    const TPeerCase& c = cases[i];
    SCOPED_TRACE(c.Name);
    const std::string file = dir / "case", src = dir / c.Source;
    ASSERT_EQ(RunPeer(Expand(c.Command, src, file)), 0);
    TGraphic g;
    g.LoadFromFile(file);
    if (c.HoldsSource) {
      EXPECT_EQ(CountMismatches(g, ReadPpm(src), 0, std::string(c.Name) + " against the source"), 0);
    }
    const std::string ppm = dir / "peer.ppm";
    EXPECT_EQ(CountMismatches(g, PeerPixmap(peerDecoder + " " + file + " > " + ppm, ppm), 0,
                              std::string(c.Name) + " against " + peerDecoder),
              0);
  }
}

std::vector<uint8_t> TargaHeader(uint8_t type, uint16_t w, uint16_t h, uint8_t depth, uint8_t descriptor = 0) {
  std::vector<uint8_t> f = {0, 0, type, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  Put16(f, w);
  Put16(f, h);
  f.push_back(depth);
  f.push_back(descriptor);
  return f;
}

}  // namespace

TEST(TargaTest, DecodesWhatPeersWrite) {
  CORVANE_REQUIRE_TOOL("/usr/bin/ppmtotga");
  CORVANE_REQUIRE_TOOL(kConvert);
  const TPeerCase cases[] = {
      {"ppmtotga run-length", "/usr/bin/ppmtotga -rgb %s > %o", "src.ppm"},
      {"ppmtotga plain", "/usr/bin/ppmtotga -rgb -norle %s > %o", "src.ppm"},
      {"ppmtotga colour-mapped", "/usr/bin/ppmtotga -cmap %s > %o", "q200.ppm"},
      {"ppmtotga grey", "/usr/bin/ppmtotga -mono %s > %o", "grey.ppm"},
      {"magick run-length bottom-up", "/usr/bin/convert %s -compress RLE tga:%o", "src.ppm", false},
      {"magick plain bottom-up", "/usr/bin/convert %s tga:%o", "src.ppm", false},
      {"magick top-down", "/usr/bin/convert %s -orient TopLeft tga:%o", "src.ppm"},
      {"magick colour-mapped run-length", "/usr/bin/convert %s -type Palette -compress RLE -orient TopLeft tga:%o",
       "q16.ppm"},
      {"magick grey run-length top-down", "/usr/bin/convert %s -type Grayscale -compress RLE -orient TopLeft tga:%o",
       "grey.ppm"},
  };
  CheckAgainstPeers<TTargaGraphic>(cases, std::size(cases), "/usr/bin/tgatoppm");
}

TEST(TargaTest, AlphaOfThirtyTwoBitFilesReachesTheBitmap) {
  CORVANE_REQUIRE_TOOL(kConvert);
  TScratchDir dir;
  WritePpm(dir / "src.ppm", MakeTestPicture(20, 9));
  for (const char* compress : {"None", "RLE"}) {
    SCOPED_TRACE(compress);
    ASSERT_EQ(RunPeer(std::string(kConvert) + " " + dir / "src.ppm" +
                      " -alpha set -channel A -fx 'i/w' +channel -orient TopLeft -compress " + compress +
                      " tga:" + dir / "a.tga"),
              0);
    TTargaGraphic g;
    g.LoadFromFile(dir / "a.tga");
    ASSERT_EQ(g.PixelFormat(), TPixelFormat::pf32bit);
    EXPECT_EQ(CountMismatches(g, ReadPpm(dir / "src.ppm"), 0, "colour"), 0);
    EXPECT_EQ(AlphaMismatches(g, dir / "a.tga", dir), 0);
  }
}

TEST(TargaTest, WrittenFilesReadBackInOursAndThePeers) {
  CORVANE_REQUIRE_TOOL("/usr/bin/tgatoppm");
  CORVANE_REQUIRE_TOOL(kConvert);
  TScratchDir dir;
  // Flat stretches and noise, so both run and literal packets are written.
  const TRgbImage pic = MakeTestPicture(45, 17);
  TBitmap truecolour(pic.Width, pic.Height);
  for (int y = 0; y < pic.Height; ++y)
    for (int x = 0; x < pic.Width; ++x) truecolour.SetPixel(x, y, x < 20 ? pic.At(x / 4, 0) : pic.At(x, y));
  std::vector<TPaletteEntry> entries(256);
  for (int i = 0; i < 256; ++i) entries[i] = {uint8_t(i), uint8_t(255 - i), uint8_t(i * 7), 0};
  struct TCase {
    const char* Name;
    TPixelFormat Format;
    int Tolerance;  // 5-bit channels widen differently in the peers
  } cases[] = {{"8-bit", TPixelFormat::pf8bit, 0},   {"4-bit", TPixelFormat::pf4bit, 0},
               {"15-bit", TPixelFormat::pf15bit, 7}, {"16-bit", TPixelFormat::pf16bit, 7},
               {"24-bit", TPixelFormat::pf24bit, 0}, {"32-bit", TPixelFormat::pf32bit, 0}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TTargaGraphic g;
    static_cast<TBitmap&>(g) = truecolour;
    if (c.Format == TPixelFormat::pf8bit) {
      g.SetPalette(CreatePalette(entries));
      g.SetPixelFormat(c.Format);
      for (int y = 0; y < g.Height(); ++y)
        for (int x = 0; x < g.Width(); ++x) g.ScanLine(y)[x] = static_cast<uint8_t>(x < 20 ? 3 : x * y);
    } else {
      g.SetPixelFormat(c.Format);
    }
    // What each written pixel must read back as.
    TRgbImage expected;
    expected.Width = g.Width(), expected.Height = g.Height();
    for (int y = 0; y < g.Height(); ++y)
      for (int x = 0; x < g.Width(); ++x) {
        const TColor col = g.Pixel(x, y);
        expected.Rgb.insert(expected.Rgb.end(), {GetRValue(col), GetGValue(col), GetBValue(col)});
      }
    const std::string file = dir / "out.tga";
    g.SaveToFile(file);
    const std::vector<uint8_t> bytes = ReadBytes(file);
    ASSERT_GE(bytes.size(), 18u);
    EXPECT_EQ(bytes[2], c.Format == TPixelFormat::pf8bit || c.Format == TPixelFormat::pf4bit ? 9 : 10);
    TTargaGraphic back;
    back.LoadFromFile(file);
    // 5-6-5 pixels lose a bit of green on the way to 5-5-5.
    EXPECT_EQ(CountMismatches(back, expected, c.Format == TPixelFormat::pf16bit ? 4 : 0, "ours"), 0);
    const std::string ppm = dir / "peer.ppm";
    EXPECT_EQ(CountMismatches(back, PeerPixmap("/usr/bin/tgatoppm " + file + " | /usr/bin/pamdepth 255 > " + ppm, ppm),
                              c.Tolerance, "tgatoppm"),
              0);
    EXPECT_EQ(CountMismatches(back, MagickPixmap(file, dir), c.Tolerance, "ImageMagick"), 0);
  }
  TTargaGraphic empty;
  EXPECT_TRUE(empty.SaveToMemory().empty());
}

TEST(TargaTest, HandBuiltFilesAndMalformedOnes) {
  // 2x2 true colour; one run packet of four pixels crosses from the first stored row into the
  // second.
  std::vector<uint8_t> crossing = TargaHeader(10, 2, 2, 24, 0x20);
  crossing.insert(crossing.end(), {0x83, 10, 20, 30});
  std::vector<uint8_t> fifteen = TargaHeader(2, 2, 1, 15);
  Put16(fifteen, 0x7C00);  // red
  Put16(fifteen, 0x001F);  // blue
  std::vector<uint8_t> mapped = TargaHeader(1, 2, 1, 8);
  mapped[1] = 1, mapped[5] = 2, mapped[7] = 16;  // two 16-bit colour-map entries
  Put16(mapped, 0x03E0), Put16(mapped, 0x7FFF);
  mapped.insert(mapped.end(), {1, 0});
  std::vector<uint8_t> rleShort = TargaHeader(10, 4, 4, 24);
  rleShort.insert(rleShort.end(), {0x8F, 1, 2});  // the run's pixel is cut off
  std::vector<uint8_t> rawShort = TargaHeader(2, 4, 4, 24);
  rawShort.resize(rawShort.size() + 47);
  std::vector<uint8_t> hugeMap = TargaHeader(1, 1, 1, 8);
  hugeMap[1] = 1, hugeMap[5] = 0xFF, hugeMap[6] = 0xFF, hugeMap[7] = 32;
  hugeMap.push_back(0);
  std::vector<uint8_t> badDepth = TargaHeader(2, 4, 4, 12);
  badDepth.resize(100);
  // A 24-bit colour map of two entries standing for pixel values 2 and 3.
  std::vector<uint8_t> mapFrom2 = TargaHeader(1, 4, 1, 8);
  mapFrom2[1] = 1, mapFrom2[3] = 2, mapFrom2[5] = 2, mapFrom2[7] = 24;
  mapFrom2.insert(mapFrom2.end(), {10, 20, 30, 40, 50, 60, 3, 2, 0, 1});
  // Right to left, top to bottom, plain and run-length; and right to left, bottom-up.
  std::vector<uint8_t> mirrored = TargaHeader(2, 3, 1, 24, 0x30);
  mirrored.insert(mirrored.end(), {1, 2, 3, 4, 5, 6, 7, 8, 9});
  std::vector<uint8_t> mirroredRle = TargaHeader(10, 3, 1, 24, 0x30);
  mirroredRle.insert(mirroredRle.end(), {0x81, 1, 2, 3, 0x00, 7, 8, 9});
  std::vector<uint8_t> mirroredUp = TargaHeader(3, 2, 2, 8, 0x10);
  mirroredUp.insert(mirroredUp.end(), {1, 2, 3, 4});
  // Grey and alpha bytes, plain and run-length.
  std::vector<uint8_t> greyAlpha = TargaHeader(3, 2, 1, 16, 0x20);
  greyAlpha.insert(greyAlpha.end(), {100, 255, 200, 0});
  std::vector<uint8_t> greyAlphaRle = TargaHeader(11, 3, 1, 16, 0x20);
  greyAlphaRle.insert(greyAlphaRle.end(), {0x81, 50, 7, 0x00, 250, 128});

  struct TCase {
    const char* Name;
    std::vector<uint8_t> Data;
    const char* Error;  // "" loads; nullptr loads empty
    std::vector<TColor> Pixels;
  } cases[] = {
      {"run crossing rows",
       crossing,
       "",
       {RGBColor(30, 20, 10), RGBColor(30, 20, 10), RGBColor(30, 20, 10), RGBColor(30, 20, 10)}},
      {"15-bit two bytes a pixel", fifteen, "", {RGBColor(255, 0, 0), RGBColor(0, 0, 255)}},
      {"16-bit colour map read once", mapped, "", {RGBColor(248, 248, 248), RGBColor(0, 248, 0)}},
      {"run-length data cut short", rleShort, "run-length data ends early", {}},
      {"plain data cut short", rawShort, "pixel row", {}},
      {"colour map beyond the data", hugeMap, "colour map", {}},
      {"colour map starting at entry 2",
       mapFrom2,
       "",
       {RGBColor(60, 50, 40), RGBColor(30, 20, 10), RGBColor(0, 0, 0), RGBColor(0, 0, 0)}},
      {"right to left", mirrored, "", {RGBColor(9, 8, 7), RGBColor(6, 5, 4), RGBColor(3, 2, 1)}},
      {"right to left run-length", mirroredRle, "", {RGBColor(9, 8, 7), RGBColor(3, 2, 1), RGBColor(3, 2, 1)}},
      {"right to left bottom-up",
       mirroredUp,
       "",
       {RGBColor(4, 4, 4), RGBColor(3, 3, 3), RGBColor(2, 2, 2), RGBColor(1, 1, 1)}},
      {"16-bit grey with alpha", greyAlpha, "", {RGBColor(100, 100, 100), RGBColor(200, 200, 200)}},
      {"16-bit grey with alpha run-length",
       greyAlphaRle,
       "",
       {RGBColor(50, 50, 50), RGBColor(50, 50, 50), RGBColor(250, 250, 250)}},
      {"depth 12", badDepth, nullptr, {}},
      {"header cut short", std::vector<uint8_t>(17, 2), nullptr, {}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TTargaGraphic g;
    const std::string error = LoadError(g, c.Data);
    if (!c.Error) {
      EXPECT_EQ(error, "");
      EXPECT_TRUE(g.Empty());
    } else if (*c.Error) {
      EXPECT_NE(error.find(c.Error), std::string::npos) << error;
      EXPECT_EQ(error.rfind("Cannot load image. Invalid or unexpected Targa image format.", 0), 0u) << error;
      EXPECT_TRUE(g.Empty());
    } else {
      ASSERT_EQ(error, "");
      ASSERT_EQ(static_cast<size_t>(g.Width() * g.Height()), c.Pixels.size());
      for (size_t i = 0; i < c.Pixels.size(); ++i)
        EXPECT_EQ(g.Pixel(static_cast<int>(i) % g.Width(), static_cast<int>(i) / g.Width()), c.Pixels[i]) << i;
    }
  }
  // A file without a colour map may give 0 as the map's entry size.
  EXPECT_TRUE(TTargaGraphic().CanLoad(fifteen.data(), fifteen.size()));
  fifteen[1] = 1;
  EXPECT_FALSE(TTargaGraphic().CanLoad(fifteen.data(), fifteen.size()));
}

TEST(TargaTest, HeaderFieldsReadAsPillowReadsThem) {
  // netpbm and ImageMagick ignore the right-to-left flag and take 16-bit grey for colour.
  SKIP_WITHOUT_PEER("/usr/bin/python3");
  if (RunPeer("/usr/bin/python3 -c 'import PIL'") != 0) GTEST_SKIP() << "Pillow (python3-pil) is missing";
  const uint16_t w = 7, h = 5;
  auto pixelBytes = [&](size_t bytesPerPixel, unsigned seed) {
    std::vector<uint8_t> v(w * h * bytesPerPixel);
    for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<uint8_t>(i * 37 + seed + (i / 5) * 11);
    return v;
  };
  // Plain pixels behind a header; run-length ones as one literal packet a row.
  auto file = [&](uint8_t type, uint8_t depth, uint8_t descriptor, const std::vector<uint8_t>& map = {},
                  uint16_t mapStart = 0) {
    std::vector<uint8_t> f = TargaHeader(type, w, h, depth, descriptor);
    if (!map.empty()) {
      f[1] = 1, f[3] = uint8_t(mapStart), f[4] = uint8_t(mapStart >> 8), f[7] = 24;
      f[5] = uint8_t(map.size() / 3), f[6] = uint8_t(map.size() / 3 >> 8);
      f.insert(f.end(), map.begin(), map.end());
    }
    const size_t pixel = (depth + 1u) / 8;
    std::vector<uint8_t> pixels = pixelBytes(pixel, depth);
    if (!map.empty())
      for (uint8_t& p : pixels) p = static_cast<uint8_t>(mapStart + p % (map.size() / 3));
    for (uint16_t y = 0; y < h; ++y) {
      if (type & 8) f.push_back(static_cast<uint8_t>(w - 1));
      f.insert(f.end(), pixels.begin() + y * w * pixel, pixels.begin() + (y + 1) * w * pixel);
    }
    return f;
  };
  const std::vector<uint8_t> map = pixelBytes(3, 5);  // 35 entries
  const struct {
    const char* Name;
    std::vector<uint8_t> File;
  } cases[] = {
      {"24-bit right to left, top down", file(2, 24, 0x30)},
      {"24-bit right to left, bottom up", file(2, 24, 0x10)},
      {"32-bit right to left, run-length", file(10, 32, 0x18)},
      {"grey right to left", file(3, 8, 0x10)},
      {"colour map from entry 9", file(1, 8, 0x20, map, 9)},
      {"colour map from entry 9, run-length, right to left", file(9, 8, 0x10, map, 9)},
      {"16-bit grey with alpha", file(3, 16, 0x20)},
      {"16-bit grey with alpha, run-length, right to left", file(11, 16, 0x10)},
  };
  TScratchDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string tga = dir / "case.tga", ppm = dir / "pillow.ppm";
    WriteBytes(tga, c.File);
    TTargaGraphic g;
    g.LoadFromFile(tga);
    const TRgbImage pillow = PeerPixmap(
        "/usr/bin/python3 -c 'import sys; from PIL import Image; "
        "Image.open(sys.argv[1]).convert(\"RGB\").save(sys.argv[2])' " +
            tga + " " + ppm,
        ppm);
    EXPECT_EQ(CountMismatches(g, pillow, 0, c.Name), 0);
  }
}

TEST(TargaTest, WriterReportsEachRow) {
  TTargaGraphic g;
  static_cast<TBitmap&>(g) = TBitmap(5, 3, TPixelFormat::pf24bit);
  std::vector<std::string> events;
  std::vector<int> tops;
  g.OnProgress = [&](TProgressStage stage, int percent, const TProgressRect& r, const std::string& message) {
    events.push_back(std::to_string(static_cast<int>(stage)) + ":" + std::to_string(percent) + ":" + message);
    if (stage == TProgressStage::psRunning) tops.push_back(r.Top);
  };
  ASSERT_FALSE(g.SaveToMemory().empty());
  const std::vector<std::string> want = {"0:0:Preparing...", "1:0:", "1:33:", "1:66:", "2:0:"};
  EXPECT_EQ(events, want);
  EXPECT_EQ(tops, (std::vector<int>{0, 1, 2}));
}

TEST(PCXTest, DecodesWhatPeersWrite) {
  CORVANE_REQUIRE_TOOL("/usr/bin/ppmtopcx");
  CORVANE_REQUIRE_TOOL("/usr/bin/pcxtoppm");
  CORVANE_REQUIRE_TOOL(kConvert);
  const TPeerCase cases[] = {
      {"ppmtopcx 24-bit planes", "/usr/bin/ppmtopcx %s > %o", "src.ppm"},
      {"ppmtopcx 256 colours", "/usr/bin/ppmtopcx %s > %o", "q200.ppm"},
      {"ppmtopcx 16 colours in 4 planes", "/usr/bin/ppmtopcx %s > %o", "q16.ppm"},
      {"ppmtopcx 16 colours packed", "/usr/bin/ppmtopcx -packed %s > %o", "q16.ppm"},
      {"ppmtopcx 8 colours in 3 planes", "/usr/bin/ppmtopcx %s > %o", "q8.ppm"},
      {"ppmtopcx 4 colours packed", "/usr/bin/ppmtopcx -packed %s > %o", "q4.ppm"},
      {"ppmtopcx 2 colours", "/usr/bin/ppmtopcx %s > %o", "q2.ppm"},
      {"magick true colour", "/usr/bin/convert %s pcx:%o", "src.ppm"},
      {"magick palette", "/usr/bin/convert %s -type Palette pcx:%o", "q16.ppm"},
  };
  CheckAgainstPeers<TPCXGraphic>(cases, std::size(cases), "/usr/bin/pcxtoppm");

  // A fourth plane of 8 bits is alpha.
  TScratchDir dir;
  WritePpm(dir / "src.ppm", MakeTestPicture(21, 8));
  ASSERT_EQ(RunPeer(std::string(kConvert) + " " + dir / "src.ppm" +
                    " -alpha set -channel A -fx 'i/w' +channel pcx:" + dir / "a.pcx"),
            0);
  TPCXGraphic g;
  g.LoadFromFile(dir / "a.pcx");
  EXPECT_EQ(CountMismatches(g, ReadPpm(dir / "src.ppm"), 0, "colour"), 0);
  EXPECT_EQ(AlphaMismatches(g, dir / "a.pcx", dir), 0);
}

TEST(PCXTest, MalformedFiles) {
  // A 4x2 8-bit run-length file: each line is one run of four bytes.
  std::vector<uint8_t> good(128, 0);
  good[0] = 10, good[1] = 5, good[2] = 1, good[3] = 8;
  good[8] = 3, good[10] = 1;  // x max, y max
  good[65] = 1, good[66] = 4;
  good.insert(good.end(), {0xC4, 7, 0xC4, 9});
  auto with = [&](std::initializer_list<std::pair<size_t, uint8_t>> changes, size_t cut = 0) {
    std::vector<uint8_t> f = good;
    for (auto [at, v] : changes) f[at] = v;
    f.resize(f.size() - cut);
    return f;
  };
  struct TCase {
    const char* Name;
    std::vector<uint8_t> Data;
    const char* Error;  // "" loads; nullptr loads empty
  } cases[] = {
      {"good", good, ""},
      {"Word screen capture maker", with({{0, 0xCD}}), ""},
      {"x max below x min", with({{4, 5}}), "right or bottom edge"},
      {"bytes per line too few", with({{66, 3}}), "bytes per line too few"},
      {"bytes per line enormous", with({{66, 0xFF}, {67, 0xFF}}), "out of proportion"},
      {"run-length data cut short", with({}, 2), "image data ends early"},
      {"two planes of 8 bits", with({{65, 2}, {66, 4}}), "Invalid color format in PCX file."},
      {"unknown maker", with({{0, 7}}), nullptr},
      {"header cut short", std::vector<uint8_t>(good.begin(), good.begin() + 100), nullptr},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TPCXGraphic g;
    const std::string error = LoadError(g, c.Data);
    if (!c.Error || !*c.Error) {
      EXPECT_EQ(error, "");
      EXPECT_EQ(g.Empty(), !c.Error);
    } else {
      EXPECT_NE(error.find(c.Error), std::string::npos) << error;
      EXPECT_TRUE(g.Empty());
    }
  }
  TPCXGraphic g;
  g.LoadFromMemory(good.data(), good.size());
  EXPECT_EQ(g.ScanLine(1)[3], 9);
  // Maker 0xCD passes the check as well as the read.
  EXPECT_TRUE(g.CanLoad(good.data(), good.size()));
  std::vector<uint8_t> word = with({{0, 0xCD}});
  EXPECT_TRUE(g.CanLoad(word.data(), word.size()));
}
