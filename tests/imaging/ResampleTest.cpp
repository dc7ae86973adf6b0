#include <gtest/gtest.h>

#include <array>
#include <sstream>

#include "ImagingTestSupport.h"
#include "imaging/resample.h"
#include "platform/Exceptions.h"

using namespace imgtest;

namespace {
// The peer's name for each row of our filter table.
const char* const PeerFilterName[ResampleFilterCount] = {"Box",    "Triangle", "Hermite", "Quadratic",
                                                         "Spline", "Lanczos",  "Mitchell"};
}  // namespace

TEST(ResampleFilters, EqualThePeersFilterTables) {
  SKIP_WITHOUT_PEER(Convert);
  for (int f = 0; f < ResampleFilterCount; ++f) {
    std::istringstream in(RunCommand(std::string(Convert) + " null: -define filter:verbose=1 -filter " +
                                     PeerFilterName[f] + " -resize 2x2 null:"));
    std::vector<std::pair<float, double>> points;
    float t;
    double w;
    for (std::string line; std::getline(in, line);)
      if (!line.empty() && line[0] != '#' && std::istringstream(line) >> t >> w) points.emplace_back(t, w);
    ASSERT_GT(points.size(), 40u) << PeerFilterName[f];
    points.pop_back();  // the last line repeats the support with the weight just outside it
    EXPECT_NEAR(points.back().first, ResampleFilters[f].Width, 0.011) << ResampleFilters[f].Name;
    for (auto [x, weight] : points) {
      EXPECT_NEAR(ResampleFilters[f].Filter(x), weight, 1e-5) << ResampleFilters[f].Name << " at " << x;
      if (f != 0) {  // the box is half-open on purpose
        EXPECT_EQ(ResampleFilters[f].Filter(-x), ResampleFilters[f].Filter(x)) << ResampleFilters[f].Name;
      }
    }
  }
}

// Our resampler aligns the end pixels and does not normalise its weights; the peer centres
// pixel areas and normalises. They still agree closely on real pictures, except the box filter:
// enlarging, its different phase picks a neighbouring pixel for a third of the destination;
// reducing, its unnormalised weights band the picture.
TEST(ResamplePeer, PsnrAgainstThePeerOnBuiltInPictures) {
  SKIP_WITHOUT_PEER(Convert);
  TScratchDir s("imaging");
  for (const char* name : {"rose", "wizard", "logo", "granite"}) {
    const TBitmap base = PeerPicture(s, name, 256, 256), small = PeerPicture(s, name, 64, 64);
    ASSERT_FALSE(base.Empty() || small.Empty());
    SavePixmap(small, s / "small.ppm");
    SavePixmap(base, s / "base.ppm");
    for (int f = 0; f < ResampleFilterCount; ++f) {
      double psnr[2];
      for (int down = 0; down < 2; ++down) {
        TBitmap src = down ? base : small;
        const int size = down ? 100 : 256;
        TBitmap ours(size, size);
        Stretch(src, ours, ResampleFilters[f].Filter, ResampleFilters[f].Width);
        RunCommand(std::string(Convert) + " " + (s / (down ? "base.ppm" : "small.ppm")) + " -filter " +
                   PeerFilterName[f] + " -resize " + std::to_string(size) + "x" + std::to_string(size) + "! " +
                   (s / "peer.ppm"));
        psnr[down] = Psnr(ours, LoadPixmap(s / "peer.ppm"));
      }
      EXPECT_GE(psnr[0], f == 0 ? 24.0 : 31.0) << name << " " << ResampleFilters[f].Name << " enlarging";
      if (f != 0) {
        EXPECT_GE(psnr[1], 30.0) << name << " " << ResampleFilters[f].Name << " reducing";
      }
      std::printf("PSNR %-8s %-9s 64->256 %.2f dB  256->100 %.2f dB\n", name, ResampleFilters[f].Name, psnr[0],
                  psnr[1]);
    }
  }
}

