// The picture loader's registry, its dialog filter, loading by extension and by content, and
// the platform's JPEG class against ImageMagick's decode.
#include <gtest/gtest.h>

#include "platform/Exceptions.h"
#include "platform/JpegImage.h"
#include "platform/PictureLoader.h"
#include "tests/platform/BmpTestSupport.h"

using namespace bmptest;

namespace {

TGraphicClassRef FakeClass(const std::string& name, TColor colour) {
  return MakeGraphicClass(name, [colour](const std::string&) {
    TBitmap b(1, 1);
    b.SetPixel(0, 0, colour);
    return b;
  });
}

std::string ExpectGraphicError(const std::function<void()>& f) {
  try {
    f();
  } catch (const EInvalidGraphic& e) {
    return e.what();
  } catch (const std::exception& e) {
    ADD_FAILURE() << "wrong exception: " << e.what();
    return "";
  }
  ADD_FAILURE() << "no error";
  return "";
}

}  // namespace

TEST(PictureLoaderTest, RegistryLookupsIgnoreCaseAndReRegistrationKeepsThePlace) {
  TPictureLoader l;
  l.RegisterFileFormat("tga", "Truevision images", FakeClass("TTargaGraphic", 1));
  l.RegisterFileFormat(".PCX", "ZSoft Paintbrush images", FakeClass("TPCXGraphic", 2));
  l.RegisterFileFormat("", "nothing", FakeClass("TNothing", 3));
  ASSERT_EQ(l.Formats().size(), 2u);
  ASSERT_NE(l.FindExtension("TGA"), nullptr);
  EXPECT_EQ(l.FindExtension(".Tga")->GraphicClass->ClassName, "TTargaGraphic");
  EXPECT_EQ(l.FindExtension("pcx")->Extension, "PCX");
  EXPECT_EQ(l.FindExtension(""), nullptr);
  EXPECT_EQ(l.FindExtension("tg"), nullptr);
  // Registering "TGA" again: the new class takes it over, in the same place.
  l.RegisterFileFormat("TGA", "Targa", FakeClass("TOtherTarga", 4));
  ASSERT_EQ(l.Formats().size(), 2u);
  EXPECT_EQ(l.Formats()[0].GraphicClass->ClassName, "TOtherTarga");
  EXPECT_EQ(l.Formats()[0].Description, "Targa");
  l.UnregisterGraphicClass("TPCXGraphic");
  EXPECT_EQ(l.FindExtension("pcx"), nullptr);
  EXPECT_EQ(l.Formats().size(), 1u);
  EXPECT_THROW(l.RegisterFileFormat("x", "no class", nullptr), EInvalidGraphic);
}

TEST(PictureLoaderTest, FilterAndDefaultExtensionFollowRegistrationOrder) {
  TPictureLoader l;
  EXPECT_EQ(l.GraphicFilter(), "");
  EXPECT_EQ(l.GraphicExtension(), "");
  l.RegisterFileFormat("bmp", "Windows bitmaps", BitmapGraphicClass());
  l.RegisterFileFormat("jpg", "JPG images", JPEGGraphicClass());
  l.RegisterFileFormat("jpeg", "JPEG images", JPEGGraphicClass());
  l.RegisterFileFormat("tga", "Truevision images", FakeClass("TTargaGraphic", 0));
  EXPECT_EQ(l.GraphicFilter(),
            "All (*.bmp;*.jpg;*.jpeg;*.tga)|*.bmp;*.jpg;*.jpeg;*.tga|Windows bitmaps (*.bmp)|*.bmp"
            "|JPG images (*.jpg)|*.jpg|JPEG images (*.jpeg)|*.jpeg|Truevision images (*.tga)|*.tga");
  EXPECT_EQ(l.GraphicFilter("TJPEGImage"),
            "All (*.jpg;*.jpeg)|*.jpg;*.jpeg|JPG images (*.jpg)|*.jpg|JPEG images (*.jpeg)|*.jpeg");
  EXPECT_EQ(l.GraphicFilter("TNoSuchClass"), "");
  EXPECT_EQ(l.GraphicExtension(), "bmp");
  EXPECT_EQ(l.GraphicExtension("TJPEGImage"), "jpg");
  // Removing one extension keeps the class's others in their places.
  l.UnregisterFileFormat("JPG");
  EXPECT_EQ(l.FindExtension("jpg"), nullptr);
  EXPECT_EQ(l.GraphicExtension("TJPEGImage"), "jpeg");
}

