// DevIL, an independent reader of texture packages, must see our textures as we wrote them:
// the same width, height and level-0 palette indices. (Its palette handling is known to be
// wrong, so palettes are not compared with it.)
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "packages/MipMaps.h"
#include "packages/TexturePackage.h"
#include "tests/packages/PackageTestSupport.h"
#include "tests/support/PeerTools.h"

using namespace pkgtest;

namespace {
struct TDevilImage {
  int Width = 0, Height = 0, Format = 0, BytesPerPixel = 0;
  std::string Origin;
  std::vector<uint8_t> Pixels;
};

// Runs the probe on File; false (with a test failure) when it cannot.
bool RunDevil(const fs::path& File, TDevilImage& Out) {
  const std::string probe = CORVANE_DEVIL_PROBE;
  const fs::path out = File.string() + ".pixels";
  const std::string cmd = "'" + probe + "' '" + File.string() + "' '" + out.string() + "' 2>&1";
  FILE* pipe = ::popen(cmd.c_str(), "r");
  if (!pipe) {
    ADD_FAILURE() << "cannot run " << probe;
    return false;
  }
  char line[256] = {};
  const bool got = std::fgets(line, sizeof line, pipe) != nullptr;
  const int status = ::pclose(pipe);
  if (!got || status != 0) {
    ADD_FAILURE() << "DevIL did not read " << File << ": " << line;
    return false;
  }
  char origin[16] = {};
  if (std::sscanf(line, "%d %d %x %d %15s", &Out.Width, &Out.Height, &Out.Format, &Out.BytesPerPixel, origin) != 5) {
    ADD_FAILURE() << "unexpected probe output: " << line;
    return false;
  }
  Out.Origin = origin;
  std::ifstream f(out, std::ios::binary);
  Out.Pixels.assign(std::istreambuf_iterator<char>(f), {});
  return true;
}
}  // namespace

TEST(DevilAgrees, WidthHeightAndLevelZeroIndices) {
  if (!testsupport::HavePeer(CORVANE_DEVIL_PROBE))
    GTEST_SKIP() << "DevIL is missing: install libdevil-dev (scripts/install-deps) and reconfigure; the "
                    "independent check of written packages cannot run without it";
  const fs::path dir = ProcessScratchDir("devil");
  HPALETTE cube = CubePalette(), own = RampPalette(21);
  struct Case {
    int W, H;
    bool Eight;
  };
  const Case cases[] = {{256, 256, false}, {128, 32, false}, {32, 128, false}, {5, 3, false}, {64, 16, true}};
  // Below version 63 a mip level has no offset field; DevIL reads one in every version, so it
  // cannot serve as a peer for version 61 (our own reader covers that version).
  for (int32_t version : {63, 64, 68}) {
    for (const Case& c : cases) {
      TProjectFixture f;
      f.Project.ProjectFileName = (dir / "Devil.cvp").string();
      f.Project.PackageVersion = version;
      f.Project.Model = TwoSectionModel();
      f.AddSkin("ABCD", "Peer");
      HPALETTE pal = c.Eight ? own : cube;
      f.AddTexture(1, c.Eight ? Texture8(c.W, c.H, own) : Texture24(c.W, c.H, c.W), pal);
      const fs::path file =
          dir / ("v" + std::to_string(version) + "_" + std::to_string(c.W) + "x" + std::to_string(c.H) + ".utx");
      WriteBytes(file, BuildTexturePackage(f.Project).Utx);
      SCOPED_TRACE(file.string());

      TDevilImage img;
      if (!RunDevil(file, img)) return;
      EXPECT_EQ(img.Width, c.W);
      EXPECT_EQ(img.Height, c.H);
      ASSERT_EQ(img.Format, 0x1900) << "DevIL did not keep the palette indices";  // colour index
      ASSERT_EQ(img.BytesPerPixel, 1);
      ASSERT_EQ(img.Pixels.size(), static_cast<size_t>(c.W) * c.H);
      const auto level0 = MakeMipMaps(*f.Bitmaps[0], 1, pal);
      int differ = 0;
      for (int y = 0; y < c.H; ++y) {
        const int row = img.Origin == "lower" ? c.H - 1 - y : y;
        for (int x = 0; x < c.W; ++x)
          differ += img.Pixels[static_cast<size_t>(row) * c.W + x] != level0[0]->ScanLine(y)[x];
      }
      EXPECT_EQ(differ, 0);
    }
  }
}
