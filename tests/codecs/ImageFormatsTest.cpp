// The picture format registry over a picture loader, the program's registration table, and the
// shared routines of the readers.
#include <gtest/gtest.h>

#include "codecs/ImageFormats.h"
#include "codecs/PNGGraphic.h"
#include "codecs/TIFFGraphic.h"
#include "tests/platform/BmpTestSupport.h"

namespace {
TGraphicClassRef Fake(const char* name) {
  return MakeGraphicClass(name, [](const std::string&) { return TBitmap(1, 1); });
}
std::string GraphicMessage(const std::function<void()>& f) {
  try {
    f();
  } catch (const EInvalidGraphic& e) {
    return e.what();
  }
  return "no error";
}
}  // namespace

TEST(ImageFormatsTest, RegistryKeepsClassesAndTheLoaderInStep) {
  TPictureLoader loader;
  auto targa = Fake("TTargaGraphic"), bitmap = Fake("TBitmap"), other = Fake("TOther");
  {
    TFileFormatList list(loader);
    list.RegisterFileFormat("win", "Truevision images", "", ftRaster, false, false, targa);
    list.RegisterFileFormat("vst", "", "", ftRaster, false, false, targa);
    list.RegisterFileFormat("bmp", "Windows bitmaps", "", ftRaster, false, false, bitmap);
    list.RegisterFileFormat("rle", "Windows bitmaps", "Run length encoded Windows bitmaps", ftRaster, false, false,
                            bitmap);
    list.RegisterFileFormat("", "nothing", "", ftRaster, false, false, other);
    // An extension without its own description shows its class's.
    ASSERT_NE(loader.FindExtension("vst"), nullptr);
    EXPECT_EQ(loader.FindExtension("vst")->Description, "Truevision images");
    EXPECT_EQ(loader.FindExtension("rle")->Description, "Run length encoded Windows bitmaps");
    EXPECT_EQ(list.FindExtension("VST"), 1);
    EXPECT_EQ(list.FindExtension(""), -1);
    EXPECT_EQ(list.FindGraphicClass(other), -1);

    // Twice without replace, letter case aside, is refused and changes nothing.
    EXPECT_EQ(GraphicMessage([&] { list.RegisterFileFormat("WIN", "x", "", ftRaster, false, false, other); }),
              "Attempt to register WIN twice.");
    EXPECT_EQ(loader.FindExtension("win")->GraphicClass, targa);
    // With replace the extension moves; the old class stays while it has extensions left.
    list.RegisterFileFormat("win", "Other images", "", ftRaster, true, false, other);
    EXPECT_EQ(loader.FindExtension("win")->GraphicClass, other);
    EXPECT_EQ(loader.FindExtension("vst")->GraphicClass, targa);
    list.RegisterFileFormat("vst", "", "", ftRaster, true, false, other);
    EXPECT_EQ(list.FindGraphicClass(targa), -1);

    // Removing "rle" keeps TBitmap for "bmp", in the loader too.
    list.UnregisterFileFormat("rle", bitmap);
    EXPECT_EQ(loader.FindExtension("rle"), nullptr);
    EXPECT_EQ(loader.FindExtension("bmp")->GraphicClass, bitmap);
    list.UnregisterFileFormat("bmp", bitmap);
    EXPECT_EQ(list.FindGraphicClass(bitmap), -1);
    EXPECT_EQ(loader.FindExtension("bmp"), nullptr);
    list.UnregisterFileFormat("nosuch", bitmap);
    list.UnregisterFileFormat("", other);
    EXPECT_TRUE(loader.Formats().empty());
    list.RegisterFileFormat("png", "Portable network graphic images", "", ftRaster, false, false, other);
  }
  // Freeing the list takes its classes out of the loader.
  EXPECT_TRUE(loader.Formats().empty());
}

TEST(ImageFormatsTest, ProgramTableBuildsTheDialogFilter) {
  TPictureLoader loader;
  TFileFormatList list(loader);
  RegisterImageFormats(list);
  EXPECT_EQ(loader.GraphicExtension(), "bmp");
  EXPECT_EQ(loader.FindExtension("jpg")->Description, "JPG images");
  EXPECT_EQ(loader.FindExtension("jfif")->Description, "JFIF images");
  EXPECT_EQ(loader.FindExtension("dib")->GraphicClass, BitmapGraphicClass());
  EXPECT_EQ(loader.FindExtension("ico")->GraphicClass, IconGraphicClass());
  const std::string filter = loader.GraphicFilter();
  EXPECT_EQ(filter.rfind("All (*.bmp;*.ico;*.wmf;*.emf;*.jfif;*.jpg;*.jpe;*.jpeg;*.rle;*.dib", 0), 0u) << filter;
  EXPECT_NE(filter.find("|Windows enhanced meta files (*.emf)|*.emf|"), std::string::npos) << filter;
  EXPECT_EQ(loader.FindExtension("TIF")->GraphicClass, TIFFGraphicClass());
  EXPECT_EQ(loader.FindExtension("fax")->Description, "GFI fax images");
  EXPECT_EQ(loader.FindExtension("eps")->GraphicClass, EPSGraphicClass());
  EXPECT_EQ(loader.FindExtension("png")->Description, "Portable network graphic images");

  // Files load through the class of their extension.
  bmptest::TScratchDir dir;
  bmptest::WriteBytes(dir / "not.png", {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0});
  EXPECT_EQ(GraphicMessage([&] { loader.LoadFromFile(dir / "not.png"); }),
            "Cannot load image. Invalid or unexpected PNG image format. (" + (dir / "not.png") + ")");
  bmptest::WriteBytes(dir / "not.tif", {'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0});
  EXPECT_EQ(GraphicMessage([&] {
              loader.LoadFromFile(dir / "not.tif");
            }).rfind("Cannot load image. Invalid or unexpected TIF/TIFF image format.", 0),
            0u);
}

TEST(ImageFormatsTest, SizeLimitsPredictorAndUpsampler) {
  struct TSize {
    uint64_t W, H, Bits;
    bool Ok;
  } sizes[] = {{1, 1, 1, true},          {32768, 8192, 32, true},           {32769, 1, 8, false},
               {1, 32769, 8, false},     {32768, 8193, 8, false},           {0, 5, 8, false},
               {16384, 16384, 64, true}, {1ull << 32, 1ull << 32, 8, false}};
  for (const TSize& s : sizes) EXPECT_EQ(ImageSizeAllowed(s.W, s.H, s.Bits), s.Ok) << s.W << "x" << s.H;

  uint8_t row[] = {10, 200, 1, 5, 100, 3, 250, 0, 0};
  ApplyHorizontalPredictor8(row, 2, 3);
  EXPECT_EQ(std::vector<uint8_t>(row, row + 9), (std::vector<uint8_t>{10, 200, 1, 15, 44, 4, 9, 44, 4}));

  // A 2x2 plane in a 4x4 buffer.
  std::vector<uint8_t> plane = {10, 20, 0, 0, 30, 41, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  Upsample(2, 2, 4, plane.data());
  EXPECT_EQ(plane, (std::vector<uint8_t>{10, 15, 20, 20,  //
                                         20, 25, 31, 31,  //
                                         30, 36, 41, 41,  //
                                         30, 36, 41, 41}));
}
