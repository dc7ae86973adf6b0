#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "ImagingTestSupport.h"
#include "imaging/resample.h"
#include "platform/Exceptions.h"

using namespace imgtest;

namespace {

// Our filter name and the peer's name for the same function.
const char* const PeerFilterName[ResampleFilterCount] = {"Box",    "Triangle", "Hermite", "Quadratic",
                                                         "Spline", "Lanczos",  "Mitchell"};

TBitmap Gradient(int w, int h) {
  TBitmap bmp(w, h, TPixelFormat::pf24bit);
  TRandom rnd(7);
  for (int y = 0; y < h; ++y) {
    uint8_t* d = bmp.ScanLine(y);
    for (int x = 0; x < w; ++x) {
      d[3 * x] = static_cast<uint8_t>(x * 255 / std::max(1, w - 1));
      d[3 * x + 1] = static_cast<uint8_t>(y * 255 / std::max(1, h - 1));
      d[3 * x + 2] = rnd.Byte();
    }
  }
  return bmp;
}

}  // namespace

TEST(ResampleFilters, EqualThePeersFilterTables) {
  if (!HavePeer(Convert)) return;
  for (int f = 0; f < ResampleFilterCount; ++f) {
    std::string out = RunCommand(std::string(Convert) + " null: -define filter:verbose=1 -filter " + PeerFilterName[f] +
                          " -resize 2x2 null:");
    std::istringstream in(out);
    std::string line;
    std::vector<std::pair<float, double>> points;
    while (std::getline(in, line)) {
      if (line.empty() || line[0] == '#') continue;
      std::istringstream ls(line);
      float t;
      double w;
      if (ls >> t >> w) points.emplace_back(t, w);
    }
    // The last line repeats the support with the weight just outside it.
    ASSERT_GT(points.size(), 40u) << PeerFilterName[f] << ": no table in\n" << out;
    points.pop_back();
    EXPECT_NEAR(points.back().first, ResampleFilters[f].Width, 0.011) << ResampleFilters[f].Name;
    double worst = 0.0;
    for (auto [t, w] : points) {
      double ours = ResampleFilters[f].Filter(t);
      worst = std::max(worst, std::fabs(ours - w));
      EXPECT_NEAR(ours, w, 1e-5) << ResampleFilters[f].Name << " at " << t;
      if (f != 0) {  // the box is half-open on purpose
        EXPECT_EQ(ResampleFilters[f].Filter(-t), ours) << ResampleFilters[f].Name << " is not even at " << t;
      }
    }
    RecordProperty(std::string(ResampleFilters[f].Name) + "_max_difference", std::to_string(worst));
  }
}

TEST(ResampleFilters, BoxKeepsOneSourcePixelPerStep) {
  EXPECT_EQ(BoxFilter(0.5f), 1.0f);
  EXPECT_EQ(BoxFilter(-0.5f), 0.0f);
  EXPECT_EQ(Lanczos3Filter(0.0f), 1.0f);
  EXPECT_EQ(Lanczos3Filter(3.0f), 0.0f);
}

// Our resampler aligns the end pixels and does not normalise its weights; the peer centres
// pixel areas and normalises. The two still agree closely on real pictures. The box filter
// picks a neighbouring source pixel for about a third of the destination when enlarging (its
// phase differs), and its unnormalised weights band the picture when reducing.
TEST(ResamplePeer, PsnrAgainstThePeerOnBuiltInPictures) {
  if (!HavePeer(Convert)) return;
  TScratch s;
  for (const char* name : {"rose", "wizard", "logo", "granite"}) {
    TBitmap base = PeerPicture(s, name, 256, 256);
    ASSERT_FALSE(base.Empty());
    TBitmap small = PeerPicture(s, name, 64, 64);
    ASSERT_FALSE(small.Empty());
    SavePixmap(small, s.File("small.ppm"));
    SavePixmap(base, s.File("base.ppm"));
    for (int f = 0; f < ResampleFilterCount; ++f) {
      const std::string peer = PeerFilterName[f];
      // Enlarging 64 -> 256.
      TBitmap src = small;
      TBitmap ours(256, 256);
      Stretch(src, ours, ResampleFilters[f].Filter, ResampleFilters[f].Width);
      RunCommand(std::string(Convert) + " " + s.File("small.ppm") + " -filter " + peer + " -resize 256x256! " +
                 s.File("up.ppm"));
      double up = Psnr(ours, LoadPixmap(s.File("up.ppm")));
      EXPECT_GE(up, f == 0 ? 24.0 : 31.0) << name << " " << ResampleFilters[f].Name << " enlarging";
      // Reducing 256 -> 100.
      src = base;
      TBitmap down(100, 100);
      Stretch(src, down, ResampleFilters[f].Filter, ResampleFilters[f].Width);
      RunCommand(std::string(Convert) + " " + s.File("base.ppm") + " -filter " + peer + " -resize 100x100! " +
                 s.File("down.ppm"));
      double dn = Psnr(down, LoadPixmap(s.File("down.ppm")));
      if (f != 0) {
        EXPECT_GE(dn, 30.0) << name << " " << ResampleFilters[f].Name << " reducing";
      }
      std::printf("PSNR %-8s %-9s up %.2f dB  down %.2f dB\n", name, ResampleFilters[f].Name, up, dn);
    }
  }
}

