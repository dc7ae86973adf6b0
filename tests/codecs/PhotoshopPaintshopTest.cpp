// Photoshop files written by ImageMagick in every colour mode it writes, Paintshop Pro files
// built from the block layout, and malformed files of both.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>

#include "codecs/PSDGraphic.h"
#include "codecs/PSPGraphic.h"
#include "tests/codecs/CodecTestSupport.h"

using namespace codectest;

TEST(PhotoshopTest, DecodesWhatImageMagickWrites) {
  CORVANE_REQUIRE_TOOL(kConvert);
  TScratchDir dir;
  const std::string src = dir / "src.ppm";
  WritePpm(src, MakeTestPicture(29, 13));
  // Each file is compared with ImageMagick's rendering of the source through the same options,
  // and with its decode of the file where it reads its own file back: it refuses its indexed
  // files, and gives its RGBA files' merged image other colours than it wrote.
  const struct {
    const char* Name;
    const char* Options;
    TPixelFormat Format;
    bool Alpha = false, PeerReads = true;
    int Tolerance = 0;
  } cases[] = {
      {"RGB", "", TPixelFormat::pf24bit},
      {"RGBA", "-alpha set -channel A -fx 'i/w' +channel", TPixelFormat::pf32bit, true, false},
      // Our CMYK arithmetic truncates where the peer rounds.
      {"CMYK", "-colorspace CMYK", TPixelFormat::pf24bit, false, true, 1},
      {"CMYK with alpha", "-colorspace CMYK -alpha set", TPixelFormat::pf24bit, false, true, 1},
      {"grey", "-colorspace Gray", TPixelFormat::pf8bit},
      {"grey with alpha", "-colorspace Gray -alpha set", TPixelFormat::pf8bit},
      {"bitmap", "-monochrome -depth 1", TPixelFormat::pf1bit},
      {"indexed", "-colors 60 -type Palette", TPixelFormat::pf8bit, false, false},
      {"16-bit RGB", "-depth 16", TPixelFormat::pf24bit},
      {"16-bit grey", "-depth 16 -colorspace Gray", TPixelFormat::pf8bit},
  };
  for (const auto& c : cases) {
    const std::string ppm = dir / "peer.ppm";
    const std::string prefix = std::string(kConvert) + " " + src + " -depth 8 " + c.Options;
    const TRgbImage rendered = PeerPixmap(prefix + " -alpha off -depth 8 -type TrueColor ppm:" + ppm, ppm);
    for (const char* compression : {"RLE", "None"}) {
      SCOPED_TRACE(std::string(c.Name) + " " + compression);
      const std::string file = dir / "case.psd";
      ASSERT_EQ(RunPeer(prefix + " -compress " + compression + " psd:" + file), 0);
      TPSDGraphic g;
      ASSERT_EQ(LoadError(g, ReadBytes(file)), "");
      EXPECT_EQ(g.PixelFormat(), c.Format);
      EXPECT_EQ(g.ImageProperties.Compression, std::string(compression) == "RLE" ? ctPackedBits : ctNone);
      // The peer's rendering keeps more precision on the way (16-bit inks, grey through its
      // colour space) than the 8-bit file holds: two levels apart at most.
      EXPECT_EQ(CountMismatches(g, rendered, 2, std::string(c.Name) + " against the source"), 0);
      if (c.PeerReads) {
        // The first image is the merged one.
        const TRgbImage peer =
            PeerPixmap(std::string(kConvert) + " '" + file + "[0]' -alpha off -depth 8 -type TrueColor ppm:" + ppm,
                       ppm);
        EXPECT_EQ(CountMismatches(g, peer, c.Tolerance, std::string(c.Name) + " against the peer's decode"), 0);
      }
      if (c.Alpha) {
        EXPECT_EQ(AlphaMismatches(g, file + "[0]", dir), 0);
      }
    }
  }
}

