// The colour manager: each converter against a plain per-pixel reference on random rows (all
// widths, byte orders, planes, alpha and interlace masks), the fixed points of the colour
// formulas, the gamma table, palettes and the refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "codecs/GraphicColor.h"

namespace {

// --- plain references, one pixel at a time ---

struct TRef {
  unsigned SrcBits, DstBits;
  bool Swap, Gamma;
  const std::array<uint8_t, 256>* Table;

  // Sample k of a row of 8- or 16-bit samples, reduced to 8 bits (gamma when asked).
  unsigned Sample8(const uint8_t* row, size_t k, bool gamma) const {
    unsigned v;
    if (SrcBits == 16) {
      unsigned w = Swap ? (row[2 * k] << 8 | row[2 * k + 1]) : (row[2 * k] | row[2 * k + 1] << 8);
      v = w * 255 / 65535;
    } else {
      v = row[k];
    }
    return gamma ? (*Table)[v] : v;
  }
  unsigned Sample16(const uint8_t* row, size_t k, bool gamma) const {
    if (SrcBits == 16) return Swap ? (row[2 * k] << 8 | row[2 * k + 1]) : (row[2 * k] | row[2 * k + 1] << 8);
    return Sample8(row, k, gamma) * 65535 / 255;
  }
  void Put(std::vector<uint8_t>& out, size_t index, unsigned v8, unsigned v16) const {
    if (DstBits == 16) {
      out[2 * index] = static_cast<uint8_t>(v16);
      out[2 * index + 1] = static_cast<uint8_t>(v16 >> 8);
    } else {
      out[index] = static_cast<uint8_t>(v8);
    }
  }
};

bool Bit(uint8_t mask, size_t i) { return mask & (0x80 >> (i % 8)); }
size_t Taken(uint8_t mask, size_t count) {
  size_t n = 0;
  for (size_t i = 0; i < count; ++i) n += Bit(mask, i);
  return n;
}
uint8_t Clamp(int v) { return static_cast<uint8_t>(std::min(255, std::max(0, v))); }

std::vector<uint8_t> Random(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> v(n);
  for (uint8_t& b : v) b = static_cast<uint8_t>(rng());
  return v;
}

// Converts with the manager: interleaved source, or planes split from it.
std::vector<uint8_t> Convert(TColorManager& cm, const std::vector<uint8_t>& src, size_t channels, bool planar,
                             size_t count, uint8_t mask, size_t targetBytes, std::vector<uint8_t> target) {
  target.resize(targetBytes);
  if (!planar) {
    cm.ConvertRow(src.data(), target.data(), count, mask);
    return target;
  }
  const size_t bps = cm.SourceBits() == 16 ? 2 : 1;
  const size_t n = Taken(mask, count);
  std::vector<std::vector<uint8_t>> planes(channels, std::vector<uint8_t>(n * bps));
  for (size_t i = 0; i < n; ++i)
    for (size_t c = 0; c < channels; ++c)
      for (size_t b = 0; b < bps; ++b) planes[c][i * bps + b] = src[(i * channels + c) * bps + b];
  std::vector<const uint8_t*> ptrs;
  for (auto& p : planes) ptrs.push_back(p.data());
  cm.ConvertRow(ptrs, target.data(), count, mask);
  return target;
}

}  // namespace