TEST(ResampleEdges, EnlargingKeepsTheCornerPixels) {
  TBitmap src = Gradient(64, 64);
  TBitmap dst(256, 256);
  Stretch(src, dst);
  for (auto [sx, sy, dx, dy] : {std::array{0, 0, 0, 0}, {63, 0, 255, 0}, {0, 63, 0, 255}, {63, 63, 255, 255}})
    for (int c = 0; c < 3; ++c)
      EXPECT_NEAR(dst.ScanLine(dy)[3 * dx + c], src.ScanLine(sy)[3 * sx + c], 1) << dx << "," << dy;
}

TEST(ResampleEdges, UniformSourceStaysNearlyUniformWithEveryFilter) {
  for (int f = 0; f < ResampleFilterCount; ++f)
    for (auto [sw, dw] : {std::pair{40, 97}, {97, 40}, {3, 50}}) {
      // Reducing, the stretched filters' weights no longer sum to one (box and triangle by up to
      // a quarter and a tenth); the editor reduces with Lanczos3 only.
      if (dw < sw && f != 5) continue;
      TBitmap src = Uniform(sw, sw, 200, 100, 30);
      TBitmap dst(dw, dw);
      Stretch(src, dst, ResampleFilters[f].Filter, ResampleFilters[f].Width);
      for (int y = 0; y < dw; ++y)
        for (int x = 0; x < dw; ++x) {
          const uint8_t* p = dst.ScanLine(y) + 3 * x;
          ASSERT_NEAR(p[2], 200, 6) << ResampleFilters[f].Name << " " << sw << "->" << dw;
          ASSERT_NEAR(p[1], 100, 4) << ResampleFilters[f].Name;
          ASSERT_NEAR(p[0], 30, 2) << ResampleFilters[f].Name;
        }
    }
}

TEST(ResampleEdges, BoxAtScaleOneCopiesAndOtherFormatsAreConverted) {
  TBitmap src = Gradient(33, 17);
  TBitmap dst(33, 17, TPixelFormat::pf8bit);
  Stretch(src, dst, BoxFilter, 0.5f);
  EXPECT_EQ(dst.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_TRUE(dst.SameAs(src));
}

TEST(ResampleEdges, HalvesRoundToEven) {
  // Enlarging two pixels to three puts the middle one halfway: weights 0.5 and 0.5.
  TBitmap src(2, 1);
  uint8_t* s = src.ScanLine(0);
  const uint8_t left[3] = {1, 2, 0}, right[3] = {2, 3, 1};
  for (int c = 0; c < 3; ++c) {
    s[c] = left[c];
    s[3 + c] = right[c];
  }
  TBitmap dst(3, 1);
  Stretch(src, dst, TriangleFilter, 1.0f);
  const uint8_t* m = dst.ScanLine(0) + 3;
  EXPECT_EQ(m[0], 2);  // 1.5
  EXPECT_EQ(m[1], 2);  // 2.5
  EXPECT_EQ(m[2], 0);  // 0.5
}

TEST(ResampleEdges, TinySourcesAndSingleRowsOrColumns) {
  // A 1x1 source is accepted and spreads its colour.
  TBitmap one = Uniform(1, 1, 10, 20, 30);
  TBitmap big(5, 4);
  Stretch(one, big, TriangleFilter, 1.0f);
  EXPECT_EQ(big.ScanLine(3)[3 * 4 + 2], 10);

  // Sources smaller than Lanczos3's reach: mirrored indices stay inside the source.
  for (int sw : {1, 2, 3}) {
    TBitmap src = Gradient(sw, sw);
    TBitmap dst(50, 7);
    EXPECT_NO_THROW(Stretch(src, dst));
    TBitmap dst2(1, 1);
    EXPECT_NO_THROW(Stretch(src, dst2));
  }

  // A destination one pixel wide or high takes the whole source into account: with the box
  // filter it is the mean.
  TBitmap src(4, 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) src.ScanLine(y)[3 * x] = static_cast<uint8_t>(10 * x + 100 * y);
  TBitmap col(1, 3);
  Stretch(src, col, BoxFilter, 0.5f);
  for (int y = 0; y < 3; ++y) EXPECT_EQ(col.ScanLine(y)[0], 15 + 100 * y);
  TBitmap row(4, 1);
  Stretch(src, row, BoxFilter, 0.5f);
  for (int x = 0; x < 4; ++x) EXPECT_EQ(row.ScanLine(0)[3 * x], 100 + 10 * x);
  TBitmap dot(1, 1);
  Stretch(src, dot, BoxFilter, 0.5f);
  EXPECT_EQ(dot.ScanLine(0)[0], 115);
}

TEST(ResampleEdges, EmptyBitmapsRaise) {
  TBitmap empty;
  TBitmap dst(4, 4);
  try {
    Stretch(empty, dst);
    ADD_FAILURE() << "an empty source was accepted";
  } catch (const EInvalidGraphic& e) {
    EXPECT_STREQ(e.what(), "Source bitmap too small");
  }
  TBitmap src = Gradient(4, 4);
  for (auto [w, h] : {std::pair{0, 0}, {0, 5}, {5, 0}}) {
    TBitmap none(w, h);
    EXPECT_THROW(Stretch(src, none), EInvalidGraphic) << w << "x" << h;
  }
  // Resizing in place works through a temporary.
  StretchTo(src, src, 9, 2);
  EXPECT_EQ(src.Width(), 9);
  EXPECT_EQ(src.Height(), 2);
}
