// TIFF and EPS reading against tifftopnm (and ImageMagick where tifftopnm declines) on files
// made by tiffcp, pamtotiff, ImageMagick and GraphicsMagick; hand-built directories for the cases no tool
// writes; refusals and broken files.
#include <gtest/gtest.h>
#include <zlib.h>

#include "codecs/TIFFGraphic.h"
#include "tests/codecs/CodecTestSupport.h"

using namespace codectest;

namespace {

std::string LoadError(const std::vector<uint8_t>& file) {
  TTIFFGraphic g;
  try {
    g.LoadFromMemory(file.data(), file.size());
  } catch (const Exception& e) {
    // A failed load leaves no half-read picture behind.
    EXPECT_TRUE(g.Empty()) << e.what();
    return e.what();
  }
  return "loaded";
}

// A one-directory TIFF built by hand: entries of SHORT or LONG values (arrays go after the
// directory), then the pixel data.
struct TTag {
  uint16_t Tag;
  uint16_t Type;  // 3 SHORT, 4 LONG
  std::vector<uint32_t> Values;
};

std::vector<uint8_t> HandTIFF(bool big, std::vector<TTag> tags, const std::vector<uint8_t>& pixels) {
  std::vector<uint8_t> f;
  auto put16 = [&](std::vector<uint8_t>& v, uint32_t x) {
    if (big)
      v.insert(v.end(), {uint8_t(x >> 8), uint8_t(x)});
    else
      v.insert(v.end(), {uint8_t(x), uint8_t(x >> 8)});
  };
  auto put32 = [&](std::vector<uint8_t>& v, uint32_t x) {
    if (big)
      v.insert(v.end(), {uint8_t(x >> 24), uint8_t(x >> 16), uint8_t(x >> 8), uint8_t(x)});
    else
      v.insert(v.end(), {uint8_t(x), uint8_t(x >> 8), uint8_t(x >> 16), uint8_t(x >> 24)});
  };
  f.insert(f.end(), big ? std::initializer_list<uint8_t>{'M', 'M'} : std::initializer_list<uint8_t>{'I', 'I'});
  put16(f, 42);
  put32(f, 8);
  const size_t dirSize = 2 + tags.size() * 12 + 4;
  std::vector<uint8_t> extra;
  const size_t extraAt = 8 + dirSize;
  // Pixel data follows the arrays; strip offsets given as the value 0xFFFF0000 + k mean "pixel data + k".
  size_t arrays = 0;
  for (const TTag& t : tags)
    if (t.Values.size() * (t.Type == 3 ? 2 : 4) > 4) arrays += t.Values.size() * (t.Type == 3 ? 2 : 4);
  const uint32_t pixelsAt = static_cast<uint32_t>(extraAt + arrays);
  put16(f, static_cast<uint32_t>(tags.size()));
  for (TTag& t : tags) {
    for (uint32_t& v : t.Values)
      if (v >= 0xFFFF0000u) v = pixelsAt + (v - 0xFFFF0000u);
    put16(f, t.Tag);
    put16(f, t.Type);
    put32(f, static_cast<uint32_t>(t.Values.size()));
    const size_t bytes = t.Values.size() * (t.Type == 3 ? 2 : 4);
    std::vector<uint8_t> vals;
    for (uint32_t v : t.Values) t.Type == 3 ? put16(vals, v) : put32(vals, v);
    if (bytes <= 4) {
      vals.resize(4, 0);
      f.insert(f.end(), vals.begin(), vals.end());
    } else {
      put32(f, static_cast<uint32_t>(extraAt + extra.size()));
      extra.insert(extra.end(), vals.begin(), vals.end());
    }
  }
  put32(f, 0);
  f.insert(f.end(), extra.begin(), extra.end());
  f.insert(f.end(), pixels.begin(), pixels.end());
  return f;
}

const uint32_t kPixels = 0xFFFF0000u;

// A little-endian file of one strip with its byte count (a LONG in the first directory) set to count.
std::vector<uint8_t> WithStripBytes(std::vector<uint8_t> f, uint32_t count) {
  auto u16 = [&](size_t at) { return static_cast<uint32_t>(f.at(at) | f.at(at + 1) << 8); };
  const size_t dir = u16(4) | u16(6) << 16;
  for (size_t e = dir + 2; e < dir + 2 + u16(dir) * 12; e += 12)
    if (u16(e) == 279 && u16(e + 2) == 4 && u16(e + 4) == 1 && u16(e + 6) == 0) {
      for (int k = 0; k < 4; ++k) f.at(e + 8 + k) = static_cast<uint8_t>(count >> (8 * k));
      return f;
    }
  ADD_FAILURE() << "no single LONG strip byte count";
  return f;
}

std::vector<uint8_t> Deflated(const std::vector<uint8_t>& raw) {
  std::vector<uint8_t> z(compressBound(raw.size()));
  uLongf n = z.size();
  compress(z.data(), &n, raw.data(), raw.size());
  z.resize(n);
  return z;
}

}  // namespace

