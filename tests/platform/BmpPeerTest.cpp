// Our bitmap reader and writer against independent peers: ImageMagick and netpbm write the
// files and decode them again; our decode must match theirs pixel for pixel.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/Bitmap.h"
#include "platform/BmpFormat.h"
#include "platform/Exceptions.h"
#include "tests/platform/BmpTestSupport.h"

using namespace bmptest;

namespace {

struct TVariant {
  const char* Name;
  std::string Make;  // command writing $OUT from $SRC
  TPixelFormat Format;
  uint32_t HeaderSize;
  uint32_t Compression;
};

std::string Expand(std::string cmd, const std::string& src, const std::string& out) {
  for (size_t p; (p = cmd.find("$SRC")) != std::string::npos;) cmd.replace(p, 4, src);
  for (size_t p; (p = cmd.find("$OUT")) != std::string::npos;) cmd.replace(p, 4, out);
  return cmd;
}

uint32_t Le32(const std::vector<uint8_t>& d, size_t at) {
  return d[at] | (d[at + 1] << 8) | (d[at + 2] << 16) | (static_cast<uint32_t>(d[at + 3]) << 24);
}

// Decodes with the given peer command ($IN, $OUT) into a PPM and compares with our decode.
void ExpectSameAsPeer(const TScratchDir& dir, const std::string& bmpPath, const std::string& peerCmd,
                      const std::string& what, int tol = 0) {
  TBitmap ours;
  ASSERT_NO_THROW(ours.LoadFromFile(bmpPath)) << what;
  std::string ppm = dir / "peer.ppm";
  std::string cmd = peerCmd;
  for (size_t p; (p = cmd.find("$IN")) != std::string::npos;) cmd.replace(p, 3, bmpPath);
  for (size_t p; (p = cmd.find("$OUT")) != std::string::npos;) cmd.replace(p, 4, ppm);
  ASSERT_EQ(RunPeer(cmd), 0) << cmd;
  EXPECT_EQ(CountMismatches(ours, ReadPpm(ppm), tol, what), 0) << what;
}

const std::string kMagickDecode = std::string(kConvert) + " $IN -depth 8 ppm:$OUT";
const std::string kNetpbmDecode = "bmptopnm $IN | ppmtoppm > $OUT";

}  // namespace

TEST(BmpPeerTest, ImageMagickFilesDecodeAsImageMagickDecodesThem) {
  SKIP_WITHOUT_PEER(kConvert);
  TScratchDir dir;
  const std::string src = dir / "src.ppm";
  WritePpm(src, MakeTestPicture(37, 23));
  const std::string C = kConvert;
  const std::vector<TVariant> variants = {
      {"24-bit V3", C + " $SRC BMP3:$OUT", TPixelFormat::pf24bit, 40, 0},
      {"24-bit core", C + " $SRC BMP2:$OUT", TPixelFormat::pf24bit, 12, 0},
      {"24-bit V5", C + " $SRC BMP:$OUT", TPixelFormat::pf24bit, 124, 0},
      {"8-bit palette", C + " $SRC -colors 200 -type Palette -compress None BMP3:$OUT", TPixelFormat::pf8bit, 40, 0},
      {"8-bit palette V5", C + " $SRC -colors 256 -type Palette -compress None BMP:$OUT", TPixelFormat::pf8bit, 124, 0},
      {"8-bit core", C + " $SRC -colors 100 -type Palette BMP2:$OUT", TPixelFormat::pf8bit, 12, 0},
      {"4-bit palette", C + " $SRC -colors 16 -compress None BMP3:$OUT", TPixelFormat::pf4bit, 40, 0},
      {"1-bit monochrome", C + " $SRC -monochrome BMP3:$OUT", TPixelFormat::pf1bit, 40, 0},
      {"RLE8", C + " $SRC -colors 200 -type Palette -compress RLE BMP3:$OUT", TPixelFormat::pf8bit, 40, 1},
      {"RLE8 few colours", C + " $SRC -colors 6 -type Palette -compress RLE BMP3:$OUT", TPixelFormat::pf8bit, 40, 1},
      {"16-bit 5-6-5", C + " $SRC -define bmp:subtype=RGB565 BMP:$OUT", TPixelFormat::pf16bit, 124, 3},
      {"16-bit 5-5-5", C + " $SRC -define bmp:subtype=RGB555 BMP:$OUT", TPixelFormat::pf15bit, 124, 3},
      {"32-bit bit fields", C + " $SRC -alpha set BMP:$OUT", TPixelFormat::pf32bit, 124, 3},
  };
  for (const TVariant& v : variants) {
    SCOPED_TRACE(v.Name);
    std::string bmp = dir / "v.bmp";
    ASSERT_EQ(RunPeer(Expand(v.Make, src, bmp)), 0) << v.Make;
    std::vector<uint8_t> bytes = ReadBytes(bmp);
    ASSERT_GT(bytes.size(), 54u);
    // Make sure the peer wrote the kind of file this case is about.
    ASSERT_EQ(Le32(bytes, 14), v.HeaderSize);
    if (v.HeaderSize != 12) {
      ASSERT_EQ(Le32(bytes, 30), v.Compression);
    }
    TBitmap ours;
    ours.LoadFromFile(bmp);
    EXPECT_EQ(ours.PixelFormat(), v.Format);
    ExpectSameAsPeer(dir, bmp, kMagickDecode, v.Name);
  }
}

