// Portable maps, Autodesk and SGI: decodes compared with netpbm and ImageMagick, hand-built
// files for what the peers do not write, and malformed files.
#include <gtest/gtest.h>

#include "codecs/AutodeskGraphic.h"
#include "codecs/PPMGraphic.h"
#include "codecs/SGIGraphic.h"
#include "tests/codecs/CodecTestSupport.h"

using namespace codectest;

namespace {

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

// Loads file with TGraphic and compares it with netpbm's decode of the same file through
// `decoder file | pamdepth 255 | ppmtoppm`.
template <class TGraphic>
void CompareWithNetpbm(const std::string& decoder, const std::string& file, TScratchDir& dir, int tolerance,
                       const std::string& what) {
  TGraphic g;
  g.LoadFromFile(file);
  const std::string ppm = dir / "peer.ppm";
  EXPECT_EQ(CountMismatches(g,
                            PeerPixmap(decoder + " " + file + " | /usr/bin/pamdepth 255 | /usr/bin/ppmtoppm > " + ppm,
                                       ppm),
                            tolerance, what),
            0);
}

}  // namespace

TEST(PortableMapTest, DecodesWhatNetpbmWrites) {
  CORVANE_REQUIRE_TOOL("/usr/bin/pamdepth");
  CORVANE_REQUIRE_TOOL("/usr/bin/pnmtoplainpnm");
  TScratchDir dir;
  const std::string src = dir / "src.ppm";
  WritePpm(src, MakeTestPicture(31, 19));
  const struct {
    const char* Name;
    std::string Command;  // writes dir/case.pnm from src
  } cases[] = {
      {"raw pixmap", "cat " + src},
      {"plain pixmap", "/usr/bin/pnmtoplainpnm " + src},
      {"raw grey map", "/usr/bin/ppmtopgm " + src},
      {"plain grey map", "/usr/bin/ppmtopgm " + src + " | /usr/bin/pnmtoplainpnm"},
      {"raw bitmap", "/usr/bin/ppmtopgm " + src + " | /usr/bin/pgmtopbm"},
      {"plain bitmap", "/usr/bin/ppmtopgm " + src + " | /usr/bin/pgmtopbm | /usr/bin/pnmtoplainpnm"},
      {"maxval 15 raw", "/usr/bin/pamdepth 15 " + src},
      {"maxval 15 plain grey", "/usr/bin/ppmtopgm " + src + " | /usr/bin/pamdepth 15 | /usr/bin/pnmtoplainpnm"},
      {"maxval 65535 raw", "/usr/bin/pamdepth 65535 " + src},
      {"maxval 65535 grey", "/usr/bin/ppmtopgm " + src + " | /usr/bin/pamdepth 65535"},
      {"maxval 1000 plain", "/usr/bin/pamdepth 1000 " + src + " | /usr/bin/pnmtoplainpnm"},
      // A comment before every number of the header.
      {"comments", "sed -e '1a# made\\n# twice' -e '2s/ /\\n#between\\n/' " + src},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string file = dir / "case.pnm";
    ASSERT_EQ(RunPeer(c.Command + " > " + file), 0);
    CompareWithNetpbm<TPPMGraphic>("/usr/bin/pnmtopnm", file, dir, 0, c.Name);
  }
}

