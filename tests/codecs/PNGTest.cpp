// PNG reading against pngtopam on files made by ImageMagick, pnmtopng and our own writer, the
// gamma formula, and the messages of broken files.
#include <gtest/gtest.h>

#include <cmath>

#include "codecs/PNGGraphic.h"
#include "tests/codecs/CodecTestSupport.h"

using namespace codectest;

namespace {

std::string LoadError(const std::vector<uint8_t>& file) {
  TPNGGraphic g;
  try {
    g.LoadFromMemory(file.data(), file.size());
  } catch (const Exception& e) {
    return e.what();
  }
  return "loaded";
}

// Every kind of pixel in our writer's files: rows of random samples.
std::vector<uint8_t> RandomRows(size_t rowBytes, uint32_t h, unsigned seed, uint8_t limit = 0) {
  std::vector<uint8_t> raw(rowBytes * h);
  uint32_t s = seed;
  for (uint8_t& b : raw) {
    s = s * 1664525u + 1013904223u;
    b = static_cast<uint8_t>(s >> 24);
    if (limit) b = static_cast<uint8_t>(b % limit);
  }
  return raw;
}

}  // namespace

TEST(PNGTest, DecodesLikePngtopam) {
  SKIP_WITHOUT_PEER(kConvert);
  SKIP_WITHOUT_PEER("/usr/bin/pngtopam");
  SKIP_WITHOUT_PEER("/usr/bin/pnmtopng");
  TScratchDir dir;
  const std::string noChunks = " -define png:exclude-chunk=all";
  const std::string grey = " -colorspace Gray -define png:color-type=0";
  const std::string alpha = " -alpha set -channel A -fx 'i/w' +channel";
  struct TCase {
    const char* Name;
    std::string Make;  // makes out.png from src.ppm
    int Tol;
  } cases[] = {
      {"grey 1", "convert src.ppm" + grey + " -define png:bit-depth=1" + noChunks + " out.png", 0},
      {"grey 2", "convert src.ppm" + grey + " -define png:bit-depth=2" + noChunks + " out.png", 0},
      {"grey 4 interlaced",
       "convert src.ppm" + grey + " -define png:bit-depth=4 -interlace PNG" + noChunks + " out.png", 0},
      {"grey 8", "convert src.ppm" + grey + " -define png:bit-depth=8" + noChunks + " out.png", 0},
      {"grey 16 interlaced",
       "convert src.ppm" + grey + " -depth 16 -define png:bit-depth=16 -interlace PNG" + noChunks + " out.png", 1},
      {"rgb 8", "convert src.ppm -define png:color-type=2 -depth 8" + noChunks + " out.png", 0},
      {"rgb 16 interlaced", "convert src.ppm -define png:color-type=2 -depth 16 -interlace PNG" + noChunks + " out.png",
       1},
      {"palette 1",
       "convert src.ppm -colors 2 -define png:color-type=3 -define png:bit-depth=1" + noChunks + " out.png", 0},
      {"palette 2, short",
       "convert src.ppm -colors 3 -define png:color-type=3 -define png:bit-depth=2" + noChunks + " out.png", 0},
      {"palette 4 interlaced",
       "convert src.ppm -colors 16 -define png:color-type=3 -define png:bit-depth=4 -interlace PNG" + noChunks +
           " out.png",
       0},
      {"palette 8",
       "convert src.ppm -colors 200 -define png:color-type=3 -define png:bit-depth=8" + noChunks + " out.png", 0},
      {"grey alpha 8",
       "convert src.ppm -colorspace Gray" + alpha + " -define png:color-type=4 -depth 8" + noChunks + " out.png", 0},
      {"grey alpha 16 interlaced",
       "convert src.ppm -colorspace Gray" + alpha + " -define png:color-type=4 -depth 16 -interlace PNG" + noChunks +
           " out.png",
       1},
      {"rgba 8 interlaced",
       "convert src.ppm" + alpha + " -define png:color-type=6 -depth 8 -interlace PNG" + noChunks + " out.png", 0},
      {"rgba 16", "convert src.ppm" + alpha + " -define png:color-type=6 -depth 16" + noChunks + " out.png", 1},
      {"pnmtopng paeth", "pnmtopng -paeth src.ppm > out.png", 0},
      {"pnmtopng sub interlaced", "pnmtopng -sub -interlace src.ppm > out.png", 0},
      {"pnmtopng avg, grey, transparent", "ppmtopgm src.ppm | pnmtopng -avg -transparent=gray50 > out.png", 0},
      {"pnmtopng up, background, rgb transparency", "pnmtopng -up -background=blue -transparent=red src.ppm > out.png",
       0},
  };
  const int sizes[][2] = {{1, 1}, {1, 40}, {40, 1}, {13, 7}, {40, 40}, {9, 31}, {2, 3}, {17, 17}};
  int n = 0;
  for (const TCase& c : cases) {
    const int w = sizes[n % 8][0], h = sizes[n % 8][1];
    ++n;
    SCOPED_TRACE(testing::Message() << c.Name << " " << w << "x" << h);
    WritePpm(dir / "src.ppm", MakeTestPicture(w, h, static_cast<uint32_t>(n)));
    ASSERT_EQ(RunPeer("cd " + (dir / "") + " && PATH=/usr/bin:$PATH " + c.Make), 0);
    TPNGGraphic g;
    g.LoadFromFile(dir / "out.png");
    EXPECT_EQ(CountMismatches(g, PeerDecode("/usr/bin/pngtopam", dir / "out.png", dir), c.Tol, c.Name), 0);
  }
}

