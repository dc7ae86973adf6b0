// Writing GIF files: what we write decodes to the same pixels in giflib, ImageMagick and our own
// reader; errors of the writer; the encoder's hash table.
#include <random>

#include "GIFTestSupport.h"
#include "codecs/GIFWriter.h"

using namespace giftest;

namespace {

TGIFColor ColourOf(int i) {
  return {static_cast<uint8_t>(i), static_cast<uint8_t>((i * 37) & 255), static_cast<uint8_t>(255 - i)};
}

void SetColours(TGIFColorMap& map, int n) {
  for (int i = 0; i < n; ++i) {
    const TGIFColor c = ColourOf(i);
    map.Add(RGBColor(c.Red, c.Green, c.Blue));
  }
}

Bytes Expected(const TGIFSubImage& f) {
  Bytes rgb;
  const TGIFColorMap& map = f.ActiveColorMap();
  for (uint8_t i : f.Data) {
    const TColor c = map.Colors(i);
    rgb.insert(rgb.end(), {GetRValue(c), GetGValue(c), GetBValue(c)});
  }
  return rgb;
}

}  // namespace

TEST(GIFWrite, PeersDecodeWhatWeWrite) {
  GIF_REQUIRE_TOOLS();
  enum TPattern { Noise, Runs, Stripes };
  struct TCase {
    const char* Name;
    int Width, Height, Colours;
    TPattern Pattern;
    bool Interlaced, Local;
    uint8_t Compression;
  };
  const TCase cases[] = {
      {"noise, 256 colours, far beyond 4096 codes", 160, 120, 256, Noise, false, false, 0},
      {"noise, run-length codes", 97, 61, 256, Noise, false, false, 1},
      {"two colours", 37, 11, 2, Noise, false, false, 0},
      {"two colours, run-length codes", 37, 11, 2, Noise, false, false, 1},
      {"long runs, run-length codes past the table's end", 300, 200, 16, Runs, false, false, 1},
      {"long runs, LZW", 300, 200, 16, Runs, false, false, 0},
      {"three colours (padded table), interlaced, local table", 29, 17, 3, Stripes, true, true, 0},
      {"256 local colours beside a two-colour global table", 50, 40, 256, Noise, false, true, 0},
  };
  TScratch dir;
  std::mt19937 rng(18);
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TGIFImage g;
    g.Compression = c.Compression;
    auto frame = std::make_unique<TGIFSubImage>(&g);
    frame->Width = static_cast<uint16_t>(c.Width);
    frame->Height = static_cast<uint16_t>(c.Height);
    if (c.Interlaced) frame->Packed = 0x40;
    SetColours(c.Local ? frame->ColorMap : g.Header.ColorMap, c.Colours);
    // The global table's size code must describe the global table, whatever the frames hold.
    if (c.Local) SetColours(g.Header.ColorMap, 2);
    frame->Data.resize(static_cast<size_t>(c.Width) * c.Height);
    for (size_t i = 0; i < frame->Data.size(); ++i) {
      switch (c.Pattern) {
        case Noise: frame->Data[i] = static_cast<uint8_t>(rng() % c.Colours); break;
        case Runs: frame->Data[i] = static_cast<uint8_t>((i / 9000) % c.Colours); break;
        case Stripes: frame->Data[i] = static_cast<uint8_t>((i / 3 + i / c.Width) % c.Colours); break;
      }
    }
    g.Add(std::move(frame));
    const std::string file = dir / "out.gif", rgb = dir / "out.rgb";
    g.SaveToFile(file);
    const Bytes expected = Expected(*g.Images[0]);

    auto back = Load(ReadFile(file));
    ASSERT_EQ(back->Images.size(), 1u);
    EXPECT_TRUE(back->Images[0]->Data == g.Images[0]->Data);

    ASSERT_EQ(Shell("/usr/bin/gif2rgb -1 -o '" + rgb + "' '" + file + "'"), 0);
    EXPECT_TRUE(ReadFile(rgb) == expected) << "giflib";
    std::remove(rgb.c_str());
    ASSERT_EQ(Shell("/usr/bin/convert '" + file + "[0]' -depth 8 'rgb:" + rgb + "'"), 0);
    EXPECT_TRUE(ReadFile(rgb) == expected) << "ImageMagick";
  }
}