TEST(PortableMapTest, HeaderLayoutsAndMalformedFiles) {
  struct TCase {
    const char* Name;
    std::string Data;
    const char* Error;  // "" loads
    std::vector<TColor> Pixels;
  } cases[] = {
      {"numbers on the magic's line",
       std::string("P5 2 1 255\n") + char(10) + char(200),
       "",
       {RGBColor(10, 10, 10), RGBColor(200, 200, 200)}},
      {"plain bits without separators", "P1\n3 2\n010\n1 1\n0", "", {0xFFFFFF, 0, 0xFFFFFF, 0, 0, 0xFFFFFF}},
      {"comment between width and height", "P2 2\n# h\n1 3 0 1 2", "", {0, RGBColor(85, 85, 85)}},
      {"16-bit samples", std::string("P6 1 1 65535\n\xFF\xFF\x80\x00\x00\x10", 19), "", {RGBColor(255, 128, 0)}},
      {"plain value above maxval", "P3 1 1 9\n9 10 0", "", {RGBColor(255, 255, 0)}},
      {"data ends early", "P5 4 4 255\nabc", "Stream read error in PPM file.", {}},
      {"plain data ends early", "P2 2 2 255\n1 2 3", "Stream read error in PPM file.", {}},
      {"header ends early", "P6 4", "Stream read error in PPM file.", {}},
      {"unknown digit", "P7 1 1 255\n", "Cannot load image. Invalid or unexpected PBM, PGM or PPM image format.", {}},
      {"no magic", "Q6 1 1 255\n", "Cannot load image. Invalid or unexpected PBM, PGM or PPM image format.", {}},
      {"maxval 0", "P5 1 1 0\n", "maximum value", {}},
      {"maxval above 65535", "P5 1 1 65536\n", "maximum value", {}},
      {"width without bound", "P5 99999999999 1 255\n", "width", {}},
      {"picture too large", "P4 32769 1\n", "size", {}},
      {"letter in the header", "P5 2 x 255\n", "height", {}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TPPMGraphic g;
    const std::string error = LoadError(g, Bytes(c.Data));
    if (*c.Error) {
      EXPECT_NE(error.find(c.Error), std::string::npos) << error;
      EXPECT_TRUE(g.Empty());
      continue;
    }
    ASSERT_EQ(error, "");
    for (size_t i = 0; i < c.Pixels.size(); ++i)
      EXPECT_EQ(g.Pixel(static_cast<int>(i) % g.Width(), static_cast<int>(i) / g.Width()), c.Pixels[i]) << i;
  }
}

TEST(AutodeskTest, KnownPixelsPaletteScalingAndMalformedFiles) {
  auto file = [](uint16_t w, uint16_t h, size_t pixels) {
    std::vector<uint8_t> f;
    Put16(f, 0x9119), Put16(f, w), Put16(f, h);
    f.resize(32);
    f[10] = 8;
    for (int i = 0; i < 256; ++i) f.insert(f.end(), {uint8_t(i % 64), uint8_t(63 - i % 64), uint8_t(i)});
    for (size_t i = 0; i < pixels; ++i) f.push_back(static_cast<uint8_t>(i * 37));
    return f;
  };
  TAutodeskGraphic g;
  const std::vector<uint8_t> good = file(3, 2, 6);
  ASSERT_EQ(LoadError(g, good), "");
  ASSERT_EQ(g.PixelFormat(), TPixelFormat::pf8bit);
  // Pixel i holds index i*37; entry k is (k mod 64, 63 - k mod 64, k) in sixty-fourths, and
  // values above 63 saturate.
  for (int i = 0; i < 6; ++i) {
    const int k = (i * 37) & 0xFF;
    EXPECT_EQ(g.Pixel(i % 3, i / 3),
              RGBColor(uint8_t(k % 64 * 4), uint8_t((63 - k % 64) * 4), uint8_t(std::min(k * 4, 255))))
        << i;
  }
  EXPECT_EQ(g.Palette()->Entries[0].peGreen, 252);   // 63
  EXPECT_EQ(g.Palette()->Entries[200].peBlue, 255);  // 200 clamps

  std::vector<uint8_t> badMagic = good, badDepth = good;
  badMagic[0] = 0x18, badDepth[10] = 4;
  const struct {
    const char* Name;
    std::vector<uint8_t> Data;
    const char* Error;
  } bad[] = {
      {"pixels cut short", file(3, 2, 5), "pixel row"},
      {"palette cut short", std::vector<uint8_t>(good.begin(), good.begin() + 500), "palette"},
      {"wrong magic", badMagic, "Cannot load image. Invalid or unexpected Autodesk image format."},
      {"4 bits per pixel", badDepth, "Cannot load image. Invalid or unexpected Autodesk image format."},
      {"empty picture", file(0, 2, 0), "empty picture"},
  };
  for (const auto& c : bad) {
    SCOPED_TRACE(c.Name);
    ExpectRefused<TAutodeskGraphic>(c.Data, c.Error);
  }
}

TEST(SGITest, DecodesWhatPeersWrite) {
  CORVANE_REQUIRE_TOOL("/usr/bin/pnmtosgi");
  CORVANE_REQUIRE_TOOL("/usr/bin/sgitopnm");
  CORVANE_REQUIRE_TOOL(kConvert);
  TScratchDir dir;
  const std::string src = dir / "src.ppm";
  WritePpm(src, MakeTestPicture(33, 21));
  const std::string grey = "/usr/bin/ppmtopgm " + src + " | ";
  const std::string magick = std::string(kConvert) + " " + src;
  const struct {
    const char* Name;
    std::string Command;  // writes the SGI file to stdout
    bool Alpha;
  } cases[] = {
      {"pnmtosgi run-length", "/usr/bin/pnmtosgi -rle " + src, false},
      {"pnmtosgi verbatim", "/usr/bin/pnmtosgi -verbatim " + src, false},
      {"pnmtosgi grey run-length", grey + "/usr/bin/pnmtosgi -rle", false},
      {"pnmtosgi grey 16-bit", grey + "/usr/bin/pamdepth 65535 | /usr/bin/pnmtosgi -rle", false},
      {"magick verbatim", magick + " -compress None sgi:-", false},
      {"magick run-length", magick + " -compress RLE sgi:-", false},
      {"magick 16-bit run-length", magick + " -depth 16 -compress RLE sgi:-", false},
      {"magick 16-bit verbatim", magick + " -depth 16 -compress None sgi:-", false},
      {"magick alpha run-length", magick + " -alpha set -channel A -fx 'j/h' +channel -compress RLE sgi:-", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string file = dir / "case.sgi";
    ASSERT_EQ(RunPeer(c.Command + " > " + file), 0);
    if (!c.Alpha) CompareWithNetpbm<TSGIGraphic>("/usr/bin/sgitopnm", file, dir, 0, c.Name);
    TSGIGraphic g;
    g.LoadFromFile(file);
    EXPECT_EQ(CountMismatches(g, MagickPixmap(file, dir), 0, std::string(c.Name) + " against ImageMagick"), 0);
    if (c.Alpha) {
      EXPECT_EQ(AlphaMismatches(g, file, dir), 0);
    }
  }
}

TEST(SGITest, MalformedFiles) {
  // A 2x2 verbatim file of the given channels, 8 bits.
  auto file = [](unsigned channels, size_t pixelBytes) {
    std::vector<uint8_t> f;
    Put16BE(f, 474);
    f.insert(f.end(), {0, 1});
    Put16BE(f, 3), Put16BE(f, 2), Put16BE(f, 2), Put16BE(f, channels);
    f.resize(512);
    for (size_t i = 0; i < pixelBytes; ++i) f.push_back(static_cast<uint8_t>(i * 20));
    return f;
  };
  std::vector<uint8_t> rle = file(1, 0);
  rle[2] = 1;
  Put32BE(rle, 600), Put32BE(rle, 2000);  // row starts
  Put32BE(rle, 3), Put32BE(rle, 3);       // row lengths
  rle.insert(rle.end(), {0x82, 5, 6, 0});
  const struct {
    const char* Name;
    std::vector<uint8_t> Data;
    const char* Error;  // "" loads
  } cases[] = {
      {"two channels read as grey", file(2, 8), ""},
      {"five channels", file(5, 20), "unsupported channel count 5"},
      {"many channels, no data", file(60000, 0), "unsupported channel count"},
      {"verbatim data cut short", file(3, 11), "pixel data ends early"},
      {"row start beyond the file", rle, "row beyond the end of the file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TSGIGraphic g;
    const std::string error = LoadError(g, c.Data);
    if (!*c.Error) {
      EXPECT_EQ(error, "");
      EXPECT_EQ(g.PixelFormat(), TPixelFormat::pf8bit);
      // The first channel, bottom row first.
      EXPECT_EQ(g.Pixel(0, 1), RGBColor(0, 0, 0));
      EXPECT_EQ(g.Pixel(1, 0), RGBColor(60, 60, 60));
    } else {
      EXPECT_NE(error.find(c.Error), std::string::npos) << error;
      EXPECT_EQ(error.rfind("Cannot load image. Invalid or unexpected sgi, bw or rgb(a) image format.", 0), 0u);
      EXPECT_TRUE(g.Empty());
    }
  }
}