TEST(TIFFTest, DecodesLikeTheirPeers) {
  SKIP_WITHOUT_PEER(kConvert);
  SKIP_WITHOUT_PEER("/usr/bin/tiffcp");
  SKIP_WITHOUT_PEER("/usr/bin/tifftopnm");
  SKIP_WITHOUT_PEER("/usr/bin/pamtotiff");
  SKIP_WITHOUT_PEER("/usr/bin/gm");
  SKIP_WITHOUT_PEER("/usr/bin/raw2tiff");
  SKIP_WITHOUT_PEER("/usr/bin/tiffset");
  TScratchDir dir;
  const TRgbImage src = MakeTestPicture(37, 23, 5);
  WritePpm(dir / "src.ppm", src);
  // RGB and two more samples a pixel, raw, for raw2tiff: no tool writes them from a picture.
  std::vector<uint8_t> five;
  for (size_t i = 0; i < src.Rgb.size(); i += 3)
    five.insert(five.end(), {src.Rgb[i], src.Rgb[i + 1], src.Rgb[i + 2], uint8_t(i), uint8_t(255 - i)});
  WriteBytes(dir / "five.raw", five);
  const std::string tifftopnm = "/usr/bin/tifftopnm", magick = "/usr/bin/convert";
  const std::string prep =
      "convert src.ppm -compress none base.tif && convert src.ppm -depth 16 -compress none base16.tif && "
      "ppmtopgm src.ppm | pamditherbw | pamtopnm > bw.pbm && pamtotiff -none bw.pbm > bw.tif && "
      "convert src.ppm -colorspace Gray -depth 8 -compress none g8.tif && "
      "convert src.ppm -colorspace Gray -depth 16 -compress none g16.tif && "
      "convert g8.tif -alpha set -channel A -fx 'i/w' +channel -compress none ga8.tif && "
      "convert g16.tif -alpha set -channel A -fx 'i/w' +channel -depth 16 -compress none ga16.tif && "
      "convert src.ppm -colors 50 -alpha set -channel A -fx 'j/h' +channel -type PaletteAlpha -compress none "
      "pa.tif && "
      "convert src.ppm -colorspace CMYK -depth 8 -compress none cmyk8.tif && "
      "convert cmyk8.tif -alpha set -channel A -fx 'i/w' +channel -compress none cmyka8.tif && "
      "convert src.ppm -colorspace CMYK -depth 16 -compress none cmyk16.tif && "
      "convert cmyk16.tif -alpha set -channel A -fx 'i/w' +channel -depth 16 -compress none cmyka16.tif && "
      // raw2tiff declares no extra samples and stores its bytes in fill order 2; tiffcp undoes that.
      "raw2tiff -w 37 -l 23 -b 5 -d byte -p rgb -c none five.raw five.tif 2>/dev/null && "
      "tiffset -s 338 2 0 0 five.tif && tiffcp -f msb2lsb five.tif rgb2x.tif 2>/dev/null";
  ASSERT_EQ(RunPeer("cd " + (dir / "") + " && PATH=/usr/bin:$PATH && " + prep), 0);
  struct TCase {
    const char* Name;
    std::string Make;
    const std::string& Peer;
    int Tol;
    // Grey with alpha is compared with the peer's decode of the grey picture it was made from,
    // which tifftopnm reads (it declines grey and palette pictures of two samples); palette
    // planes with ImageMagick's decode of the interleaved file (it misreads the planes).
    const char* PeerOf = "out.tif";
    // When set, the single strip's byte count of the little-endian file made is patched to this.
    uint32_t StripBytes = 0;
  } cases[] = {
      {"none, little-endian", "tiffcp -L -c none base.tif out.tif", tifftopnm, 0},
      {"none, big-endian", "tiffcp -B -c none base.tif out.tif", tifftopnm, 0},
      {"packbits, strips of 5 rows", "tiffcp -c packbits -r 5 base.tif out.tif", tifftopnm, 0},
      {"deflate", "tiffcp -c zip base.tif out.tif", tifftopnm, 0},
      {"deflate with predictor, big-endian", "tiffcp -B -c zip:2 -r 7 base.tif out.tif", tifftopnm, 0},
      {"16-bit deflate with predictor", "tiffcp -c zip:2 base16.tif out.tif", tifftopnm, 1},
      {"16-bit big-endian predictor", "tiffcp -B -c zip:2 base16.tif out.tif", tifftopnm, 1},
      {"jpeg rgb", "tiffcp -c jpeg:r -r 8 base.tif out.tif", tifftopnm, 2},
      {"jpeg ycbcr", "tiffcp -c jpeg -r 16 base.tif out.tif", magick, 2},
      {"g3 1-d", "tiffcp -c g3:1d bw.tif out.tif", tifftopnm, 0},
      {"g3 1-d with fill bits, fill order 2", "tiffcp -f lsb2msb -c g3:1d:fill -r 4 bw.tif out.tif", tifftopnm, 0},
      {"grey 1", "cp bw.tif out.tif", tifftopnm, 0},
      {"grey 4", "convert src.ppm -colorspace Gray -depth 4 -compress none out.tif", tifftopnm, 0},
      {"grey 8", "convert src.ppm -colorspace Gray -depth 8 -compress none out.tif", tifftopnm, 0},
      {"grey 16", "convert src.ppm -colorspace Gray -depth 16 -compress none out.tif", tifftopnm, 1},
      {"grey 8, minimum is white",
       "convert src.ppm -colorspace Gray -depth 8 -define quantum:polarity=min-is-white -compress none out.tif",
       tifftopnm, 0},
      // The colour map's 16-bit values are cut to 8 bits, not rounded.
      {"palette", "convert src.ppm -colors 50 -type Palette -compress none out.tif", tifftopnm, 1},
      {"rgb 16", "cp base16.tif out.tif", tifftopnm, 1},
      // tifftopnm mixes unassociated alpha with black; the colour as stored is what a texture wants.
      {"rgba, unassociated alpha", "convert src.ppm -alpha set -channel A -fx 'i/w' +channel -compress none out.tif",
       magick, 0},
      {"rgba, associated alpha",
       "convert src.ppm -alpha set -channel A -evaluate set 100% +channel -define tiff:alpha=associated -compress none "
       "out.tif",
       tifftopnm, 0},
      {"cmyk", "convert src.ppm -colorspace CMYK -compress none out.tif", tifftopnm, 2},
      {"tiles of 16, packbits", "tiffcp -t -w 16 -l 16 -c packbits base.tif out.tif", tifftopnm, 0},
      {"tiles of 32x16, deflate with predictor", "tiffcp -t -w 32 -l 16 -c zip:2 base.tif out.tif", tifftopnm, 0},
      {"grey 1, tiles", "tiffcp -t -w 16 -l 16 bw.tif out.tif", tifftopnm, 0},
      {"separate planes", "tiffcp -p separate base.tif out.tif", tifftopnm, 0},
      // Rows of a multiple of 4 bytes are decoded straight into the bitmap.
      {"36 wide, strips of 4, deflate with predictor",
       "convert src.ppm -crop 36x23+0+0 +repage -compress none base36.tif && tiffcp -c zip:2 -r 4 base36.tif out.tif",
       tifftopnm, 0},
      {"36 wide, deflate",
       "convert src.ppm -crop 36x23+0+0 +repage -compress none base36.tif && tiffcp -c zip base36.tif out.tif",
       tifftopnm, 0},
      {"36 wide, strips of 4, packbits",
       "convert src.ppm -crop 36x23+0+0 +repage -compress none base36.tif && tiffcp -c packbits -r 4 base36.tif "
       "out.tif",
       tifftopnm, 0},
      {"separate planes, strips of 4, deflate with predictor", "tiffcp -p separate -r 4 -c zip:2 base.tif out.tif",
       tifftopnm, 0},
      {"16-bit tiles", "tiffcp -t -w 16 -l 16 base16.tif out.tif", tifftopnm, 1},
      {"separate 16-bit planes, deflate with predictor",
       "convert src.ppm -depth 16 -interlace Plane -compress zip out.tif", tifftopnm, 1},
      {"grey 8 with alpha", "cp ga8.tif out.tif", tifftopnm, 0, "g8.tif"},
      {"grey 8 with alpha, planes in strips of 5, deflate with predictor",
       "tiffcp -p separate -r 5 -c zip:2 ga8.tif out.tif", tifftopnm, 0, "g8.tif"},
      {"grey 16 with alpha", "cp ga16.tif out.tif", tifftopnm, 1, "g16.tif"},
      {"grey 16 with alpha, big-endian, predictor", "tiffcp -B -c zip:2 ga16.tif out.tif", tifftopnm, 1, "g16.tif"},
      {"grey 16 with alpha, planes", "gm convert ga16.tif -interlace plane out.tif", tifftopnm, 1, "g16.tif"},
      {"palette with alpha", "cp pa.tif out.tif", magick, 1},
      {"palette with alpha, planes", "tiffcp -p separate pa.tif out.tif", magick, 1, "pa.tif"},
      // CMYK with alpha and RGB with two extra samples skip them by the stored stride, as above.
      {"cmyk 8 with alpha", "cp cmyka8.tif out.tif", tifftopnm, 2, "cmyk8.tif"},
      // tifftopnm reads 16-bit CMYK as black.
      {"cmyk 16 with alpha", "cp cmyka16.tif out.tif", magick, 2, "cmyk16.tif"},
      {"cmyk 8 with alpha, planes, packbits", "tiffcp -p separate -c packbits cmyka8.tif out.tif", tifftopnm, 2,
       "cmyk8.tif"},
      {"cmyk 16 with alpha, planes", "gm convert cmyka16.tif -interlace plane out.tif", magick, 2, "cmyk16.tif"},
      {"rgb with two extra samples", "cp rgb2x.tif out.tif", tifftopnm, 0, "base.tif"},
      {"rgb with two extra samples, deflate with predictor", "tiffcp -c zip:2 -r 5 rgb2x.tif out.tif", tifftopnm, 0,
       "base.tif"},
      {"rgb with two extra samples, planes", "tiffcp -p separate rgb2x.tif out.tif", tifftopnm, 0, "base.tif"},
      // Fill order 2 reverses the bits of the stored bytes, whatever the coding.
      {"grey 1, fill order 2", "tiffcp -f lsb2msb -c none bw.tif out.tif", tifftopnm, 0},
      {"grey 2, fill order 2",
       "convert src.ppm -colorspace Gray -depth 2 -compress none g2.tif && tiffcp -f lsb2msb g2.tif out.tif", tifftopnm,
       0},
      {"grey 4, fill order 2",
       "convert src.ppm -colorspace Gray -depth 4 -compress none g4.tif && tiffcp -f lsb2msb g4.tif out.tif", tifftopnm,
       0},
      {"grey 16, fill order 2", "tiffcp -f lsb2msb -c none g16.tif out.tif", tifftopnm, 1},
      {"deflate, fill order 2", "tiffcp -f lsb2msb -c zip base.tif out.tif", tifftopnm, 0},
      {"packbits, fill order 2", "tiffcp -f lsb2msb -c packbits base.tif out.tif", tifftopnm, 0},
      // A single plain strip whose byte count runs past the end of the file is read from its rows.
      {"one plain strip whose byte count runs past the end", "tiffcp -L -c none -r 23 base.tif out.tif", tifftopnm, 0,
       "out.tif", 35711440},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    ASSERT_EQ(RunPeer("cd " + (dir / "") + " && PATH=/usr/bin:$PATH && rm -f out.tif && " + c.Make), 0);
    if (c.StripBytes) WriteBytes(dir / "out.tif", WithStripBytes(ReadBytes(dir / "out.tif"), c.StripBytes));
    TTIFFGraphic g;
    g.LoadFromFile(dir / "out.tif");
    TRgbImage ref;
    if (c.Peer == magick) {
      ASSERT_EQ(RunPeer(magick + " " + (dir / c.PeerOf) + " -depth 8 ppm:" + (dir / "peer.ppm")), 0);
      ref = ReadPpm(dir / "peer.ppm");
    } else {
      ref = PeerDecode(c.Peer, dir / c.PeerOf, dir);
    }
    EXPECT_EQ(CountMismatches(g, ref, c.Tol, c.Name), 0);
  }

  // tifftopnm declines L*a*b*: a grey ramp rises from black to white (the conversion has no
  // gamma and its own white point, so mid greys are neither sRGB's nor quite neutral).
  ASSERT_EQ(RunPeer(
                "cd " + (dir / "") +
                " && /usr/bin/convert -size 1x16 gradient:black-white -colorspace Lab -depth 8 -compress none lab.tif"),
            0);
  TTIFFGraphic lab;
  lab.LoadFromFile(dir / "lab.tif");
  int last = -1;
  for (int x = 0; x < 16; ++x) {
    const TColor c = lab.Pixel(0, x);
    EXPECT_GE(GetGValue(c), last) << x;
    if (x == 0) {
      EXPECT_LE(GetRValue(c) + GetGValue(c) + GetBValue(c), 6);
    }
    last = GetGValue(c);
  }
  EXPECT_GE(last, 250);

  // EPS: the TIFF preview behind the 30-byte header.
  std::vector<uint8_t> tiff = ReadBytes(dir / "base.tif");
  std::vector<uint8_t> eps = {0xC5, 0xD0, 0xD3, 0xC6};
  auto le32 = [&](uint32_t v) {
    eps.insert(eps.end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)});
  };
  le32(30 + 5), le32(5), le32(0), le32(0), le32(40), le32(static_cast<uint32_t>(tiff.size()));
  eps.insert(eps.end(), {0xFF, 0xFF});
  eps.insert(eps.end(), {'%', '!', 'P', 'S', '\n'});
  eps.insert(eps.end(), 5, ' ');
  eps.insert(eps.end(), tiff.begin(), tiff.end());
  TEPSGraphic e;
  EXPECT_TRUE(e.CanLoad(eps.data(), eps.size()));
  e.LoadFromMemory(eps.data(), eps.size());
  TTIFFGraphic t;
  t.LoadFromMemory(tiff.data(), tiff.size());
  EXPECT_TRUE(e.SameAs(t));
  // A TIFF length of 0 is refused by CanLoad, yet loading reads the TIFF where the offset points.
  std::fill(eps.begin() + 24, eps.begin() + 28, 0);
  EXPECT_FALSE(e.CanLoad(eps.data(), eps.size()));
  e.LoadFromMemory(eps.data(), eps.size());
  EXPECT_TRUE(e.SameAs(t));
  eps[0] = 0;
  try {
    e.LoadFromMemory(eps.data(), eps.size());
    ADD_FAILURE() << "bad magic loaded";
  } catch (const EInvalidGraphic& x) {
    EXPECT_STREQ(x.what(), "Cannot load image. Invalid or unexpected EPS image format.");
  }

  // GraphicsMagick's EPT: our decode of the preview equals tifftopnm's of the TIFF inside.
  {
    ASSERT_EQ(RunPeer("cd " + (dir / "") + " && /usr/bin/gm convert base.tif EPT:out.eps"), 0);
    const std::vector<uint8_t> ept = ReadBytes(dir / "out.eps");
    ASSERT_GE(ept.size(), 30u);
    const uint32_t at = ept[20] | ept[21] << 8 | ept[22] << 16 | uint32_t(ept[23]) << 24;
    const uint32_t len = ept[24] | ept[25] << 8 | ept[26] << 16 | uint32_t(ept[27]) << 24;
    ASSERT_LE(uint64_t(at) + len, ept.size());
    WriteBytes(dir / "preview.tif", std::vector<uint8_t>(ept.begin() + at, ept.begin() + at + len));
    TEPSGraphic g;
    g.LoadFromFile(dir / "out.eps");
    EXPECT_EQ(CountMismatches(g, PeerDecode(tifftopnm, dir / "preview.tif", dir), 0, "EPT preview"), 0);
  }

  // What the reader does not build is refused with its reason.
  struct TRefusal {
    const char* Make;
    const char* Message;
  } refusals[] = {
      {"tiffcp -c lzw base.tif out.tif",
       "Cannot load image. The compression scheme is not supported for TIF/TIFF files."},
      {"tiffcp -c g4 bw.tif out.tif", "Cannot load image. The compression scheme is not supported for TIF/TIFF files."},
      {"tiffcp -t -c jpeg base.tif out.tif",
       "Cannot load image. Tiled JPEG images are not supported for TIF/TIFF files."},
      {"tiffcp -p separate -c jpeg base.tif out.tif",
       "Cannot load image. Separate JPEG planes are not supported for TIF/TIFF files."},
  };
  for (const TRefusal& r : refusals) {
    ASSERT_EQ(RunPeer("cd " + (dir / "") + " && PATH=/usr/bin:$PATH && rm -f out.tif && " + r.Make), 0);
    EXPECT_EQ(LoadError(ReadBytes(dir / "out.tif")), r.Message) << r.Make;
  }
}