TEST(PNGTest, OwnWriterFilesDecodeLikePngtopam) {
  SKIP_WITHOUT_PEER("/usr/bin/pngtopam");
  TScratchDir dir;
  struct TCase {
    const char* Name;
    uint32_t W, H;
    uint8_t Depth, ColourType;
    int Filter;                    // -1: each row a different filter
    size_t Split;                  // image data chunk size (0: one chunk); empty chunks between them
    std::vector<TPngChunk> Extra;  // before the image data
    uint8_t Limit;                 // sample values below this (palette indices)
  } cases[] = {
      {"rgb 8, every filter", 23, 11, 8, 2, -1, 0, {}, 0},
      {"rgba 16, every filter", 7, 9, 16, 6, -1, 0, {}, 0},
      {"grey 4, every filter, split IDAT", 33, 12, 4, 0, -1, 5, {}, 0},
      {"grey alpha 8, split into single bytes", 5, 5, 8, 4, 4, 1, {}, 0},
      {"palette 8, short palette",
       19,
       6,
       8,
       3,
       3,
       0,
       {{"PLTE", {255, 0, 0, 0, 255, 0, 0, 0, 255, 9, 9, 9, 200, 100, 50}}},
       5},
      {"palette 1, unknown ancillary chunks",
       40,
       3,
       1,
       3,
       1,
       0,
       {{"PLTE", {0, 0, 0, 250, 250, 250}}, {"zzZz", {1, 2, 3}}, {"tEXt", {'a', 0, 'b'}}},
       0},
      {"grey 16 with tRNS and bKGD", 6, 6, 16, 0, 2, 0, {{"tRNS", {0x12, 0x34}}, {"bKGD", {0xFF, 0xFF}}}, 0},
      {"palette 2 with tRNS table",
       10,
       4,
       2,
       3,
       0,
       0,
       {{"PLTE", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}}, {"tRNS", {0, 128}}},
       0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const size_t samples = c.ColourType == 2 ? 3 : c.ColourType == 6 ? 4 : c.ColourType == 4 ? 2 : 1;
    const size_t rowBytes = (c.W * c.Depth * samples + 7) / 8;
    const size_t bpp = std::max<size_t>(1, c.Depth * samples / 8);
    std::vector<uint8_t> raw = RandomRows(rowBytes, c.H, c.W * 31 + c.H, c.Limit);
    std::vector<uint8_t> z = FilterAndDeflate(raw, rowBytes, bpp, c.Filter);
    std::vector<TPngChunk> chunks = {{"IHDR", Ihdr(c.W, c.H, c.Depth, c.ColourType)}};
    chunks.insert(chunks.end(), c.Extra.begin(), c.Extra.end());
    if (c.Split == 0) {
      chunks.push_back({"IDAT", z});
    } else {
      for (size_t i = 0; i < z.size(); i += c.Split) {
        chunks.push_back({"IDAT", std::vector<uint8_t>(z.begin() + i, z.begin() + std::min(z.size(), i + c.Split))});
        chunks.push_back({"IDAT", {}});
      }
    }
    chunks.push_back({"IEND", {}});
    std::vector<uint8_t> file = PngFile(chunks);
    WriteBytes(dir / "own.png", file);
    TPNGGraphic g;
    g.LoadFromMemory(file.data(), file.size());
    EXPECT_EQ(CountMismatches(g, PeerDecode("/usr/bin/pngtopam", dir / "own.png", dir), c.Depth == 16 ? 1 : 0, c.Name),
              0);

    // Chunk names are read without regard to letter case: the same file with "idat" is the same picture.
    for (TPngChunk& ch : chunks)
      if (ch.Type == "IDAT") ch.Type = "idat";
    std::vector<uint8_t> lower = PngFile(chunks);
    TPNGGraphic l;
    l.LoadFromMemory(lower.data(), lower.size());
    EXPECT_TRUE(l.SameAs(g));
  }
}