TEST(PictureLoaderTest, LoadingByExtensionByContentAndRefusals) {
  TScratchDir dir;
  TPictureLoader l;
  l.RegisterFileFormat("bmp", "Windows bitmaps", BitmapGraphicClass());
  l.RegisterFileFormat("wmf", "Windows metafiles", MetafileGraphicClass());
  l.RegisterFileFormat("emf", "Windows enhanced meta files", MetafileGraphicClass());
  l.RegisterFileFormat("tga", "Truevision images", FakeClass("TTargaGraphic", RGBColor(9, 9, 9)));
  TBitmap b(3, 2, TPixelFormat::pf8bit);
  b.SetPalette(DefaultPalette(TPixelFormat::pf8bit));
  b.SetPixel(2, 1, clWhite);
  b.SaveToFile(dir / "a.BMP");
  EXPECT_TRUE(l.LoadFromFile(dir / "a.BMP").SameAs(b));
  // Extension picks the class; a path whose folder has a dot does not confuse it.
  WriteBytes(dir / "t.tga", {1, 2, 3});
  EXPECT_EQ(l.LoadFromFile(dir / "t.tga").Pixel(0, 0), RGBColor(9, 9, 9));
  std::string msg = ExpectGraphicError([&] { l.LoadFromFile(dir / "picture.xyz"); });
  EXPECT_EQ(msg, "Unknown picture file extension (.xyz)");
  std::filesystem::create_directory(dir / "d.tga");
  msg = ExpectGraphicError([&] { l.LoadFromFile(dir / "d.tga/noext"); });
  EXPECT_EQ(msg, "Unknown picture file extension (.)");
  WriteBytes(dir / "m.wmf", {0xD7, 0xCD, 0xC6, 0x9A});
  EXPECT_EQ(ExpectGraphicError([&] { l.LoadFromFile(dir / "m.WMF"); }), kMetafileRefused);
  EXPECT_EQ(ExpectGraphicError([&] { l.LoadFromFile(dir / "m.emf"); }), kMetafileRefused);

  // By content: a bitmap saved under a Targa name is still read as a bitmap; anything else
  // goes by the extension.
  b.SaveToFile(dir / "saved.tga");
  EXPECT_TRUE(LoadTextureFile(dir / "saved.tga", l).SameAs(b));
  EXPECT_EQ(LoadTextureFile(dir / "t.tga", l).Pixel(0, 0), RGBColor(9, 9, 9));
  WriteBytes(dir / "one.tga", {'B'});
  EXPECT_EQ(LoadTextureFile(dir / "one.tga", l).Pixel(0, 0), RGBColor(9, 9, 9));
  EXPECT_THROW(LoadTextureFile(dir / "missing.bmp", l), Exception);
}

TEST(PictureLoaderTest, JpegDecodesLikeImageMagick) {
  SKIP_WITHOUT_PEER(kConvert);
  TScratchDir dir;
  const std::string src = dir / "src.ppm";
  WritePpm(src, MakeTestPicture(45, 31, 77));
  struct TCase {
    const char* Name;
    const char* Args;
    int Tol;
  } cases[] = {
      {"colour baseline", "-quality 92", 2},
      {"colour progressive", "-quality 80 -interlace Plane", 2},
      {"colour 4:4:4", "-quality 95 -sampling-factor 1x1", 2},
      {"grey", "-colorspace Gray -quality 90", 2},
      {"CMYK", "-colorspace CMYK -quality 95", 3},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::string jpg = dir / "p.jpg", ppm = dir / "p.ppm";
    ASSERT_EQ(RunPeer(std::string(kConvert) + " " + src + " " + c.Args + " " + jpg), 0);
    ASSERT_EQ(RunPeer(std::string(kConvert) + " " + jpg + " -colorspace sRGB -depth 8 ppm:" + ppm), 0);
    TBitmap ours = LoadJpegFromFile(jpg);
    EXPECT_EQ(ours.PixelFormat(), TPixelFormat::pf24bit);
    EXPECT_EQ(CountMismatches(ours, ReadPpm(ppm), c.Tol, c.Name), 0);
  }
}

TEST(PictureLoaderTest, BadJpegDataFailsCleanly) {
  SKIP_WITHOUT_PEER(kConvert);
  TScratchDir dir;
  WritePpm(dir / "s.ppm", MakeTestPicture(64, 48, 1));
  ASSERT_EQ(RunPeer(std::string(kConvert) + " " + (dir / "s.ppm") + " " + (dir / "s.jpg")), 0);
  std::vector<uint8_t> good = ReadBytes(dir / "s.jpg");
  ASSERT_NO_THROW(LoadJpegFromMemory(good.data(), good.size()));
  // Every prefix, including a cut in the middle of the entropy-coded data, raises the bitmap error.
  for (size_t n = 0; n + 2 < good.size(); n += (n < 400 ? 7 : 61)) {
    std::string msg = ExpectGraphicError([&] { LoadJpegFromMemory(good.data(), n); });
    EXPECT_EQ(msg.rfind("JPEG image is not valid", 0), 0u) << msg;
  }
  // Scrambled header bytes.
  for (size_t at : {2u, 3u, 20u, 100u, 160u}) {
    std::vector<uint8_t> bad = good;
    for (size_t i = at; i < at + 8 && i < bad.size(); ++i) bad[i] ^= 0x5A;
    try {
      LoadJpegFromMemory(bad.data(), bad.size());
    } catch (const EInvalidGraphic&) {
    }
  }
  WriteBytes(dir / "empty.jpg", "");
  EXPECT_NE(ExpectGraphicError([&] { LoadJpegFromFile(dir / "empty.jpg"); }).find("empty.jpg"), std::string::npos);
}