TEST(ColorManagerTest, ColourConvertersMatchAPlainReference) {
  struct TCase {
    uint8_t Src, Dst;
    unsigned SrcBits, DstBits;
    bool Swap, Gamma, Planar;
    uint8_t Mask;
  };
  std::vector<TCase> cases;
  for (uint8_t src : {csRGB, csRGBA, csBGR, csBGRA, csCMYK, csCIELab, csYCbCr, csPhotoYCC})
    for (uint8_t dst : {csRGB, csBGR, csBGRA})
      for (unsigned sb : {8u, 16u})
        for (unsigned db : {8u, 16u})
          for (bool planar : {false, true})
            for (uint8_t mask : {uint8_t(0xFF), uint8_t(0x22)})
              cases.push_back(
                  {src, dst, sb, db, sb == 16 && mask == 0xFF, src <= csBGRA && db == 8 && !planar, planar, mask});
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "src " << int(c.Src) << " dst " << int(c.Dst) << " bits " << c.SrcBits << "->"
                                    << c.DstBits << " swap " << c.Swap << " gamma " << c.Gamma << " planar " << c.Planar
                                    << " mask " << int(c.Mask));
    TColorManager cm;
    const bool srcAlpha = c.Src == csRGBA || c.Src == csBGRA;
    const size_t channels = c.Src == csCMYK || srcAlpha ? 4 : 3;
    cm.SetSourceScheme(c.Src);
    cm.SetTargetScheme(c.Dst);
    cm.SetSourceBits(static_cast<uint8_t>(c.SrcBits));
    cm.SetTargetBits(static_cast<uint8_t>(c.DstBits));
    cm.SetSourceSamples(static_cast<uint8_t>(channels));
    cm.SetTargetSamples(c.Dst == csBGRA ? 4 : 3);
    cm.SetGamma(2.2f, 0.6f);
    cm.SourceOptions = c.Swap ? coNeedByteSwap : 0;
    cm.TargetOptions = c.Gamma ? coApplyGamma : 0;
    if (c.Src == csCIELab) cm.SourceOptions |= coLabByteRange | coLabChromaOffset;
    const size_t count = 37, bps = c.SrcBits / 8;
    const size_t n = Taken(c.Mask, count);
    std::vector<uint8_t> src = Random(n * channels * bps, 7 + c.Src);
    const bool dstAlpha = c.Dst == csBGRA;
    const size_t px = (dstAlpha ? 4 : 3) * (c.DstBits / 8);
    std::vector<uint8_t> before = Random(count * px, 99);
    std::vector<uint8_t> got = Convert(cm, src, channels, c.Planar, count, c.Mask, count * px, before);

    TRef ref{c.SrcBits, c.DstBits, c.Swap, c.Gamma, &cm.GammaTable()};
    std::vector<uint8_t> want = before;
    size_t k = 0;
    for (size_t i = 0; i < count; ++i) {
      if (!Bit(c.Mask, i)) continue;
      const size_t base = k * channels;
      int r, g, b;
      unsigned r16 = 0, g16 = 0, b16 = 0;
      bool wide = false;  // 16-bit RGB samples go to a 16-bit target unreduced
      auto s8 = [&](size_t ch, bool gamma) { return static_cast<int>(ref.Sample8(src.data(), base + ch, gamma)); };
      if (c.Src <= csBGRA) {
        const bool bgr = c.Src >= csBGR;
        r = s8(bgr ? 2 : 0, c.Gamma), g = s8(1, c.Gamma), b = s8(bgr ? 0 : 2, c.Gamma);
        r16 = ref.Sample16(src.data(), base + (bgr ? 2 : 0), c.Gamma);
        g16 = ref.Sample16(src.data(), base + 1, c.Gamma);
        b16 = ref.Sample16(src.data(), base + (bgr ? 0 : 2), c.Gamma);
        wide = true;
      } else if (c.Src == csCMYK) {
        const int k8 = s8(3, false);
        auto ch = [&](int x) { return Clamp(255 - (x + k8 - x * k8 / 255)); };
        r = ch(s8(0, false)), g = ch(s8(1, false)), b = ch(s8(2, false));
      } else if (c.Src == csCIELab) {
        const double l = s8(0, false) / 2.55, a = s8(1, false) - 128.0, bb = s8(2, false) - 128.0;
        const double fy = (l + 16) / 116;
        double x, y, z;
        if (l < 7.9996) {
          y = l / 903.3, x = a / 3893.5 + y, z = y - bb / 1557.4;
        } else {
          x = std::pow(a / 500 + fy, 3), y = std::pow(fy, 3), z = std::pow(fy - bb / 200, 3);
        }
        auto lv = [](double v) {
          return Clamp(static_cast<int>(std::max(-1.0, std::min(256.0, std::nearbyint(v * 255)))));
        };
        r = lv(2.998 * x - 1.458 * y - 0.541 * z);
        g = lv(-0.952 * x + 1.893 * y + 0.059 * z);
        b = lv(0.099 * x - 0.198 * y + 1.099 * z);
      } else {
        const int crOff = c.Src == csYCbCr ? 128 : 137, cbOff = c.Src == csYCbCr ? 128 : 156;
        // The manager keeps its coefficients as floats.
        const double lr = 0.299f, lg = 0.587f, lb = 0.114f, f1 = 2 - 2 * lr, f2 = 2 - 2 * lb;
        const double f3 = lr * f1 / lg, f4 = lb * f2 / lg;
        const int y = s8(0, false), cb = s8(1, false) - cbOff, cr = s8(2, false) - crOff;
        r = Clamp(y + static_cast<int>(std::nearbyint(cr * f1)));
        b = Clamp(y + static_cast<int>(std::nearbyint(cb * f2)));
        g = Clamp(y - static_cast<int>(std::nearbyint(cb * f4)) - static_cast<int>(std::nearbyint(cr * f3)));
      }
      if (!wide || c.DstBits == 8) r16 = r * 65535u / 255, g16 = g * 65535u / 255, b16 = b * 65535u / 255;
      const size_t o = i * (dstAlpha ? 4 : 3);
      const bool outBgr = c.Dst != csRGB;
      ref.Put(want, o + 0, outBgr ? b : r, outBgr ? b16 : r16);
      ref.Put(want, o + 1, g, g16);
      ref.Put(want, o + 2, outBgr ? r : b, outBgr ? r16 : b16);
      if (dstAlpha && srcAlpha) ref.Put(want, o + 3, s8(3, false), ref.Sample16(src.data(), base + 3, false));
      ++k;
    }
    EXPECT_EQ(got, want);
  }
}