TEST(PNGTest, GammaFollowsTheFileGamma) {
  // An 8-bit grey ramp with gAMA 1/1.8: each level v shows as round((v/255)^(1/(2.2*(1/1.8))) * 255).
  const uint32_t w = 256;
  std::vector<uint8_t> raw(w);
  for (uint32_t i = 0; i < w; ++i) raw[i] = static_cast<uint8_t>(i);
  // Grey at 8 and 16 bits (the gamma lives in the grey palette, applied once), RGB at 8.
  struct TKind {
    uint8_t ColourType, Depth;
  } kinds[] = {{0, 8}, {0, 16}, {2, 8}};
  for (const TKind& k : kinds) {
    SCOPED_TRACE(testing::Message() << int(k.ColourType) << "/" << int(k.Depth));
    std::vector<uint8_t> rows;
    for (uint8_t v : raw) {
      for (int c = 0; c < (k.ColourType == 2 ? 3 : 1); ++c) {
        rows.push_back(v);
        if (k.Depth == 16) rows.push_back(v);  // v * 257, big-endian
      }
    }
    const size_t bpp = (k.ColourType == 2 ? 3 : 1) * k.Depth / 8;
    std::vector<uint8_t> gama;
    Put32BE(gama, 55556);
    std::vector<uint8_t> file = PngFile({{"IHDR", Ihdr(w, 1, k.Depth, k.ColourType)},
                                         {"gAMA", gama},
                                         {"IDAT", FilterAndDeflate(rows, rows.size(), bpp, 0)},
                                         {"IEND", {}}});
    TPNGGraphic g;
    g.LoadFromMemory(file.data(), file.size());
    EXPECT_NEAR(g.ImageProperties.FileGamma, 0.55556, 1e-6);
    const double e = 1 / (2.2 * 0.55556f);
    for (uint32_t v = 0; v < w; ++v) {
      const int want = static_cast<int>(std::nearbyint(std::pow(v / 255.0, e) * 255));
      ASSERT_EQ(GetRValue(g.Pixel(static_cast<int>(v), 0)), want) << v;
    }
  }
}