TEST(BmpPeerTest, NetpbmFilesDecodeAsNetpbmDecodesThem) {
  SKIP_WITHOUT_PEER("/usr/bin/ppmtobmp");
  SKIP_WITHOUT_PEER("/usr/bin/bmptopnm");
  TScratchDir dir;
  const std::string src = dir / "src.ppm";
  WritePpm(src, MakeTestPicture(29, 17, 99));
  struct TCase {
    const char* Name;
    std::string Make;
    TPixelFormat Format;
  } cases[] = {
      {"1 bit", "pnmquant 2 $SRC | ppmtobmp -bpp 1 > $OUT", TPixelFormat::pf1bit},
      {"4 bits", "pnmquant 16 $SRC | ppmtobmp -bpp 4 > $OUT", TPixelFormat::pf4bit},
      {"8 bits", "pnmquant 256 $SRC | ppmtobmp -bpp 8 > $OUT", TPixelFormat::pf8bit},
      {"24 bits", "ppmtobmp -bpp 24 $SRC > $OUT", TPixelFormat::pf24bit},
      {"4 bits OS/2", "pnmquant 16 $SRC | ppmtobmp -os2 -bpp 4 > $OUT", TPixelFormat::pf4bit},
      {"24 bits OS/2", "ppmtobmp -os2 -bpp 24 $SRC > $OUT", TPixelFormat::pf24bit},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::string bmp = dir / "n.bmp";
    ASSERT_EQ(RunPeer(Expand(c.Make, src, bmp)), 0) << c.Make;
    TBitmap ours;
    ours.LoadFromFile(bmp);
    EXPECT_EQ(ours.PixelFormat(), c.Format);
    ExpectSameAsPeer(dir, bmp, kNetpbmDecode, c.Name);
  }
}

// ImageMagick writes bottom-up files only; turn one into a top-down file by hand and check it
// decodes to the same picture the peer sees in the original.
TEST(BmpPeerTest, TopDownRowsDecodeLikeBottomUp) {
  SKIP_WITHOUT_PEER(kConvert);
  TScratchDir dir;
  const std::string src = dir / "src.ppm";
  WritePpm(src, MakeTestPicture(21, 13, 5));
  for (const char* args : {"", "-colors 16 -compress None", "-colors 60 -type Palette -compress None"}) {
    SCOPED_TRACE(args);
    std::string bmp = dir / "b.bmp", flipped = dir / "t.bmp";
    ASSERT_EQ(RunPeer(std::string(kConvert) + " " + src + " " + args + " BMP3:" + bmp), 0);
    std::vector<uint8_t> d = ReadBytes(bmp);
    uint32_t off = Le32(d, 10), w = Le32(d, 18), bits = d[28];
    int32_t h = static_cast<int32_t>(Le32(d, 22));
    size_t row = static_cast<size_t>(BytesPerScanline(w, bits));
    std::vector<uint8_t> t(d.begin(), d.begin() + off);
    for (int y = h - 1; y >= 0; --y) t.insert(t.end(), d.begin() + off + y * row, d.begin() + off + (y + 1) * row);
    int32_t neg = -h;
    std::memcpy(&t[22], &neg, 4);
    WriteBytes(flipped, t);
    TBitmap a, b;
    a.LoadFromFile(bmp);
    b.LoadFromFile(flipped);
    EXPECT_TRUE(a.SameAs(b));
    ExpectSameAsPeer(dir, flipped, kNetpbmDecode, "top-down");
  }
}