TEST(PhotoshopTest, MalformedFiles) {
  // A 2x1 grey file, raw: header, three empty sections, compression 0, two pixels.
  std::vector<uint8_t> good = {'8', 'B', 'P', 'S', 0, 1, 0, 0, 0, 0, 0, 0};
  Put16BE(good, 1), Put32BE(good, 1), Put32BE(good, 2), Put16BE(good, 8), Put16BE(good, 1);
  Put32BE(good, 0), Put32BE(good, 0), Put32BE(good, 0), Put16BE(good, 0);
  good.insert(good.end(), {40, 200});
  auto with = [&](size_t at, std::vector<uint8_t> bytes, size_t cut = 0) {
    std::vector<uint8_t> f = good;
    std::copy(bytes.begin(), bytes.end(), f.begin() + static_cast<std::ptrdiff_t>(at));
    f.resize(f.size() - cut);
    return f;
  };
  std::vector<uint8_t> shortPalette = with(24, {0, 2});  // indexed, but no colour data
  std::vector<uint8_t> hugeSection = with(26, {0x7F, 0xFF, 0xFF, 0xFF});
  std::vector<uint8_t> packBits = with(38, {0, 1});  // the counts table would overrun
  std::vector<uint8_t> manyCounts = packBits;
  manyCounts[12] = 0xFF;  // 65280 channels' counts
  const struct {
    const char* Name;
    std::vector<uint8_t> Data;
    const char* Error;  // "" loads
  } cases[] = {
      {"good", good, ""},
      {"version 2", with(4, {0, 2}), "version 2 is not read"},
      {"signature", with(0, {'8', 'B', 'P', 'X'}), "Cannot load image. Invalid or unexpected PSD or PDD image format."},
      {"section beyond the end", hugeSection, "Cannot load image. Invalid or unexpected PSD or PDD image format."},
      {"indexed without a full palette", shortPalette, "fewer than 256 colours"},
      {"depth 7", with(22, {0, 7}), "unsupported depth 7"},
      {"Lab mode with one channel", with(24, {0, 9}), "too few channels"},
      {"pixels cut short", with(0, {}, 1), "image rows"},
      {"PackBits rows beyond the data", packBits, "image data ends early"},
      {"PackBits counts cut short", manyCounts, "row byte counts"},
      {"huge size", with(14, {0x7F, 0, 0, 0}), "size out of range"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TPSDGraphic g;
    const std::string error = LoadError(g, c.Data);
    if (!*c.Error) {
      ASSERT_EQ(error, "");
      EXPECT_EQ(g.Pixel(1, 0), RGBColor(200, 200, 200));
    } else {
      EXPECT_NE(error.find(c.Error), std::string::npos) << error;
      EXPECT_TRUE(g.Empty());
    }
  }
  // Grey with an extra channel reads one sample per pixel from the first channel.
  std::vector<uint8_t> extra = with(12, {0, 2});
  extra.insert(extra.end(), {7, 7});
  TPSDGraphic g;
  ASSERT_EQ(LoadError(g, extra), "");
  EXPECT_EQ(g.ImageProperties.SamplesPerPixel, 1);
  EXPECT_EQ(g.Pixel(0, 0), RGBColor(40, 40, 40));
}

namespace {

// A Paintshop Pro file built from the block layout: the attributes block, a palette for indexed
// pictures, and one layer holding a mask channel (to be passed over) and the image channels.
struct TPSPFile {
  unsigned Major = 5;
  uint32_t Width = 3, Height = 2;
  uint16_t Depth = 24, Compression = 0;
  bool Grey = false;

  std::vector<uint8_t> Block(uint16_t kind, const std::vector<uint8_t>& body) const {
    std::vector<uint8_t> b = {'~', 'B', 'K', 0};
    Put16(b, kind);
    if (Major == 3) Put32(b, static_cast<uint32_t>(body.size()));
    Put32(b, static_cast<uint32_t>(body.size()));
    b.insert(b.end(), body.begin(), body.end());
    return b;
  }
  std::vector<uint8_t> Pack(const std::vector<uint8_t>& raw) const {
    if (Compression == 1) {
      std::vector<uint8_t> out;
      for (size_t i = 0; i < raw.size(); i += 2) {
        if (i + 1 < raw.size() && raw[i] == raw[i + 1]) {
          out.insert(out.end(), {uint8_t(130), raw[i]});
        } else {
          out.push_back(static_cast<uint8_t>(std::min<size_t>(2, raw.size() - i)));
          out.insert(out.end(), raw.begin() + static_cast<std::ptrdiff_t>(i),
                     raw.begin() + static_cast<std::ptrdiff_t>(std::min(i + 2, raw.size())));
        }
      }
      return out;
    }
    if (Compression == 2) {
      std::vector<uint8_t> z(compressBound(raw.size()));
      uLongf n = z.size();
      compress(z.data(), &n, raw.data(), raw.size());
      z.resize(n);
      return z;
    }
    return raw;
  }
  std::vector<uint8_t> Channel(uint16_t bitmapKind, uint16_t channelKind, const std::vector<uint8_t>& raw) const {
    const std::vector<uint8_t> packed = Pack(raw);
    std::vector<uint8_t> body;
    if (Major > 3) Put32(body, 16);
    Put32(body, static_cast<uint32_t>(packed.size()));
    Put32(body, static_cast<uint32_t>(raw.size()));
    Put16(body, bitmapKind);
    Put16(body, channelKind);
    body.insert(body.end(), packed.begin(), packed.end());
    return Block(5, body);
  }
  // The image's planes, one row size by height each.
  std::vector<uint8_t> Build(const std::vector<std::vector<uint8_t>>& planes) const {
    std::vector<uint8_t> f(32, 0);
    std::memcpy(f.data(), "Paint Shop Pro Image File\n\x1a", 27);
    Put16(f, Major), Put16(f, 0);
    std::vector<uint8_t> attributes;
    if (Major > 3) Put32(attributes, 46);
    Put32(attributes, Width), Put32(attributes, Height);
    attributes.resize(attributes.size() + 9);
    Put16(attributes, Compression), Put16(attributes, Depth), Put16(attributes, 1), Put32(attributes, 256);
    attributes.push_back(Grey);
    attributes.resize(attributes.size() + 14);
    const std::vector<uint8_t> a = Block(0, attributes);
    f.insert(f.end(), a.begin(), a.end());
    if (Depth <= 8 && !Grey) {
      std::vector<uint8_t> pal;
      if (Major > 3) Put32(pal, 8);
      Put32(pal, 256);
      for (int i = 0; i < 256; ++i) pal.insert(pal.end(), {uint8_t(255 - i), uint8_t(i / 2), uint8_t(i), 0});
      const std::vector<uint8_t> p = Block(2, pal);
      f.insert(f.end(), p.begin(), p.end());
    }
    std::vector<uint8_t> layer;
    if (Major > 3) Put32(layer, 8), Put32(layer, 0xDEADBEEF);  // an info chunk to step over
    const std::vector<uint8_t> mask = Channel(1, 0, std::vector<uint8_t>(planes[0].size(), 0xEE));
    layer.insert(layer.end(), mask.begin(), mask.end());
    for (size_t i = 0; i < planes.size(); ++i) {
      const std::vector<uint8_t> ch = Channel(0, static_cast<uint16_t>(planes.size() == 1 ? 0 : i + 1), planes[i]);
      layer.insert(layer.end(), ch.begin(), ch.end());
    }
    const std::vector<uint8_t> l = Block(3, Block(4, layer));
    f.insert(f.end(), l.begin(), l.end());
    return f;
  }
};

std::vector<uint8_t> Plane(size_t n, int mul, int add) {
  std::vector<uint8_t> p(n);
  for (size_t i = 0; i < n; ++i) p[i] = static_cast<uint8_t>(i / 2 * mul + add);  // pairs repeat
  return p;
}

}  // namespace

TEST(PaintshopTest, ReadsTheImageChannelsOfEveryLayoutAndCompression) {
  for (unsigned major : {3u, 5u}) {
    for (uint16_t compression : {0, 1, 2}) {
      SCOPED_TRACE("version " + std::to_string(major) + " compression " + std::to_string(compression));
      TPSPFile f;
      f.Major = major, f.Compression = compression;
      const std::vector<uint8_t> r = Plane(6, 40, 1), gr = Plane(6, 30, 2), b = Plane(6, 20, 3);
      TPSPGraphic g;
      ASSERT_EQ(LoadError(g, f.Build({r, gr, b})), "");
      ASSERT_EQ(g.PixelFormat(), TPixelFormat::pf24bit);
      for (int i = 0; i < 6; ++i) EXPECT_EQ(g.Pixel(i % 3, i / 3), RGBColor(r[i], gr[i], b[i])) << i;

      f.Depth = 8;
      TPSPGraphic indexed;
      ASSERT_EQ(LoadError(indexed, f.Build({Plane(6, 50, 7)})), "");
      ASSERT_EQ(indexed.PixelFormat(), TPixelFormat::pf8bit);
      const int k = 57;  // pixel 2 holds index 1 * 50 + 7
      EXPECT_EQ(indexed.Pixel(2, 0), RGBColor(uint8_t(k), uint8_t(k / 2), uint8_t(255 - k)));

      f.Grey = true;
      TPSPGraphic grey;
      ASSERT_EQ(LoadError(grey, f.Build({Plane(6, 50, 7)})), "");
      EXPECT_EQ(grey.Pixel(2, 0), RGBColor(57, 57, 57));
    }
  }
}

TEST(PaintshopTest, MalformedFiles) {
  TPSPFile f;
  const std::vector<std::vector<uint8_t>> rgb = {Plane(6, 1, 0), Plane(6, 1, 0), Plane(6, 1, 0)};
  auto variant = [&](auto change) {
    TPSPFile v = f;
    change(v);
    return v.Build(rgb);
  };
  std::vector<uint8_t> old = f.Build(rgb);
  old[32] = 2;
  std::vector<uint8_t> cut = f.Build(rgb);
  cut.resize(cut.size() - 2);
  const struct {
    const char* Name;
    std::vector<uint8_t> Data;
    const char* Error;
  } cases[] = {
      {"major version 2", old, "Cannot load image. Invalid or unexpected PSP image format."},
      {"JPEG channels", variant([](TPSPFile& v) { v.Compression = 3; }),
       "Cannot load image. The compression scheme is not supported for PSP files."},
      {"16-bit depth", variant([](TPSPFile& v) { v.Depth = 16; }), "Invalid color format in PSP file."},
      {"last channel cut short", cut, "ends early"},
      {"no channels", std::vector<uint8_t>(old.begin(), old.begin() + 36 + 56), "channels are missing"},
      {"huge size", variant([](TPSPFile& v) { v.Width = 1u << 30; }), "size out of range"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<uint8_t> data = c.Data;
    if (std::string(c.Name) == "no channels") data[32] = 5;
    ExpectRefused<TPSPGraphic>(data, c.Error);
  }
}
