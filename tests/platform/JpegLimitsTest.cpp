// Small JPEGs that would cost the decoder out of all proportion to their size: a huge declared
// progressive picture (gigabytes of coefficient buffers) and endlessly repeated scans (minutes of
// work) must fail quickly with the picture error.
#include <gtest/gtest.h>

#include <cstdint>
#include <new>
#include <vector>

#include "platform/Exceptions.h"
#include "platform/JpegImage.h"
#include "tests/platform/BmpTestSupport.h"
#include "tests/support/AddressSpaceCap.h"

using namespace bmptest;

TEST(JpegLimitsTest, HugeDeclaredProgressivePictureIsRefused) {
  SKIP_WITHOUT_PEER(kConvert);
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

// The start of a grey picture of size x size put together byte by byte: quantisation all 1, the
// frame (`frame` is its marker: C0 baseline, C2 progressive), and one Huffman table with a single
// 1-bit code for each of `tables` (00 the DC table, 10 the AC table).
static std::vector<uint8_t> GreyFrame(uint8_t frame, int size, std::initializer_list<uint8_t> tables) {
  const uint8_t hi = static_cast<uint8_t>(size >> 8), lo = static_cast<uint8_t>(size);
  std::vector<uint8_t> f = {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x43, 0x00};
  f.insert(f.end(), 64, 1);
  f.insert(f.end(), {0xFF, frame, 0x00, 0x0B, 8, hi, lo, hi, lo, 1, 1, 0x11, 0});
  for (uint8_t table : tables) {
    f.insert(f.end(), {0xFF, 0xC4, 0x00, 0x14, table, 1});
    f.insert(f.end(), 16, 0);
  }
  return f;
}

// A 64x64 progressive picture whose DC scan carries no data (the decoder fills in zeros) and is
// repeated `scans` times. Each scan passes over the whole picture, so a file of repeated scans
// costs time out of all proportion to its size.
static std::vector<uint8_t> RepeatedScans(int scans) {
  std::vector<uint8_t> f = GreyFrame(0xC2, 64, {0x00});
  for (int i = 0; i < scans; ++i) f.insert(f.end(), {0xFF, 0xDA, 0x00, 0x08, 1, 1, 0x00, 0, 0, 0});
  f.insert(f.end(), {0xFF, 0xD9});
  return f;
}

TEST(JpegLimitsTest, EndlesslyRepeatedScansAreRefused) {
  std::vector<uint8_t> few = RepeatedScans(100);
  TBitmap b = LoadJpegFromMemory(few.data(), few.size());
  EXPECT_EQ(b.Width(), 64);
  EXPECT_EQ(b.Height(), 64);
  std::vector<uint8_t> many = RepeatedScans(101);
  try {
    LoadJpegFromMemory(many.data(), many.size());
    FAIL() << "101 scans were decoded";
  } catch (const EInvalidGraphic& e) {
    EXPECT_EQ(e.Message, "JPEG image is not valid: the picture has more than 100 scans");
  }
}

// A baseline picture whose scan runs straight into `tail`: the decoder fills the picture in with
// zeros, and the load stands or falls by whether an end-of-image marker is still to come.
static std::vector<uint8_t> ScanIntoMarker(int size, std::initializer_list<uint8_t> tail) {
  std::vector<uint8_t> f = GreyFrame(0xC0, size, {0x00, 0x10});
  f.insert(f.end(), {0xFF, 0xDA, 0x00, 0x08, 1, 1, 0x00, 0, 63, 0});
  f.insert(f.end(), tail);
  return f;
}

TEST(JpegLimitsTest, ScanRunIntoAMarkerLoadsOnlyWithAnEndMarkerToCome) {
  const struct {
    std::initializer_list<uint8_t> Tail;
    bool Loads;
  } cases[] = {
      {{0xFF, 0xD9}, true},                          // the end marker itself
      {{0xFF, 0xFE, 0x00, 0x02, 0xFF, 0xD9}, true},  // a comment, then the end marker
      {{0xFF, 0xFE, 0x00, 0x02}, false},             // a comment, then nothing
      {{0xFF, 0xD9, 0xFF, 0xFE, 0x00, 0x02}, true},  // the end marker, then a stray comment
  };
  // A picture declared near the size limit fails on its first row, before it is allocated.
  {
    testsupport::TAddressSpaceCap cap(uint64_t{256} << 20);
    std::vector<uint8_t> f = ScanIntoMarker(18000, {0xFF, 0xFE, 0x00, 0x02});
    try {
      LoadJpegFromMemory(f.data(), f.size());
      ADD_FAILURE() << "loaded";
    } catch (const EInvalidGraphic& e) {
      EXPECT_EQ(e.Message, "JPEG image is not valid: Premature end of input file");
    } catch (const std::bad_alloc&) {
      ADD_FAILURE() << "a picture of 18000 x 18000 pixels was allocated for a scan that had already failed";
    }
  }
  for (const auto& c : cases) {
    std::vector<uint8_t> f = ScanIntoMarker(1024, c.Tail);
    SCOPED_TRACE(testing::Message() << "tail of " << c.Tail.size() << " bytes");
    try {
      TBitmap b = LoadJpegFromMemory(f.data(), f.size());
      EXPECT_TRUE(c.Loads);
      EXPECT_EQ(b.Width(), 1024);
      EXPECT_EQ(b.ScanLine(1023)[0], 128);  // zero coefficients decode to mid grey
    } catch (const EInvalidGraphic& e) {
      EXPECT_FALSE(c.Loads);
      EXPECT_EQ(e.Message, "JPEG image is not valid: Premature end of input file");
    }
  }
}
