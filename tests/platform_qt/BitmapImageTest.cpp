// Drawing bitmaps through QImage, and icons read through Qt into the picture loader.
#include <gtest/gtest.h>

#include <QImage>

#include "platform/Exceptions.h"
#include "platform/PictureLoader.h"
#include "platform/qt/BitmapImage.h"
#include "platform/qt/IconPicture.h"
#include "tests/platform/BmpTestSupport.h"
#include "tests/support/IconFiles.h"

using namespace bmptest;

TEST(BitmapImageTest, EveryPixelFormatDrawsWithItsOwnColours) {
  for (TPixelFormat pf : {TPixelFormat::pf1bit, TPixelFormat::pf4bit, TPixelFormat::pf8bit, TPixelFormat::pf15bit,
                          TPixelFormat::pf16bit, TPixelFormat::pf24bit, TPixelFormat::pf32bit}) {
    SCOPED_TRACE(BitsPerPixel(pf));
    TBitmap b(11, 5, pf);
    uint32_t s = 7;
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 11; ++x) {
        s = s * 1664525u + 1013904223u;
        b.SetPixel(x, y, s >> 8);
      }
    QImage img = BitmapToQImage(b);
    ASSERT_EQ(img.width(), 11);
    ASSERT_EQ(img.height(), 5);
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 11; ++x) {
        QRgb p = img.pixel(x, y);
        ASSERT_EQ(RGBColor(qRed(p), qGreen(p), qBlue(p)), b.Pixel(x, y)) << x << "," << y;
        ASSERT_EQ(qAlpha(p), 255);
      }
    // And back: the same colours in a 24-bit bitmap.
    TBitmap back = QImageToBitmap(img);
    EXPECT_EQ(back.PixelFormat(), TPixelFormat::pf24bit);
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 11; ++x) ASSERT_EQ(back.Pixel(x, y), b.Pixel(x, y));
  }
  EXPECT_TRUE(BitmapToQImage(TBitmap()).isNull() || BitmapToQImage(TBitmap()).width() == 0);
}

// A bitmap can be wider than any QImage (a small run-length file can declare a hundred
// million columns): drawing it is refused with a clear error, not written through a null image.
TEST(BitmapImageTest, BitmapTooLargeForAnImageIsRefused) {
  TBitmap b(100000000, 1, TPixelFormat::pf1bit);
  EXPECT_THROW(BitmapToQImage(b), EOutOfResources);
}

TEST(BitmapImageTest, TransparencyIsLaidOverWhite) {
  QImage img(3, 1, QImage::Format_ARGB32);
  img.setPixel(0, 0, qRgba(10, 20, 30, 255));
  img.setPixel(1, 0, qRgba(0, 0, 0, 0));
  img.setPixel(2, 0, qRgba(0, 0, 0, 128));
  TBitmap b = QImageToBitmap(img);
  EXPECT_EQ(b.Pixel(0, 0), RGBColor(10, 20, 30));
  EXPECT_EQ(b.Pixel(1, 0), clWhite);
  EXPECT_EQ(b.Pixel(2, 0), RGBColor(127, 127, 127));
}

TEST(BitmapImageTest, IconsLoadThroughThePictureLoaderOnceRegistered) {
  SKIP_WITHOUT_PEER(kConvert);
  TScratchDir dir;
  WritePpm(dir / "s.ppm", MakeTestPicture(32, 32, 4));
  // Two sizes in one icon: the larger one is the one we want.
  ASSERT_EQ(RunPeer(std::string(kConvert) + " " + (dir / "s.ppm") + " -define icon:auto-resize=16,32 " +
                    (dir / "i.ico")),
            0);
  ASSERT_EQ(RunPeer(std::string(kConvert) + " " + (dir / "i.ico") + "[1] -depth 8 ppm:" + (dir / "i.ppm")), 0);
  TRgbImage ref = ReadPpm(dir / "i.ppm");
  ASSERT_EQ(ref.Width, 32);

  // The codecs' table registers icons in the program; this suite links only the platform.
  PictureLoader().RegisterFileFormat("ico", "Windows icons", IconGraphicClass());
  SetIconReader(nullptr);
  try {
    PictureLoader().LoadFromFile(dir / "i.ico");
    ADD_FAILURE() << "an icon loaded without a reader";
  } catch (const EInvalidGraphic&) {
  }
  RegisterQtPictureReaders();
  std::filesystem::copy_file(dir / "i.ico", dir / "I2.ICO");
  TBitmap b = PictureLoader().LoadFromFile(dir / "I2.ICO");
  EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(CountMismatches(b, ref, 0, "icon"), 0);

  WriteBytes(dir / "bad.ico", {0, 0, 1, 0, 1, 0, 99});
  try {
    PictureLoader().LoadFromFile(dir / "bad.ico");
    ADD_FAILURE() << "a broken icon loaded";
  } catch (const EInvalidGraphic& e) {
    EXPECT_NE(std::string(e.what()).find("bad.ico"), std::string::npos) << e.what();
  }
  EXPECT_THROW(PictureLoader().LoadFromFile(dir / "missing.ico"), EInOutError);
}

// An icon whose directory names one large picture many times loads that picture (the time it
// takes, with tens of thousands of entries, is measured by bench/icon.cpp).
TEST(BitmapImageTest, AnIconDirectoryRepeatingOnePictureLoadsIt) {
  TScratchDir dir;
  WriteBytes(dir / "many.ico", testsupport::RepeatedIconFile(testsupport::GradientPng(), 64));
  TBitmap b = LoadIconFromFile(dir / "many.ico");
  ASSERT_EQ(b.Width(), 256);
  EXPECT_EQ(b.Pixel(200, 100), RGBColor(200, 100, (200 * 100) & 255));
}