TEST(ColorManagerTest, PackedAndGreyConvertersMatchAPlainReference) {
  struct TCase {
    uint8_t Scheme;
    unsigned SrcBits, DstBits;
    bool Swap, Alpha;
    uint8_t Mask;
  };
  std::vector<TCase> cases;
  for (unsigned sb : {1u, 2u, 4u, 8u, 16u})
    for (unsigned db : {1u, 4u, 8u, 16u})
      for (uint8_t mask : {uint8_t(0xFF), uint8_t(0x80), uint8_t(0x55)})
        cases.push_back({csIndexed, sb, db, sb == 16, false, mask});
  for (unsigned sb : {8u, 16u})
    for (unsigned db : {8u, 16u})
      for (bool alpha : {false, true})
        for (uint8_t mask : {uint8_t(0xFF), uint8_t(0x88)})
          cases.push_back({uint8_t(alpha ? csGA : csG), sb, db, true, alpha, mask});
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "scheme " << int(c.Scheme) << " bits " << c.SrcBits << "->" << c.DstBits
                                    << " mask " << int(c.Mask));
    TColorManager cm;
    cm.SetSourceScheme(c.Scheme);
    cm.SetTargetScheme(c.Scheme == csIndexed ? csIndexed : csG);
    cm.SetSourceBits(static_cast<uint8_t>(c.SrcBits));
    cm.SetTargetBits(static_cast<uint8_t>(c.DstBits));
    cm.SetSourceSamples(1);
    cm.SetTargetSamples(1);
    cm.SourceOptions = c.Swap ? coNeedByteSwap : 0;
    const size_t count = 29;
    const size_t n = Taken(c.Mask, count);
    const size_t stride = c.Alpha ? 2 : 1;
    std::vector<uint8_t> src = Random((n * stride * c.SrcBits + 7) / 8 + 2, 3);
    const size_t targetBytes = (count * c.DstBits + 7) / 8;
    std::vector<uint8_t> before = Random(targetBytes, 5);
    std::vector<uint8_t> got = before;
    cm.ConvertRow(src.data(), got.data(), count, c.Mask);

    std::vector<uint8_t> want = before;
    auto srcValue = [&](size_t k) -> unsigned {
      if (c.SrcBits == 16) {
        const uint8_t* p = &src[2 * k * stride];
        return c.Swap ? (p[0] << 8 | p[1]) : (p[0] | p[1] << 8);
      }
      if (c.SrcBits == 8) return src[k * stride];
      unsigned v = 0;
      for (unsigned b = 0; b < c.SrcBits; ++b) {
        const size_t bit = k * c.SrcBits + b;
        v = v << 1 | ((src[bit / 8] >> (7 - bit % 8)) & 1);
      }
      return v;
    };
    const unsigned srcMax = c.SrcBits == 16 ? 65535 : (1u << c.SrcBits) - 1;
    const unsigned dstMax = c.DstBits == 16 ? 65535 : (1u << c.DstBits) - 1;
    size_t k = 0;
    for (size_t i = 0; i < count; ++i) {
      if (!Bit(c.Mask, i)) continue;
      const unsigned v = srcValue(k++);
      unsigned out = v * dstMax / srcMax;
      if (c.Scheme != csIndexed && c.SrcBits == 16 && c.DstBits == 8) out = v * 255 / 65535;
      if (c.DstBits == 16) {
        want[2 * i] = static_cast<uint8_t>(out);
        want[2 * i + 1] = static_cast<uint8_t>(out >> 8);
      } else {
        for (unsigned b = 0; b < c.DstBits; ++b) {
          const size_t bit = i * c.DstBits + b;
          const uint8_t m = static_cast<uint8_t>(0x80 >> (bit % 8));
          if ((out >> (c.DstBits - 1 - b)) & 1)
            want[bit / 8] |= m;
          else
            want[bit / 8] &= static_cast<uint8_t>(~m);
        }
      }
    }
    // Bits past the last pixel (row padding) may be copied along with a whole row.
    if (c.DstBits < 8 && count * c.DstBits % 8) {
      const uint8_t keep = static_cast<uint8_t>(0xFF00 >> (count * c.DstBits % 8));
      got.back() &= keep;
      want.back() &= keep;
    }
    EXPECT_EQ(got, want);
  }
}

