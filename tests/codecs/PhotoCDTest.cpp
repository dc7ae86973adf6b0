// Photo-CD: the base image of packs written by ImageMagick, the quarter turns patched into
// their header, an overview pack built by hand, and files too short to hold a pack.
#include <gtest/gtest.h>

#include <cstring>

#include "codecs/PCDGraphic.h"
#include "tests/codecs/CodecTestSupport.h"

using namespace codectest;

namespace {
// Pixels beyond tol per channel, as a share of all pixels.
double MismatchShare(const TBitmap& g, const TRgbImage& ref, int tol) {
  if (g.Width() != ref.Width || g.Height() != ref.Height) return 1.0;
  int bad = 0;
  for (int y = 0; y < ref.Height; ++y)
    for (int x = 0; x < ref.Width; ++x) {
      const TColor a = g.Pixel(x, y), b = ref.At(x, y);
      bad += std::abs(GetRValue(a) - GetRValue(b)) > tol || std::abs(GetGValue(a) - GetGValue(b)) > tol ||
             std::abs(GetBValue(a) - GetBValue(b)) > tol;
    }
  return static_cast<double>(bad) / (ref.Width * ref.Height);
}
}  // namespace

TEST(PhotoCDTest, BaseImageAndQuarterTurnsMatchImageMagick) {
  CORVANE_REQUIRE_TOOL(kConvert);
  TScratchDir dir;
  const std::string pcd = dir / "base.pcd";
  ASSERT_EQ(RunPeer(std::string(kConvert) +
                    " -size 768x512 gradient:red-blue -swirl 90 -fill white -draw 'rectangle 0,0 99,49' pcd:" + pcd),
            0);
  const std::vector<uint8_t> base = ReadBytes(pcd);
  // The peer scales luminance and chroma by Kodak's factors where our colour manager uses its
  // YCbCr tables with Photo-YCC's offsets: up to 16 levels apart, and no more anywhere; a turned,
  // mirrored or shifted picture, or swapped channels, would put many pixels far off.
  const struct {
    uint8_t Rotation;
    const char* Turn;  // how the peer's upright decode is turned to match
    int Width, Height;
  } cases[] = {{0, "", 768, 512},
               {1, "-rotate -90", 512, 768},
               {2, "-rotate 180", 768, 512},
               {3, "-rotate 90", 512, 768}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Rotation);
    std::vector<uint8_t> data = base;
    data[0xE02] = static_cast<uint8_t>((data[0xE02] & ~3) | c.Rotation);
    TPCDGraphic g;
    ASSERT_EQ(LoadError(g, data), "");
    ASSERT_EQ(g.Width(), c.Width);
    ASSERT_EQ(g.Height(), c.Height);
    const std::string ppm = dir / "peer.ppm";
    const TRgbImage peer = PeerPixmap(std::string(kConvert) + " " + pcd + " " + c.Turn + " -depth 8 ppm:" + ppm, ppm);
    EXPECT_EQ(MismatchShare(g, peer, 16), 0.0);
  }
}

TEST(PhotoCDTest, OverviewPackAndShortFiles) {
  // An overview pack: a 192x128 thumbnail from sector 5, luminance rising along each row, no
  // colour (the chroma values that mean grey).
  std::vector<uint8_t> pack(5 * 2048, 0);
  std::memcpy(pack.data(), "PCD_OPA", 7);
  for (int pair = 0; pair < 64; ++pair) {
    for (int row = 0; row < 2; ++row)
      for (int x = 0; x < 192; ++x) pack.push_back(static_cast<uint8_t>(x + row));
    pack.insert(pack.end(), 96, 156);
    pack.insert(pack.end(), 96, 137);
  }
  TPCDGraphic g;
  ASSERT_EQ(LoadError(g, pack), "");
  EXPECT_TRUE(g.Overview);
  ASSERT_EQ(g.Width(), 192);
  ASSERT_EQ(g.Height(), 128);
  EXPECT_EQ(g.Pixel(0, 0), RGBColor(0, 0, 0));
  EXPECT_EQ(g.Pixel(100, 7), RGBColor(101, 101, 101));

  const struct {
    const char* Name;
    size_t Size;
    const char* Error;  // nullptr loads empty
  } cases[] = {{"header only", 6144, nullptr}, {"thumbnail cut short", pack.size() - 1, "image rows"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<uint8_t> data(pack.begin(), pack.begin() + static_cast<std::ptrdiff_t>(c.Size));
    TPCDGraphic s;
    EXPECT_EQ(s.CanLoad(data.data(), data.size()), c.Size > 6144);
    const std::string error = LoadError(s, data);
    if (c.Error)
      EXPECT_NE(error.find(c.Error), std::string::npos) << error;
    else
      EXPECT_EQ(error, "");
    EXPECT_TRUE(s.Empty());
  }
}