TEST(ResampleEdges, CornersUniformColourAndCopies) {
  // Enlarging keeps the corner pixels (the end pixels are aligned).
  TBitmap src = Picture(64, 64, 7);
  TBitmap dst(256, 256);
  Stretch(src, dst);
  for (auto [sx, sy, dx, dy] : {std::array{0, 0, 0, 0}, {63, 0, 255, 0}, {0, 63, 0, 255}, {63, 63, 255, 255}})
    for (int c = 0; c < 3; ++c)
      EXPECT_NEAR(dst.ScanLine(dy)[3 * dx + c], src.ScanLine(sy)[3 * sx + c], 1) << dx << "," << dy;

  // A uniform colour stays nearly uniform. Reducing, the stretched filters' weights no longer
  // sum to one (box and triangle are off by up to a quarter and a tenth); the editor reduces with
  // Lanczos3 only.
  for (int f = 0; f < ResampleFilterCount; ++f)
    for (auto [sw, dw] : {std::pair{40, 97}, {3, 50}, {97, 40}}) {
      if (dw < sw && f != 5) continue;
      TBitmap u = Uniform(sw, sw, 200, 100, 30), out(dw, dw);
      Stretch(u, out, ResampleFilters[f].Filter, ResampleFilters[f].Width);
      for (int y = 0; y < dw; ++y)
        for (int x = 0; x < dw; ++x) {
          const uint8_t* p = out.ScanLine(y) + 3 * x;
          ASSERT_TRUE(std::abs(p[2] - 200) <= 6 && std::abs(p[1] - 100) <= 4 && std::abs(p[0] - 30) <= 2)
              << ResampleFilters[f].Name << " " << sw << "->" << dw << " at " << x << "," << y;
        }
    }

  // Box at a scale of one copies; a destination of another format becomes 24-bit.
  TBitmap copy(64, 64, TPixelFormat::pf8bit);
  Stretch(src, copy, BoxFilter, 0.5f);
  EXPECT_TRUE(copy.SameAs(src));
}

TEST(ResampleEdges, HalvesRoundToEven) {
  // Two pixels to three puts the middle one halfway: sums of 1.5, 2.5 and 0.5.
  TBitmap src(2, 1), dst(3, 1);
  const uint8_t pixels[6] = {1, 2, 0, 2, 3, 1};
  std::copy_n(pixels, 6, src.ScanLine(0));
  Stretch(src, dst, TriangleFilter, 1.0f);
  EXPECT_EQ(dst.ScanLine(0)[3], 2);
  EXPECT_EQ(dst.ScanLine(0)[4], 2);
  EXPECT_EQ(dst.ScanLine(0)[5], 0);
}

TEST(ResampleEdges, TinySourcesSingleRowsAndEmptyBitmaps) {
  TBitmap one = Uniform(1, 1, 10, 20, 30), big(5, 4);
  Stretch(one, big, TriangleFilter, 1.0f);
  EXPECT_EQ(big.ScanLine(3)[3 * 4 + 2], 10);
  // Sources smaller than Lanczos3's reach: mirrored indices must stay inside the source (the
  // sanitizer build would see a read outside).
  for (int sw : {1, 2, 3}) {
    TBitmap src = Picture(sw, sw, 3), wide(50, 7), dot(1, 1);
    EXPECT_NO_THROW(Stretch(src, wide));
    EXPECT_NO_THROW(Stretch(src, dot));
  }
  // One pixel wide or high takes the whole source into account: with the box filter, the mean.
  TBitmap src(4, 3), col(1, 3), row(4, 1), dot(1, 1);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) src.ScanLine(y)[3 * x] = static_cast<uint8_t>(10 * x + 100 * y);
  Stretch(src, col, BoxFilter, 0.5f);
  Stretch(src, row, BoxFilter, 0.5f);
  Stretch(src, dot, BoxFilter, 0.5f);
  for (int y = 0; y < 3; ++y) EXPECT_EQ(col.ScanLine(y)[0], 15 + 100 * y);
  for (int x = 0; x < 4; ++x) EXPECT_EQ(row.ScanLine(0)[3 * x], 100 + 10 * x);
  EXPECT_EQ(dot.ScanLine(0)[0], 115);

  TBitmap empty, dst(4, 4);
  try {
    Stretch(empty, dst);
    ADD_FAILURE() << "an empty source was accepted";
  } catch (const EInvalidGraphic& e) {
    EXPECT_STREQ(e.what(), "Source bitmap too small");
  }
  for (auto [w, h] : {std::pair{0, 0}, {0, 5}, {5, 0}}) {
    TBitmap none(w, h);
    EXPECT_THROW(Stretch(src, none), EInvalidGraphic) << w << "x" << h;
  }
  StretchTo(src, src, 9, 2);  // in place, through a temporary
  EXPECT_EQ(src.Width(), 9);
  EXPECT_EQ(src.Height(), 2);
}

