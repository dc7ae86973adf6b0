// The picture format registry over a picture loader, the program's registration table, and the
// shared routines of the readers.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <memory>

#include "codecs/ImageFormats.h"
#include "codecs/PNGGraphic.h"
#include "codecs/TIFFGraphic.h"
#include "codecs/TargaGraphic.h"
#include "tests/codecs/CodecTestSupport.h"

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

// The most memory the process has held at once so far.
uint64_t PeakResidentBytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<uint64_t>(usage.ru_maxrss) * 1024;
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

TEST(ImageFormatsTest, SizeLimitsPredictorSwapAndUpsampler) {
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

  // The swap goes twenty-one pixels a shuffle where the processor has AVX-512, then five, with
  // plain pixels after: every count round those steps, apart and in place, and nothing written
  // past the last pixel.
  for (size_t count : {0, 1, 5, 6, 7, 10, 11, 12, 21, 22, 37, 42, 43, 44, 48, 70, 43029, 100000}) {
    std::vector<uint8_t> src(3 * count + 16), swapped(src.size(), 0xEE), want(src.size(), 0xEE);
    for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<uint8_t>(count > 1000 ? 255 - i % 5 : i * 37 + 1);
    for (size_t i = 0; i < 3 * count; ++i) want[i] = src[i - i % 3 + 2 - i % 3];
    const std::vector<uint8_t> diffs = src;
    SwapRGB8(src.data(), swapped.data(), count);
    EXPECT_EQ(swapped, want) << count;
    std::copy(want.begin() + 3 * count, want.end(), src.begin() + 3 * count);
    SwapRGB8(src.data(), src.data(), count);
    EXPECT_EQ(src, want) << count << " in place";

    // The same bytes as differences from the pixel before: running sums carried from step to
    // step of the fast form, and the plain form's tail picking them up.
    std::vector<uint8_t> sums(src.size(), 0xEE);
    unsigned acc[3] = {};
    for (size_t k = 0; k < count; ++k)
      for (size_t c = 0; c < 3; ++c) sums[3 * k + 2 - c] = static_cast<uint8_t>(acc[c] += diffs[3 * k + c]);
    for (const TSwapForm form : {TSwapForm::Widest, TSwapForm::Plain}) {
      std::vector<uint8_t> out(src.size(), 0xEE);
      UndoPredictorSwapRGB8(diffs.data(), out.data(), count, form);
      EXPECT_EQ(out, sums) << count << " predictor, form " << static_cast<int>(form);
    }
  }

  // A 2x2 plane in a 4x4 buffer.
  std::vector<uint8_t> plane = {10, 20, 0, 0, 30, 41, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  Upsample(2, 2, 4, plane.data());
  EXPECT_EQ(plane, (std::vector<uint8_t>{10, 15, 20, 20,  //
                                         20, 25, 31, 31,  //
                                         30, 36, 41, 41,  //
                                         30, 36, 41, 41}));
}

// Files of a few bytes whose headers declare pictures of up to a gigabyte: each load ends in a
// clear error or an empty picture without allocating the picture on the header's word alone.
TEST(ImageFormatsTest, HeadersAloneAllocateNoPicture) {
  using codectest::Put16, codectest::Put32;
  auto targa = [](uint8_t type, uint16_t w, uint16_t h, uint8_t depth, size_t pixelBytes) {
    std::vector<uint8_t> f = {0, 0, type, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    Put16(f, w), Put16(f, h);
    f.insert(f.end(), {depth, 0x20});
    f.resize(f.size() + pixelBytes, 7);
    return f;
  };
  // An uncompressed grey TIFF whose one strip holds 6 bytes.
  auto tiff = [](uint32_t w, uint32_t h) {
    std::vector<uint8_t> f = {'I', 'I', 42, 0, 8, 0, 0, 0};
    const std::pair<uint16_t, uint32_t> tags[] = {{256, w}, {257, h}, {258, 8}, {262, 1}, {273, 86}, {279, 6}};
    Put16(f, 6);
    for (auto [tag, value] : tags) Put16(f, tag), Put16(f, 4), Put32(f, 1), Put32(f, value);  // LONG values
    Put32(f, 0);
    f.resize(f.size() + 6, 9);
    return f;
  };
  struct TCase {
    const char* Name;
    std::unique_ptr<TImageFormatGraphic> Graphic;
    std::vector<uint8_t> Data;
    const char* Error;  // nullptr: loads as an empty picture
  };
  TCase cases[] = {
      {"Targa of no image data", std::make_unique<TTargaGraphic>(), targa(0, 32768, 8192, 32, 0), nullptr},
      {"Targa of an unknown image type", std::make_unique<TTargaGraphic>(), targa(4, 32768, 8192, 32, 0),
       "Cannot load image. Invalid or unexpected Targa image format. (unsupported image type 4)"},
      // Type 17 is not type 1, even with the data type 1 would need.
      {"Targa type 17", std::make_unique<TTargaGraphic>(), targa(17, 2, 1, 8, 2), "unsupported image type 17"},
      {"TIFF strip far shorter than the picture", std::make_unique<TTIFFGraphic>(), tiff(32768, 8192),
       "Cannot load image. Invalid or unexpected TIF/TIFF image format."},
  };
  const uint64_t before = PeakResidentBytes();
  for (TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string error = codectest::LoadError(*c.Graphic, c.Data);
    if (c.Error)
      EXPECT_NE(error.find(c.Error), std::string::npos) << error;
    else
      EXPECT_EQ(error, "");
    EXPECT_TRUE(c.Graphic->Empty());
  }
  EXPECT_LT(PeakResidentBytes() - before, uint64_t{64} << 20) << "a picture was allocated from its header";
  // The same TIFF with its strip whole loads.
  std::vector<uint8_t> small = tiff(3, 2);
  EXPECT_EQ(codectest::LoadError(*std::make_unique<TTIFFGraphic>(), small), "");
}
