// A small JPEG that declares a huge progressive picture must fail quickly with the picture error
// rather than let the decoder claim gigabytes for its coefficient buffers.
#include <gtest/gtest.h>

#include "platform/Exceptions.h"
#include "platform/JpegImage.h"
#include "tests/platform/BmpTestSupport.h"

using namespace bmptest;

TEST(JpegLimitsTest, HugeDeclaredProgressivePictureIsRefused) {
  if (!RequirePeer(kConvert)) return;
  TScratchDir dir;
  WritePpm(dir / "s.ppm", MakeTestPicture(16, 16, 3));
  ASSERT_EQ(RunPeer(std::string(kConvert) + " " + (dir / "s.ppm") + " -interlace Plane " + (dir / "p.jpg")), 0);
  std::vector<uint8_t> jpg = ReadBytes(dir / "p.jpg");
  // Find the progressive frame header (FF C2) and declare 16000 x 16000 pixels.
  size_t sof = 0;
  for (size_t i = 2; i + 9 < jpg.size(); ++i)
    if (jpg[i] == 0xFF && jpg[i + 1] == 0xC2) {
      sof = i;
      break;
    }
  ASSERT_NE(sof, 0u) << "ImageMagick did not write a progressive JPEG";
  jpg[sof + 5] = 0x3E, jpg[sof + 6] = 0x80;  // height 16000
  jpg[sof + 7] = 0x3E, jpg[sof + 8] = 0x80;  // width 16000
  EXPECT_THROW(LoadJpegFromMemory(jpg.data(), jpg.size()), EInvalidGraphic);
}