namespace {
// The resampler written the plain way, one channel of one pixel at a time, column by column and
// then row by row, in the same 32-bit float arithmetic. The fast one interleaves columns, pads
// lists and reads several channels at once; it must give the very same bytes.
std::vector<std::pair<int, float>> PlainList(int S, int D, int i, TFilterProc F, float Width) {
  const float scale = S == 1 ? float(D) / float(S) : float(D - 1) / float(S - 1);
  const float center = float(i) / scale;
  const float w = scale >= 1.0f ? Width : Width / scale, s = 1.0f / scale;
  std::vector<std::pair<int, float>> list;
  for (long j = long(std::floor(center - w)); j <= long(std::ceil(center + w)); ++j) {
    const float weight = scale >= 1.0f ? F(center - float(j)) : F((center - float(j)) / s) / s;
    if (weight == 0.0f) continue;
    const long n = j < 0 ? -j : j >= S ? 2 * S - j - 1 : j;
    list.emplace_back(int(std::clamp(n, 0L, long(S - 1))), weight);
  }
  return list;
}

uint8_t PlainByte(float v) { return v > 255.0f ? 255 : v < 0.0f ? 0 : uint8_t(std::nearbyint(v)); }

TBitmap PlainStretch(const TBitmap& src, int DW, int DH, TFilterProc F, float Width) {
  const int SW = src.Width(), SH = src.Height();
  TBitmap inter(DW, SH), dst(DW, DH);
  for (int y = 0; y < SH; ++y)
    for (int x = 0; x < DW; ++x) {
      const auto list = PlainList(SW, DW, x, F, Width);
      for (int c = 0; c < 3; ++c) {
        float sum = 0.0f;
        for (auto [n, wt] : list) sum += float(src.ScanLine(y)[3 * n + c]) * wt;
        inter.ScanLine(y)[3 * x + c] = PlainByte(sum);
      }
    }
  for (int x = 0; x < DW; ++x)
    for (int y = 0; y < DH; ++y) {
      const auto list = PlainList(SH, DH, y, F, Width);
      for (int c = 0; c < 3; ++c) {
        float sum = 0.0f;
        for (auto [n, wt] : list) sum += float(inter.ScanLine(n)[3 * x + c]) * wt;
        dst.ScanLine(y)[3 * x + c] = PlainByte(sum);
      }
    }
  return dst;
}
}  // namespace

TEST(ResamplePlain, SameBytesAsThePlainArithmetic) {
  // Enlarging and reducing, odd widths that leave partial groups of four, sources smaller than
  // the filter's reach (mirrored and clamped indices), a one-pixel source, and sources wide
  // enough that the columns are worked in several runs (also when one column reaches them all).
  const std::array<int, 4> sizes[] = {{37, 23, 101, 58},   {101, 58, 37, 23}, {2, 3, 13, 11},
                                      {1, 1, 6, 5},        {64, 64, 63, 65},  {9, 200, 5, 7},
                                      {3000, 40, 700, 30}, {2100, 17, 2, 3},  {300, 20, 2500, 45}};
  for (int f = 0; f < ResampleFilterCount; ++f)
    for (auto [sw, sh, dw, dh] : sizes) {
      TBitmap src = Picture(sw, sh, static_cast<uint32_t>(sw * 7 + f)), dst(dw, dh);
      const TBitmap want = PlainStretch(src, dw, dh, ResampleFilters[f].Filter, ResampleFilters[f].Width);
      Stretch(src, dst, ResampleFilters[f].Filter, ResampleFilters[f].Width);
      for (int y = 0; y < dh; ++y)
        for (int x = 0; x < 3 * dw; ++x)
          ASSERT_EQ(dst.ScanLine(y)[x], want.ScanLine(y)[x]) << ResampleFilters[f].Name << " " << sw << "x" << sh
                                                             << "->" << dw << "x" << dh << " at byte " << x << "," << y;
    }
}

TEST(ResampleEdges, RefusalsLeaveBothBitmapsAlone) {
  auto check = [](TBitmap& src, TBitmap& dst, float width, const char* message) {
    const TBitmap srcBefore = src, dstBefore = dst;
    try {
      Stretch(src, dst, Lanczos3Filter, width);
      ADD_FAILURE() << "accepted; wanted \"" << message << "\"";
    } catch (const Exception& e) {
      EXPECT_STREQ(e.what(), message);
    }
    EXPECT_TRUE(src.SameAs(srcBefore)) << message;
    EXPECT_TRUE(dst.SameAs(dstBefore)) << message;
  };
  TBitmap src(30, 20, TPixelFormat::pf8bit), dst(7, 9, TPixelFormat::pf4bit);
  for (float width : {std::nanf(""), -1.0f, INFINITY}) check(src, dst, width, "Invalid filter width");
  // A finite but absurd support: its lists would be without bound.
  check(src, dst, 1e30f, "Not enough storage is available to process this command");
  // The intermediate image is the destination's width by the source's height: a tall thin
  // source to a long single row needs 20000 x 20000 pixels, more than any bitmap may have.
  TBitmap tall(1, 20000, TPixelFormat::pf8bit), longRow(20000, 1, TPixelFormat::pf8bit);
  check(tall, longRow, 3.0f, "Not enough storage is available to process this command");
}