TEST(ColorManagerTest, FixedPointsOfTheColourFormulas) {
  struct TCase {
    const char* Name;
    uint8_t Scheme;
    uint8_t Options;
    std::vector<uint8_t> Pixel;
    std::vector<uint8_t> Bgr;
  } cases[] = {
      {"CMYK none is white", csCMYK, 0, {0, 0, 0, 0}, {255, 255, 255}},
      {"full K is black", csCMYK, 0, {10, 200, 77, 255}, {0, 0, 0}},
      {"Lab zero is black", csCIELab, 0, {0, 0, 0}, {0, 0, 0}},
      {"Lab full lightness is white", csCIELab, coLabByteRange, {255, 0, 0}, {255, 255, 255}},
      {"YCbCr neutral is grey", csYCbCr, 0, {90, 128, 128}, {90, 90, 90}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TColorManager cm;
    cm.SetSourceScheme(c.Scheme);
    cm.SetSourceSamples(static_cast<uint8_t>(c.Pixel.size()));
    cm.SetTargetScheme(csBGR);
    cm.SourceOptions = c.Options;
    std::vector<uint8_t> out(3);
    cm.ConvertRow(c.Pixel.data(), out.data(), 1, 0xFF);
    EXPECT_EQ(out, c.Bgr);
  }
}

TEST(ColorManagerTest, GammaTablePalettesAndRefusals) {
  TColorManager cm;
  EXPECT_EQ(cm.GammaTable()[255], 255);
  EXPECT_EQ(cm.GammaTable()[128], 186);
  // A file gamma of 1/2.2 under a first value of 2.2 is the identity; NaN counts as no value.
  cm.SetGamma(2.2f, 1 / 2.2f);
  for (int i = 0; i < 256; ++i) ASSERT_EQ(cm.GammaTable()[static_cast<size_t>(i)], i);
  cm.SetGamma(NAN, -1);
  EXPECT_EQ(cm.GammaTable()[128], 186);

  cm.SetTargetBits(4);
  cm.SetTargetSamples(1);
  HPALETTE grey = cm.MakeGreyPalette(true);
  ASSERT_EQ(PaletteEntryCount(grey), 16);
  EXPECT_EQ(grey->Entries[0].peRed, 255);
  EXPECT_EQ(grey->Entries[15].peRed, 0);
  EXPECT_EQ(grey->Entries[14].peGreen, 17);

  // Two-bit indices on a 4-bit bitmap: the palette is spread so index v*5 shows colour v; a
  // short palette is padded with black.
  TColorManager pal;
  pal.SetSourceBits(2);
  pal.SetTargetBits(4);
  const uint8_t rgb[] = {10, 20, 30, 40, 50, 60, 70, 80, 90};
  const uint8_t* data = rgb;
  HPALETTE p = pal.MakeColourPalette({&data, 1}, 0, 3, false);
  ASSERT_EQ(PaletteEntryCount(p), 16);
  EXPECT_EQ(p->Entries[5], (TPaletteEntry{40, 50, 60, 0}));
  EXPECT_EQ(p->Entries[10], (TPaletteEntry{70, 80, 90, 0}));
  EXPECT_EQ(p->Entries[15], (TPaletteEntry{0, 0, 0, 0}));
  HPALETTE reversed = pal.MakeColourPalette({&data, 1}, 0, 3, true);
  EXPECT_EQ(reversed->Entries[0], (TPaletteEntry{30, 20, 10, 0}));

  auto message = [](const std::function<void()>& f) -> std::string {
    try {
      f();
    } catch (const EColorConversionError& e) {
      return e.what();
    }
    return "no error";
  };
  TColorManager bad;
  EXPECT_NO_THROW(bad.SetSourceBits(5));
  EXPECT_EQ(message([&] { bad.SetSourceBits(17); }),
            "Color depth is invalid. Bits per sample must be 1, 2, 4, 8 or 16.");
  EXPECT_EQ(message([&] { bad.SetTargetSamples(2); }),
            "Sample count per pixel does not correspond to the given color scheme.");
  EXPECT_EQ(message([&] { bad.SetYCbCrSettings({}, 3, 1); }), "Subsampling value is invalid. Allowed are 1, 2 and 4.");
  EXPECT_EQ(message([&] { bad.SetYCbCrSettings({}, 1, 2); }),
            "Vertical subsampling value must be <= horizontal subsampling value.");
  uint8_t row[16] = {};
  uint8_t out[64] = {};
  // 5-bit RGB has no converter: refused, not read past the row.
  EXPECT_EQ(message([&] { bad.ConvertRow(row, out, 4, 0xFF); }),
            "Color conversion failed. Could not find a proper method.");
  bad.SetSourceBits(8);
  bad.SetSourceScheme(csIndexed);
  EXPECT_EQ(message([&] { bad.ConvertRow(row, out, 4, 0xFF); }),
            "Conversion between indexed and non-indexed pixel formats is not supported.");
  // RGBA named for a file that stores three samples a pixel would read past the row.
  bad.SetSourceScheme(csRGBA);
  bad.SetSourceSamples(3);
  EXPECT_EQ(message([&] { bad.ConvertRow(row, out, 4, 0xFF); }),
            "Sample count per pixel does not correspond to the given color scheme.");
}