// Files we write: the peer must see exactly our pixels, and paletted files keep their format
// and palette through save and load.
TEST(BmpPeerTest, SavedFilesReadBackIdenticallyByUsAndTheirPeer) {
  SKIP_WITHOUT_PEER(kConvert);
  TScratchDir dir;
  const std::string src = dir / "src.ppm";
  WritePpm(src, MakeTestPicture(19, 11, 3));
  struct TCase {
    const char* Name;
    std::string Make;
    TPixelFormat Format;
  } cases[] = {
      {"8 bits", " -colors 77 -type Palette -compress None BMP3:", TPixelFormat::pf8bit},
      {"4 bits", " -colors 16 -compress None BMP3:", TPixelFormat::pf4bit},
      {"4 bits, 5 colours", " -colors 5 -compress None BMP3:", TPixelFormat::pf4bit},
      {"1 bit", " -monochrome BMP3:", TPixelFormat::pf1bit},
      {"RLE8", " -colors 30 -type Palette -compress RLE BMP3:", TPixelFormat::pf8bit},
      {"24 bits", " BMP3:", TPixelFormat::pf24bit},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::string in = dir / "in.bmp", out = dir / "out.bmp";
    ASSERT_EQ(RunPeer(std::string(kConvert) + " " + src + c.Make + in), 0);
    TBitmap first;
    first.LoadFromFile(in);
    ASSERT_EQ(first.PixelFormat(), c.Format);
    first.SaveToFile(out);
    TBitmap second;
    second.LoadFromFile(out);
    EXPECT_EQ(second.PixelFormat(), c.Format);
    EXPECT_TRUE(first.SameAs(second));
    EXPECT_GE(PaletteEntryCount(second.Palette()), PaletteEntryCount(first.Palette()));
    ExpectSameAsPeer(dir, out, kMagickDecode, c.Name);
  }
  // The formats only we produce from a picture: 15, 16 and 32 bits, and converted palettes.
  TBitmap base;
  base.LoadFromFile([&] {
    std::string p = dir / "base.bmp";
    RunPeer(std::string(kConvert) + " " + src + " BMP3:" + p);
    return p;
  }());
  for (TPixelFormat pf : {TPixelFormat::pf15bit, TPixelFormat::pf16bit, TPixelFormat::pf32bit, TPixelFormat::pf8bit,
                          TPixelFormat::pf4bit, TPixelFormat::pf1bit}) {
    SCOPED_TRACE(BitsPerPixel(pf));
    TBitmap b = base;
    b.SetPixelFormat(pf);
    std::string out = dir / "conv.bmp";
    b.SaveToFile(out);
    TBitmap again;
    again.LoadFromFile(out);
    EXPECT_EQ(again.PixelFormat(), pf);
    EXPECT_EQ(CountMismatches(
                  again,
                  [&] {
                    TRgbImage img;
                    img.Width = b.Width();
                    img.Height = b.Height();
                    for (int y = 0; y < b.Height(); ++y)
                      for (int x = 0; x < b.Width(); ++x) {
                        TColor c = b.Pixel(x, y);
                        img.Rgb.insert(img.Rgb.end(), {GetRValue(c), GetGValue(c), GetBValue(c)});
                      }
                    return img;
                  }(),
                  0, "reload"),
              0);
    ExpectSameAsPeer(dir, out, kMagickDecode, "converted");
  }
}