TEST(TIFFTest, HandBuiltDirectories) {
  // 3x2 grey, 8 bits; rows of pixels 10 20 30 / 40 50 60.
  const std::vector<uint8_t> grey = {10, 20, 30, 40, 50, 60};
  auto greyTags = [](std::vector<TTag> more, std::vector<uint32_t> offsets = {kPixels}) {
    std::vector<TTag> t = {{256, 3, {3}}, {257, 4, {2}}, {258, 3, {8}}, {262, 3, {1}}, {273, 4, offsets}};
    t.insert(t.end(), more.begin(), more.end());
    return t;
  };
  // One 16x16 grey tile of two PackBits runs (four bytes), its byte count as given.
  auto packbitsTile = [](uint32_t byteCount) {
    return HandTIFF(false,
                    {{256, 3, {16}},
                     {257, 3, {16}},
                     {258, 3, {8}},
                     {259, 3, {32773}},
                     {262, 3, {1}},
                     {322, 3, {16}},
                     {323, 3, {16}},
                     {324, 4, {kPixels}},
                     {325, 4, {byteCount}}},
                    {0x81, 7, 0x81, 7});
  };
  TTIFFGraphic little, big;
  const auto le = HandTIFF(false, greyTags({{279, 4, {6}}}), grey);
  little.LoadFromMemory(le.data(), le.size());
  // The big-endian twin with a SHORT width reads the same; no RowsPerStrip tag means one strip.
  const auto be = HandTIFF(true, greyTags({{279, 4, {6}}}), grey);
  big.LoadFromMemory(be.data(), be.size());
  EXPECT_TRUE(little.SameAs(big));
  EXPECT_EQ(little.Pixel(2, 1), RGBColor(60, 60, 60));

  const std::string invalid = "Cannot load image. Invalid or unexpected TIF/TIFF image format.";
  const std::string compression = "Cannot load image. The compression scheme is not supported for TIF/TIFF files.";
  const std::string readError = "Stream read error";
  const uint32_t zgrey = static_cast<uint32_t>(Deflated(grey).size());
  // 3x2 YCbCr samples of no colour: grey levels 10 to 60.
  std::vector<uint8_t> neutral;
  for (uint8_t v : grey) neutral.insert(neutral.end(), {v, 128, 128});
  auto ycbcr = [](std::vector<TTag> more) {
    std::vector<TTag> t = {{256, 3, {3}}, {257, 3, {2}},       {258, 3, {8, 8, 8}},
                           {262, 3, {6}}, {273, 4, {kPixels}}, {277, 3, {3}}};
    t.insert(t.end(), more.begin(), more.end());
    return t;
  };
  TTIFFGraphic y;
  const auto yFile = HandTIFF(true, ycbcr({{530, 3, {1, 1}}}), neutral);
  y.LoadFromMemory(yFile.data(), yFile.size());
  EXPECT_EQ(y.Pixel(1, 1), RGBColor(50, 50, 50));
  // 3x2 grey of 4 bits with a 4-bit alpha sample after each level: levels 1 to 6.
  const std::vector<uint8_t> greyAlpha4 = {0x1F, 0x2F, 0x3F, 0x4F, 0x5F, 0x6F};
  const std::vector<TTag> greyAlphaTags = {{256, 3, {3}},       {257, 3, {2}}, {258, 3, {4, 4}}, {262, 3, {1}},
                                           {273, 4, {kPixels}}, {277, 3, {2}}, {338, 3, {2}}};
  TTIFFGraphic ga;
  const auto gaFile = HandTIFF(false, greyAlphaTags, greyAlpha4);
  ga.LoadFromMemory(gaFile.data(), gaFile.size());
  EXPECT_EQ(ga.Pixel(0, 0), RGBColor(17, 17, 17));
  EXPECT_EQ(ga.Pixel(2, 1), RGBColor(102, 102, 102));
  auto with = [](std::vector<TTag> tags, TTag tag) {
    for (TTag& t : tags)
      if (t.Tag == tag.Tag) t = tag;
    if (std::none_of(tags.begin(), tags.end(), [&](const TTag& t) { return t.Tag == tag.Tag; })) tags.push_back(tag);
    std::sort(tags.begin(), tags.end(), [](const TTag& a, const TTag& b) { return a.Tag < b.Tag; });
    return tags;
  };
  // Two strip byte counts stand at an offset; their count is then made to claim a gigabyte.
  std::vector<uint8_t> hugeCount =
      HandTIFF(false, greyTags({{278, 4, {1}}, {279, 4, {3, 3}}}, {kPixels, kPixels + 3}), grey);
  hugeCount[8 + 2 + 6 * 12 + 7] = 0x3F;
  struct TCase {
    const char* Name;
    std::vector<uint8_t> File;
    std::string Message;
  } cases[] = {
      {"rows per strip 2^32-1 is the whole height",
       HandTIFF(false, greyTags({{278, 4, {0xFFFFFFFF}}, {279, 4, {6}}}), grey), "loaded"},
      {"strips of 1 row", HandTIFF(false, greyTags({{278, 4, {1}}}, {kPixels, kPixels + 3}), grey), "loaded"},
      {"strips of 1 row, one strip missing", HandTIFF(false, greyTags({{278, 4, {1}}}), grey), invalid},
      {"strip data cut short", HandTIFF(false, greyTags({{279, 4, {6}}}), {1, 2, 3}), readError},
      {"strip data cut short, no byte counts", HandTIFF(false, greyTags({}), {1, 2, 3}), invalid},
      // One plain strip whose byte count runs past the end of the file is sized from its rows; only
      // when they are all in the file does it load.
      {"one plain strip's byte count beyond the file", HandTIFF(false, greyTags({{279, 4, {0x7FFFFFFF}}}), grey),
       "loaded"},
      {"one plain strip's byte count beyond the file, a row cut short",
       HandTIFF(false, greyTags({{279, 4, {0x7FFFFFFF}}}), {10, 20, 30, 40, 50}), readError},
      {"one packbits strip's byte count beyond the file",
       HandTIFF(false, greyTags({{259, 3, {32773}}, {279, 4, {0x7FFFFFFF}}}), {2, 10, 20, 30, 2, 40, 50, 60}),
       readError},
      {"strips of 1 row, the last byte count beyond the file",
       HandTIFF(false, greyTags({{278, 4, {1}}, {279, 4, {3, 0x7FFFFFFF}}}, {kPixels, kPixels + 3}), grey), readError},
      {"deflate strip's byte count one past the file",
       HandTIFF(false, greyTags({{259, 3, {8}}, {279, 4, {zgrey + 1}}}), Deflated(grey)), readError},
      {"deflate strip's byte count to the file's end",
       HandTIFF(false, greyTags({{259, 3, {8}}, {279, 4, {zgrey}}}), Deflated(grey)), "loaded"},
      {"packbits tile's byte count beyond the file", packbitsTile(5), readError},
      {"packbits tile that fits its byte count", packbitsTile(4), "loaded"},
      {"strip offset beyond the file",
       HandTIFF(false, {{256, 3, {3}}, {257, 3, {2}}, {258, 3, {8}}, {262, 3, {1}}, {273, 4, {9999}}}, grey), invalid},
      {"tag count larger than the file", hugeCount, invalid},
      {"zero width", HandTIFF(false, {{256, 3, {0}}, {257, 3, {2}}, {273, 4, {kPixels}}}, grey), invalid},
      {"too large", HandTIFF(false, {{256, 4, {40000}}, {257, 3, {2}}, {273, 4, {kPixels}}}, grey), invalid},
      {"palette with a short colour map",
       HandTIFF(false,
                {{256, 3, {3}},
                 {257, 3, {2}},
                 {258, 3, {8}},
                 {262, 3, {3}},
                 {273, 4, {kPixels}},
                 {320, 3, std::vector<uint32_t>(3 * 255, 0)}},
                grey),
       invalid},
      {"palette with a full colour map",
       HandTIFF(false,
                {{256, 3, {3}},
                 {257, 3, {2}},
                 {258, 3, {8}},
                 {262, 3, {3}},
                 {273, 4, {kPixels}},
                 {320, 3, std::vector<uint32_t>(3 * 256, 0x8080)}},
                grey),
       "loaded"},
      {"not a TIFF", {'I', 'I', 43, 0, 8, 0, 0, 0}, invalid},
      {"deflate data far too short for the picture",
       HandTIFF(false,
                {{256, 4, {30000}},
                 {257, 4, {8000}},
                 {258, 3, {8}},
                 {259, 3, {8}},
                 {262, 3, {1}},
                 {273, 4, {kPixels}},
                 {279, 4, {6}}},
                grey),
       invalid},
      {"deflate strip that is no deflate stream", HandTIFF(false, greyTags({{259, 3, {8}}, {279, 4, {6}}}), grey),
       "LZ77 decompression error."},
      {"YCbCr without subsampling", HandTIFF(false, ycbcr({{530, 3, {1, 1}}}), neutral), "loaded"},
      {"YCbCr subsampled outside JPEG (the default)", HandTIFF(false, ycbcr({}), neutral),
       "Cannot load image. Subsampled YCbCr is not supported for TIF/TIFF files."},
      // The compression is refused before anything about the colours is.
      {"old-style JPEG, subsampled YCbCr", HandTIFF(false, ycbcr({{259, 3, {6}}}), neutral), compression},
      {"LZW, subsampled YCbCr", HandTIFF(false, ycbcr({{259, 3, {5}}}), neutral), compression},
      {"LZW, grey with alpha", HandTIFF(false, with(greyAlphaTags, {259, 3, {5}}), greyAlpha4), compression},
      {"LZW, 12-bit grey", HandTIFF(false, with(with(greyTags({}), {258, 3, {12}}), {259, 3, {5}}), grey), compression},
      {"LZW, unknown photometric", HandTIFF(false, with(greyTags({{259, 3, {5}}}), {262, 3, {7}}), grey), compression},
      {"16-bit floating point grey",
       HandTIFF(false, with(with(greyTags({}), {258, 3, {16}}), {339, 3, {3}}), std::vector<uint8_t>(12)),
       "Cannot load image. Floating point samples are not supported for TIF/TIFF files."},
      {"64-bit floating point grey",
       HandTIFF(false, with(with(greyTags({}), {258, 3, {64}}), {339, 3, {3}}), std::vector<uint8_t>(48)),
       "Cannot load image. Floating point samples are not supported for TIF/TIFF files."},
      {"64-bit integer grey", HandTIFF(false, with(greyTags({}), {258, 3, {64}}), std::vector<uint8_t>(48)),
       "Cannot load image. A sample size of 64 bits is not supported for TIF/TIFF files."},
      {"deflate with floating point prediction",
       HandTIFF(false, with(greyTags({{259, 3, {8}}, {279, 4, {6}}}), {317, 3, {3}}), grey),
       "Cannot load image. Floating point samples are not supported for TIF/TIFF files."},
      {"12-bit grey", HandTIFF(false, with(greyTags({}), {258, 3, {12}}), std::vector<uint8_t>(9)),
       "Cannot load image. A sample size of 12 bits is not supported for TIF/TIFF files."},
      {"24-bit grey", HandTIFF(false, with(greyTags({}), {258, 3, {24}}), std::vector<uint8_t>(18)),
       "Cannot load image. A sample size of 24 bits is not supported for TIF/TIFF files."},
      {"4-bit CMYK",
       HandTIFF(
           false,
           {{256, 3, {3}}, {257, 3, {2}}, {258, 3, {4, 4, 4, 4}}, {262, 3, {5}}, {273, 4, {kPixels}}, {277, 3, {4}}},
           std::vector<uint8_t>(12)),
       "Cannot load image. A sample size of 4 bits is not supported for TIF/TIFF files."},
  };
  for (const TCase& c : cases) EXPECT_EQ(LoadError(c.File), c.Message) << c.Name;

  // Every cut of a good file fails with a message, never a crash.
  const auto strips = HandTIFF(true, greyTags({{278, 4, {1}}, {279, 4, {3, 3}}}, {kPixels, kPixels + 3}), grey);
  ASSERT_EQ(LoadError(strips), "loaded");
  for (size_t n = 0; n + 1 < strips.size(); ++n)
    EXPECT_NE(LoadError(std::vector<uint8_t>(strips.begin(), strips.begin() + static_cast<ptrdiff_t>(n))), "loaded")
        << n;
}