TEST(GIFWrite, Refusals) {
  TGIFColorMap full;
  SetColours(full, 256);
  EXPECT_THROW(full.Add(clBlack), GIFException);
  EXPECT_THROW(full.Delete(256), GIFException);
  TGIFImage empty;
  TMemoryStream s;
  try {
    empty.SaveToStream(s);
    ADD_FAILURE() << "saved";
  } catch (const GIFException& e) {
    EXPECT_STREQ(e.what(), "Unsupported GIF version");
  }
  for (uint8_t compression : {0, 1}) {
    TGIFImage g;
    g.Compression = compression;
    auto f = std::make_unique<TGIFSubImage>(&g);
    f->Width = 3;
    f->Height = 1;
    SetColours(f->ColorMap, 3);  // a table of 4: index 3 is black, index 4 is nothing
    f->Data = {0, 3, 4};
    TGIFSubImage& frame = g.Add(std::move(f));
    try {
      g.SaveToStream(s);
      ADD_FAILURE() << "saved";
    } catch (const GIFException& e) {
      EXPECT_STREQ(e.what(), "Color not in color table");
    }
    // Fewer indices than pixels are refused before the encoder reads past them.
    frame.Data = {0, 1};
    try {
      g.SaveToStream(s);
      ADD_FAILURE() << "saved";
    } catch (const GIFException& e) {
      EXPECT_STREQ(e.what(), "Invalid image dimensions");
    }
  }
}

// A bitmap becomes a frame: paletted pixels keep their indices, true colour is reduced; either
// way the colours survive a save and a load.
TEST(GIFWrite, FramesFromBitmaps) {
  TBitmap web(6, 6, TPixelFormat::pf24bit);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 6; ++x)
      web.SetPixel(x, y, RGBColor(static_cast<uint8_t>(51 * x), static_cast<uint8_t>(51 * y), 102));
  TBitmap paletted(5, 2, TPixelFormat::pf8bit);
  paletted.SetPalette(CreatePalette({{10, 20, 30, 0}, {40, 50, 60, 0}, {70, 80, 90, 0}}));
  for (int x = 0; x < 5; ++x) paletted.ScanLine(1)[x] = static_cast<uint8_t>(x % 3);
  for (const TBitmap* src : {&web, &paletted}) {
    TGIFImage g;
    g.Assign(*src);
    TMemoryStream s;
    g.SaveToStream(s);
    auto back = Load(s.Bytes());
    TBitmap b;
    back->AssignTo(b);
    ASSERT_EQ(b.Width(), src->Width());
    ASSERT_EQ(b.Height(), src->Height());
    EXPECT_TRUE(RGBOf(b) == RGBOf(*src));
  }
}

// A probe cycle of the table is shorter than the table: when one is full, insertion must give
// up (the encoder then starts a new table) instead of probing for ever.
TEST(GIFWrite, HashTableGivesUpOnAFullProbeCycle) {
  THashTable t;
  // The largest key has the key part of an empty entry.
  EXPECT_EQ(t.Lookup(0xFFFFF), -1);
  int refused = 0;
  for (uint32_t key = 0; key < THashTable::kSize; ++key) {
    if (!t.Insert(key * 97u, static_cast<int>(key & 0xFFF))) {
      ++refused;
      continue;
    }
    ASSERT_EQ(t.Lookup(key * 97u), static_cast<int>(key & 0xFFF));
  }
  EXPECT_GT(refused, 0);
  EXPECT_EQ(t.Lookup(0xFFFFF), -1);
  t.Clear();
  EXPECT_EQ(t.Lookup(97u), -1);
}