TEST(PNGTest, BrokenFilesRaiseTheirMessages) {
  const std::vector<uint8_t> rows = RandomRows(3 * 4, 4, 9);
  const std::vector<uint8_t> z = FilterAndDeflate(rows, 12, 3, 0);
  auto file = [&](std::vector<TPngChunk> extra, std::vector<uint8_t> ihdr, std::vector<uint8_t> idat) {
    std::vector<TPngChunk> c = {{"IHDR", ihdr}};
    c.insert(c.end(), extra.begin(), extra.end());
    c.push_back({"IDAT", idat});
    c.push_back({"IEND", {}});
    return PngFile(c);
  };
  const auto good = file({}, Ihdr(4, 4, 8, 2), z);
  ASSERT_EQ(LoadError(good), "loaded");
  std::vector<uint8_t> filtered;
  for (int y = 0; y < 4; ++y) {
    filtered.push_back(y == 2 ? 5 : 0);
    filtered.insert(filtered.end(), rows.begin() + y * 12, rows.begin() + y * 12 + 12);
  }
  std::vector<uint8_t> zBad(compressBound(filtered.size()));
  uLongf zn = zBad.size();
  compress(zBad.data(), &zn, filtered.data(), filtered.size());
  zBad.resize(zn);
  std::vector<uint8_t> badCrc = PngFile({{"IHDR", Ihdr(4, 4, 8, 2)}, {"IDAT", z, true}, {"IEND", {}}});

  const std::string invalid = "Cannot load image. Invalid or unexpected PNG image format.";
  const std::string compression = "Cannot load image. Compression error found in PNG file.";
  struct TCase {
    const char* Name;
    std::vector<uint8_t> File;
    std::string Message;
  } cases[] = {
      {"no signature", std::vector<uint8_t>(good.begin() + 1, good.end()), invalid},
      {"zero width", file({}, Ihdr(0, 4, 8, 2), z), invalid},
      {"too large", file({}, Ihdr(40000, 4, 8, 2), z), invalid},
      {"bad CRC", badCrc, "Cannot load image. CRC error found in PNG file."},
      {"filter type 5", file({}, Ihdr(4, 4, 8, 2), zBad), compression},
      {"IHDR claims more rows than the data holds", file({}, Ihdr(4, 5, 8, 2), z), compression},
      {"IHDR claims a picture far larger than its data", file({}, Ihdr(30000, 8000, 8, 6), z), compression},
      {"rgb at depth 4", file({}, Ihdr(4, 4, 4, 2), z), "Invalid color format in PNG file."},
      {"colour type 5", file({}, Ihdr(4, 4, 8, 5), z), "Invalid color format in PNG file."},
      {"palette of 10 bytes", file({{"PLTE", std::vector<uint8_t>(10)}}, Ihdr(4, 4, 8, 2), z),
       "Cannot load image. Palette in PNG file is invalid."},
      {"unknown critical chunk", file({{"ABCD", {1}}}, Ihdr(4, 4, 8, 2), z),
       "Cannot load PNG image. Unexpected but critical chunk detected."},
      {"compression method 1",
       [&] {
         auto h = Ihdr(4, 4, 8, 2);
         h[10] = 1;
         return file({}, h, z);
       }(),
       "Cannot load image. The compression scheme is not supported for PNG files."},
  };
  for (const TCase& c : cases) EXPECT_EQ(LoadError(c.File), c.Message) << c.Name;
  // Depths outside 1, 2, 4, 8 and 16 are a colour format no converter has, whatever the colour
  // type, even where samples times depth would still make a size.
  for (uint8_t colourType : {0, 2, 3, 4, 6})
    for (uint8_t depth : {0, 3, 7, 12, 32, 64, 128, 255})
      EXPECT_EQ(LoadError(file({}, Ihdr(4, 4, depth, colourType), z)), "Invalid color format in PNG file.")
          << int(colourType) << " at depth " << int(depth);
  // The rows are read to size and the rest of the image data is passed over: stray bytes, more
  // rows or a second stream after the picture, in the same image data chunk or a later one, and
  // a checksum that lies in the next chunk. A stream that ends while rows are still wanted and
  // more data follows is extra compressed data.
  TPNGGraphic want;
  want.LoadFromMemory(good.data(), good.size());
  const std::vector<uint8_t> oneRowMore = FilterAndDeflate(RandomRows(3 * 4, 5, 9), 12, 3, 0);
  const size_t cut = z.size() - 2;
  auto join = [](std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  auto inTwoChunks = [&](const std::vector<uint8_t>& first, const std::vector<uint8_t>& second) {
    return PngFile({{"IHDR", Ihdr(4, 4, 8, 2)}, {"IDAT", first}, {"IDAT", {}}, {"idat", second}, {"IEND", {}}});
  };
  const struct {
    const char* Name;
    std::vector<uint8_t> File;
    std::string Message;
  } after[] = {
      {"stray bytes after the stream", file({}, Ihdr(4, 4, 8, 2), join(z, {1, 2, 3})), "loaded"},
      {"a second stream in the same chunk", file({}, Ihdr(4, 4, 8, 2), join(z, z)), "loaded"},
      {"a stray byte in a later chunk", inTwoChunks(z, {0}), "loaded"},
      {"a second stream in a later chunk", inTwoChunks(z, z), "loaded"},
      {"an empty chunk after the stream", inTwoChunks(z, {}), "loaded"},
      {"a stream of one row more", file({}, Ihdr(4, 4, 8, 2), oneRowMore), "loaded"},
      {"the checksum in the next chunk", inTwoChunks({z.begin(), z.begin() + cut}, {z.begin() + cut, z.end()}),
       "loaded"},
      {"a second stream for the last row", file({}, Ihdr(4, 5, 8, 2), join(z, z)),
       "Cannot load image. Extra compressed data found in PNG file."},
  };
  for (const auto& c : after) {
    const std::string got = LoadError(c.File);
    EXPECT_EQ(got, c.Message) << c.Name;
    if (got != "loaded") continue;
    TPNGGraphic g;
    g.LoadFromMemory(c.File.data(), c.File.size());
    EXPECT_TRUE(g.SameAs(want)) << c.Name;
  }
  // Every cut of a good file fails with a message of its own, never a crash.
  for (size_t n = 0; n < good.size(); ++n) {
    const std::string msg = LoadError(std::vector<uint8_t>(good.begin(), good.begin() + static_cast<ptrdiff_t>(n)));
    EXPECT_NE(msg, "loaded") << n;
    EXPECT_EQ(msg.rfind("Cannot load image.", 0), 0u) << n << ": " << msg;
  }
  // A palette chunk in an RGB file is passed over.
  EXPECT_EQ(LoadError(file({{"PLTE", {1, 2, 3}}}, Ihdr(4, 4, 8, 2), z)), "loaded");
}

// The stream's checksum after the rows is passed over wherever the last image data chunk begins,
// after a stored or a coded last block: a wrong one loads the picture the right one does. Data
// that cannot be inflated is still refused.
TEST(PNGTest, TheChecksumAfterTheRowsIsPassedOver) {
  const uint32_t w = 16, h = 8;
  const std::vector<uint8_t> rows = RandomRows(w * 3, h, 7, 6);
  std::vector<uint8_t> filtered;
  for (uint32_t y = 0; y < h; ++y) {
    filtered.push_back(0);
    filtered.insert(filtered.end(), rows.begin() + y * w * 3, rows.begin() + (y + 1) * w * 3);
  }
  auto deflated = [&](int level) {
    std::vector<uint8_t> z(compressBound(filtered.size()));
    uLongf n = z.size();
    EXPECT_EQ(compress2(z.data(), &n, filtered.data(), filtered.size(), level), Z_OK);
    z.resize(n);
    return z;
  };
  auto png = [&](const std::vector<uint8_t>& z, size_t lastChunk) {
    const auto split = z.end() - static_cast<ptrdiff_t>(lastChunk);
    return PngFile(
        {{"IHDR", Ihdr(w, h, 8, 2)}, {"IDAT", {z.begin(), split}}, {"IDAT", {split, z.end()}}, {"IEND", {}}});
  };
  for (const int level : {0, 9}) {
    const std::vector<uint8_t> z = deflated(level);
    // One block, stored at level 0 and coded at 9.
    ASSERT_EQ((z[2] >> 1 & 3) == 0, level == 0);
    const std::vector<uint8_t> right = png(z, 0);
    TPNGGraphic want;
    want.LoadFromMemory(right.data(), right.size());
    const std::vector<uint8_t> wrong = [&] {
      std::vector<uint8_t> x = z;
      for (size_t i = x.size() - 4; i < x.size(); ++i) x[i] ^= 0x55;
      return x;
    }();
    for (size_t last = 0; last <= 8; ++last) {
      for (const auto* stream : {&z, &wrong}) {
        SCOPED_TRACE(testing::Message() << "level " << level << ", last " << last << " bytes in the last chunk, "
                                        << (stream == &z ? "right" : "wrong") << " checksum");
        const std::vector<uint8_t> file = png(*stream, last);
        TPNGGraphic g;
        try {
          g.LoadFromMemory(file.data(), file.size());
          EXPECT_TRUE(g.SameAs(want));
        } catch (const Exception& e) {
          ADD_FAILURE() << e.what();
        }
      }
    }
  }
  // Row data that cannot be inflated is still refused: a stored block whose length and its
  // complement disagree, a block of the reserved type, a distance back before the data's start
  // (a fixed-code match of length 3 at distance 1 as the first symbol).
  std::vector<uint8_t> badLength = deflated(0);
  badLength[5] ^= 1;
  std::vector<uint8_t> reservedType = deflated(9);
  reservedType[2] |= 6;
  const std::vector<uint8_t> backBeforeStart = {0x78, 0x01, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01};
  for (const auto& z : {badLength, reservedType, backBeforeStart})
    for (size_t last : {0, 4, 6})
      EXPECT_EQ(LoadError(png(z, last)), "Cannot load image. Compression error found in PNG file.") << last;
}

TEST(PNGTest, ProgressRunsRowByRow) {
  const uint32_t h = 7;
  const std::vector<uint8_t> rows = RandomRows(6, h, 3);
  const std::vector<uint8_t> file =
      PngFile({{"IHDR", Ihdr(2, h, 8, 2)}, {"IDAT", FilterAndDeflate(rows, 6, 3, 1)}, {"IEND", {}}});
  TPNGGraphic g;
  std::vector<std::string> events;
  std::vector<int> tops;
  g.OnProgress = [&](TProgressStage stage, int percent, const TProgressRect& r, const std::string& message) {
    events.push_back(std::to_string(static_cast<int>(stage)) + ":" + std::to_string(percent) + ":" + message);
    if (stage == TProgressStage::psRunning) tops.push_back(r.Top);
  };
  g.LoadFromMemory(file.data(), file.size());
  // Preparing, the end of preparing at the image data, transferring, one step a row, the end.
  const std::vector<std::string> want = {"0:0:Preparing...",
                                         "2:0:",
                                         "0:0:Transfering...",
                                         "1:0:",
                                         "1:14:",
                                         "1:28:",
                                         "1:42:",
                                         "1:57:",
                                         "1:71:",
                                         "1:85:",
                                         "2:0:"};
  EXPECT_EQ(events, want);
  EXPECT_EQ(tops, (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));
}