// A deflate strip of RGB gets its own verdict, whichever inflater takes it and wherever it
// stands: first, in the middle or last.
TEST(TIFFTest, DeflateStripVerdictsDoNotDependOnTheirNeighbours) {
  constexpr uint32_t width = 40, rowsPerStrip = 3, strips = 3;
  std::vector<uint8_t> rgb(width * rowsPerStrip * strips * 3);
  for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint8_t>(i / 7 + (i * 2654435761u >> 28));
  std::vector<std::vector<uint8_t>> good;
  for (uint32_t s = 0; s < strips; ++s) {
    const size_t size = rgb.size() / strips;
    std::vector<uint8_t> z(compressBound(size));
    uLongf n = z.size();
    ASSERT_EQ(compress(z.data(), &n, rgb.data() + s * size, size), Z_OK);
    z.resize(n);
    good.push_back(z);
  }
  const auto file = [&](const std::vector<std::vector<uint8_t>>& data) {
    std::vector<uint8_t> pixels;
    std::vector<uint32_t> offsets, counts;
    for (const auto& d : data) {
      offsets.push_back(kPixels + static_cast<uint32_t>(pixels.size()));
      counts.push_back(static_cast<uint32_t>(d.size()));
      pixels.insert(pixels.end(), d.begin(), d.end());
    }
    return HandTIFF(false,
                    {{256, 4, {width}},
                     {257, 4, {rowsPerStrip * strips}},
                     {258, 3, {8, 8, 8}},
                     {259, 3, {8}},
                     {262, 3, {2}},
                     {273, 4, offsets},
                     {277, 3, {3}},
                     {278, 4, {rowsPerStrip}},
                     {279, 4, counts}},
                    pixels);
  };
  using TChange = std::function<void(std::vector<uint8_t>&)>;
  const struct {
    const char* Name;
    TChange Change;
    bool Loads;
  } cases[] = {
      {"intact", [](std::vector<uint8_t>&) {}, true},
      {"bytes after the stream",
       [](std::vector<uint8_t>& z) {
         z.insert(z.end(), {1, 2, 3});
       },
       true},
      {"no deflate stream",
       [](std::vector<uint8_t>& z) {
         z.assign({1, 2, 3, 4, 5, 6, 7, 8});
       },
       false},
      {"cut short", [](std::vector<uint8_t>& z) { z.resize(z.size() / 2); }, false},
      {"wrong checksum", [](std::vector<uint8_t>& z) { z.back() ^= 1; }, false},
      {"a bit flipped", [](std::vector<uint8_t>& z) { z[z.size() / 2] ^= 8; }, false},
  };
  for (const auto& c : cases) {
    std::vector<std::vector<uint8_t>> files;
    for (uint32_t at = 0; at < strips; ++at) {
      auto data = good;
      c.Change(data[at]);
      files.push_back(file(data));
    }
    const std::string alone = LoadError(files.back());
    EXPECT_EQ(alone == "loaded", c.Loads) << c.Name;
    for (uint32_t at = 0; at + 1 < strips; ++at) EXPECT_EQ(LoadError(files[at]), alone) << c.Name << ", strip " << at;
    if (!c.Loads) continue;
    for (const auto& tiff : files) {
      TTIFFGraphic g;
      g.LoadFromMemory(tiff.data(), tiff.size());
      for (uint32_t y = 0; y < rowsPerStrip * strips; ++y)
        for (uint32_t x = 0; x < width; ++x) {
          const uint8_t* p = rgb.data() + (y * width + x) * 3;
          ASSERT_EQ(g.Pixel(static_cast<int>(x), static_cast<int>(y)), RGBColor(p[0], p[1], p[2])) << x << "," << y;
        }
    }
  }
}
