// Every reader is reached through the picture loader by each of its extensions, as texture
// import reaches it.
#include <gtest/gtest.h>

#include <filesystem>

#include "codecs/GIFImage.h"
#include "tests/codecs/CodecTestSupport.h"

using namespace codectest;

TEST(ReaderRegistrationTest, EachExtensionLoadsItsFormat) {
  TPictureLoader loader;
  TFileFormatList list(loader);
  RegisterImageFormats(list);
  TScratchDir dir;
  const std::string corpus = std::string(CORVANE_SOURCE_DIR) + "/tests/fuzz/corpus/";
  const struct {
    const char* Seed;  // a file of the format from the fuzz corpus
    std::vector<const char*> Extensions;
    const char* Description;  // of the first extension
    int Width;
  } cases[] = {
      {"targa/rgb-rle.tga", {"win", "vst", "vda", "tga", "icb"}, "Truevision images", 8},
      {"pcx/rgb.pcx", {"pcx", "pcc", "scr"}, "ZSoft Paintbrush images", 8},
      {"rla/matte.rla", {"rpf", "rla"}, "Alias/Wavefront images", 7},
      {"sgi/rgb-rle.sgi", {"sgi", "rgba", "rgb", "bw"}, "SGI true color images", 8},
      {"psd/compressRLE.psd", {"psd", "pdd"}, "Photoshop images", 8},
      {"ppm/raw.ppm", {"ppm", "pgm", "pbm"}, "Portable pixel map images", 8},
      {"autodesk/small.cel", {"cel", "pic"}, "Autodesk images", 6},
      {"pcd/overview.pcd", {"pcd"}, "Kodak Photo-CD images", 192},
      {"cut/small.cut", {"cut"}, "Dr. Halo images", 9},
      {"psp/rgb-deflate.psp", {"psp"}, "Paintshop Pro images", 3},
      {"gif/mono.gif", {"gif"}, "GIF Image", 20},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Seed);
    ASSERT_NE(loader.FindExtension(c.Extensions[0]), nullptr);
    EXPECT_EQ(loader.FindExtension(c.Extensions[0])->Description, c.Description);
    for (const char* ext : c.Extensions) {
      const std::string file = dir / (std::string("picture.") + ext);
      std::filesystem::copy_file(corpus + c.Seed, file, std::filesystem::copy_options::overwrite_existing);
      const TBitmap b = loader.LoadFromFile(file);
      EXPECT_EQ(b.Width(), c.Width) << ext;
    }
  }
}

TEST(ReaderRegistrationTest, ErrorsNameTheFile) {
  TPictureLoader loader;
  TFileFormatList list(loader);
  RegisterImageFormats(list);
  TScratchDir dir;
  // A GIF without any colour table reads, and fails when its frame is drawn.
  std::vector<uint8_t> noTable = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0};
  noTable.insert(noTable.end(), {0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 0x44, 0x01, 0, ';'});
  const struct {
    const char* Name;
    std::vector<uint8_t> Data;
  } cases[] = {
      {"bad.gif", {'G', 'I', 'F', '1', '2', '3', 0, 0}},
      {"notable.gif", noTable},
      {"bad.png", {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0}},
      {"bad.tga", {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0, 4, 0, 24, 0, 1}},
      {"bad.tif", {'I', 'I', 42, 0, 8, 0, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    const std::string file = dir / c.Name;
    WriteBytes(file, c.Data);
    try {
      loader.LoadFromFile(file);
      ADD_FAILURE() << c.Name << " loaded";
    } catch (const EInvalidGraphic& e) {
      const std::string message = e.what(), tail = " (" + file + ")";
      EXPECT_TRUE(message.size() > tail.size() && message.ends_with(tail)) << message;
    }
  }
}
