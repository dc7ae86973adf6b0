// The painter's pixel work: dabs, the four tools, HSV, the picker, the view image, and undo,
// save and revert on a texture.
#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "SkinTreeTestModel.h"
#include "editor/TexturePainter.h"
#include "platform/Exceptions.h"
#include "tests/support/PeerTools.h"
#include "platform/FileTimes.h"
#include "platform/Paths.h"
#include "tests/support/Files.h"
#include "tests/support/Scratch.h"

using namespace editor_test;

namespace {

// A texture of one colour.
std::unique_ptr<TObjetoTextura> Plain(int w, int h, TColor c) {
  auto t = std::make_unique<TObjetoTextura>();
  t->Bitmap = std::make_unique<TBitmap>(w, h, TPixelFormat::pf24bit);
  t->Bitmap->Fill(c);
  return t;
}

int CountNot(const TBitmap& b, TColor c) {
  int n = 0;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) n += b.Pixel(x, y) != c;
  return n;
}

}  // namespace

TEST(TexturePainter, IntensityGrey) {
  // Round(I * 2.55), ties to even, without floating-point drift (90 * 2.55 is 229.4999... in
  // binary floating point).
  const int cases[][2] = {{1, 3}, {2, 5}, {10, 26}, {30, 76}, {50, 128}, {70, 178}, {90, 230}, {99, 252}, {100, 255}};
  for (const auto& c : cases) EXPECT_EQ(IntensityGrey(c[0]), c[1]) << c[0];
}

TEST(TexturePainter, ToolsOnOnePixel) {
  struct {
    int tool, intensity;
    TColor paint, pixel, expected;
  } cases[] = {
      {ptBrush, 100, RGBColor(1, 2, 3), RGBColor(10, 200, 255), RGBColor(1, 2, 3)},
      {ptBrush, 50, clWhite, clBlack, RGBColor(128, 128, 128)},  // coverage 128/255
      {ptBrush, 50, clBlack, clWhite, RGBColor(127, 127, 127)},
      {ptDarken, 100, clBlack, RGBColor(10, 200, 255), clBlack},
      {ptLighten, 100, clBlack, RGBColor(10, 200, 255), clWhite},
      {ptDarken, 50, clBlack, RGBColor(10, 200, 255), RGBColor(0, 72, 127)},
      {ptLighten, 50, clBlack, RGBColor(10, 200, 100), RGBColor(138, 255, 228)},
      {ptTint, 100, RGBColor(255, 0, 0), RGBColor(100, 100, 100), RGBColor(100, 100, 100)},  // grey stays
      {ptTint, 100, RGBColor(255, 0, 0), RGBColor(0, 0, 200), RGBColor(200, 0, 0)},
      {ptTint, 100, RGBColor(0, 255, 0), RGBColor(200, 100, 100), RGBColor(100, 200, 100)},
      {ptPicker, 100, clWhite, RGBColor(9, 8, 7), RGBColor(9, 8, 7)},  // not a paint tool
      {17, 100, clWhite, RGBColor(9, 8, 7), RGBColor(9, 8, 7)},
  };
  for (const auto& c : cases) {
    auto t = Plain(9, 9, c.pixel);
    TBitmap mask;
    ASSERT_TRUE(BeginStroke(*t, mask));
    // Size 1 paints the centre pixel alone.
    ASSERT_TRUE(StrokeDab(*t, mask, 4, 4, TBrush{c.paint, c.intensity, 1, c.tool}));
    EXPECT_EQ(t->Bitmap->Pixel(4, 4), c.expected)
        << "tool " << c.tool << " I " << c.intensity << " paint " << std::hex << c.paint;
    EXPECT_EQ(CountNot(*t->Bitmap, c.pixel), c.expected == c.pixel ? 0 : 1);
    EXPECT_TRUE(t->UndoBitmap->SameAs(*Plain(9, 9, c.pixel)->Bitmap));
  }
}

TEST(TexturePainter, DabShapeAndClipping) {
  struct {
    int x, y, size, painted;
  } cases[] = {
      {10, 10, 1, 1}, {10, 10, 3, 9},  {10, 10, 5, 21},           {10, 10, 15, 177},
      {0, 0, 5, 8},    // a quarter of the disc (with its axes) lies inside
      {-2, 10, 5, 3},  // only the disc's rim reaches column 0
      {-3, -3, 5, 0}, {40, 10, 15, 0}, {INT_MAX, INT_MIN, 64, 0}, {INT_MIN, INT_MAX, 64, 0},
      {10, 10, 0, 1}, {10, 10, -5, 1},
  };
  for (const auto& c : cases) {
    TBitmap mask(21, 21, TPixelFormat::pf24bit);
    mask.Fill(clBlack);
    ASSERT_TRUE(BrushDab(mask, c.x, c.y, 100, c.size));
    EXPECT_EQ(CountNot(mask, clBlack), c.painted) << c.x << "," << c.y << " size " << c.size;
  }
  // The disc is centred: symmetric about its centre pixel.
  TBitmap mask(21, 21, TPixelFormat::pf24bit);
  mask.Fill(clBlack);
  BrushDab(mask, 10, 10, 50, 15);
  for (int y = 0; y < 21; ++y)
    for (int x = 0; x < 21; ++x) ASSERT_EQ(mask.Pixel(x, y), mask.Pixel(20 - x, 20 - y)) << x << "," << y;
  EXPECT_EQ(mask.Pixel(10, 10), RGBColor(128, 128, 128));
  TBitmap paletted(4, 4, TPixelFormat::pf8bit);
  EXPECT_FALSE(BrushDab(paletted, 1, 1, 100, 3));
}

TEST(TexturePainter, StrokeRules) {
  // Overlapping dabs of one stroke do not darken twice; the next stroke starts from the result.
  auto t = Plain(16, 16, RGBColor(200, 200, 200));
  TBitmap mask;
  const TBrush darken{clBlack, 50, 5, ptDarken};
  BeginStroke(*t, mask);
  StrokeDab(*t, mask, 8, 8, darken);
  StrokeDab(*t, mask, 8, 8, darken);
  StrokeDab(*t, mask, 9, 8, darken);
  EXPECT_EQ(t->Bitmap->Pixel(8, 8), RGBColor(72, 72, 72));
  BeginStroke(*t, mask);
  StrokeDab(*t, mask, 8, 8, darken);
  EXPECT_EQ(t->Bitmap->Pixel(8, 8), clBlack);

  // Undo swaps: twice gives the painted state back.
  const TBitmap painted = *t->Bitmap;
  t->Modified = false;
  ASSERT_TRUE(UndoTexture(*t));
  EXPECT_EQ(t->Bitmap->Pixel(8, 8), RGBColor(72, 72, 72));
  EXPECT_TRUE(t->Modified);
  ASSERT_TRUE(UndoTexture(*t));
  EXPECT_TRUE(t->Bitmap->SameAs(painted));
  auto fresh = Plain(4, 4, clWhite);
  EXPECT_FALSE(UndoTexture(*fresh));

  // A texture that changed size under the stroke (read again from its file) stops it untouched.
  BeginStroke(*t, mask);
  t->Bitmap = std::make_unique<TBitmap>(8, 8, TPixelFormat::pf24bit);
  t->Bitmap->Fill(clWhite);
  EXPECT_FALSE(StrokeDab(*t, mask, 4, 4, darken));
  EXPECT_EQ(CountNot(*t->Bitmap, clWhite), 0);

  // 8-bit textures are not painted, and nothing is snapshotted for them.
  auto indexed = std::make_unique<TObjetoTextura>();
  indexed->Bitmap = std::make_unique<TBitmap>(8, 8, TPixelFormat::pf8bit);
  EXPECT_FALSE(TextureEditable(*indexed));
  EXPECT_FALSE(BeginStroke(*indexed, mask));
  EXPECT_EQ(indexed->UndoBitmap, nullptr);
  EXPECT_FALSE(StrokeDab(*indexed, mask, 1, 1, darken));
}

TEST(TexturePainter, Picker) {
  auto t = Plain(5, 3, RGBColor(1, 2, 3));
  t->Bitmap->SetPixel(4, 2, RGBColor(40, 50, 60));
  TColor c = clWhite;
  EXPECT_TRUE(PickColor(*t->Bitmap, 4, 2, c));
  EXPECT_EQ(c, RGBColor(40, 50, 60));
  for (auto [x, y] : {std::pair{5, 0}, {0, 3}, {-1, 0}, {0, -1}, {INT_MAX, INT_MAX}}) {
    c = clWhite;
    EXPECT_FALSE(PickColor(*t->Bitmap, x, y, c));
    EXPECT_EQ(c, clWhite);
  }
}

TEST(TexturePainter, HSVAgainstColorsys) {
  // Every hue at several saturations and values, through Python's colorsys as the reference.
  std::vector<std::array<int, 3>> colours;
  for (int h = 0; h < 1536; h += 3) {
    const int seg = h / 256, f = h % 256;
    int r = 0, g = 0, b = 0;
    switch (seg) {
      case 0: r = 255, g = f; break;
      case 1: r = 255 - f, g = 255; break;
      case 2: g = 255, b = f; break;
      case 3: g = 255 - f, b = 255; break;
      case 4: b = 255, r = f; break;
      default: b = 255 - f, r = 255; break;
    }
    colours.push_back({r, g, b});
    colours.push_back({r / 2 + 64, g / 2 + 64, b / 2 + 64});
    colours.push_back({r / 5, g / 5, b / 5});
  }
  for (int v : {0, 1, 128, 255}) colours.push_back({v, v, v});

  std::string script = "import colorsys\nfor r,g,b in [";
  for (const auto& c : colours)
    script += "(" + std::to_string(c[0]) + "," + std::to_string(c[1]) + "," + std::to_string(c[2]) + "),";
  script += "]:\n h,s,v = colorsys.rgb_to_hsv(r/255.0,g/255.0,b/255.0)\n print('%.9f %.9f %.9f' % (h*360, s, v*255))\n";
  testsupport::TScratchDir dir{"editor"};
  const std::string py = dir.Folder() + "hsv.py";
  { std::ofstream(py) << script; }
  SKIP_WITHOUT_PEER("/usr/bin/python3");
  const std::string out = testsupport::RunCommand("/usr/bin/python3 " + py);

  std::istringstream in(out);
  for (const auto& c : colours) {
    double eh, es, ev, H, S, V;
    ASSERT_TRUE(in >> eh >> es >> ev);
    RGBToHSV(c[0], c[1], c[2], H, S, V);
    EXPECT_NEAR(H, eh, 1e-6) << c[0] << "," << c[1] << "," << c[2];
    EXPECT_NEAR(S, es, 1e-9);
    EXPECT_NEAR(V, ev, 1e-6);
    // And back, to the same bytes.
    uint8_t r, g, b;
    HSVToRGB(H, S, V, r, g, b);
    EXPECT_EQ((std::array<int, 3>{r, g, b}), c);
  }
}

TEST(TexturePainter, EditorImage) {
  TBitmap tex = MakePicture(8, 4, 3);
  TBitmap wire(16, 8, TPixelFormat::pf24bit);  // stretched down onto the texture
  wire.Fill(clWhite);
  for (int x = 0; x < 16; ++x) wire.SetPixel(x, 2, clBlack);  // texture row 1
  struct {
    int wire, zoom;
  } cases[] = {{0, 1}, {50, 1}, {100, 1}, {100, 4}, {30, 2}};
  for (const auto& c : cases) {
    const TBitmap img = EditorImage(tex, &wire, c.wire, c.zoom);
    ASSERT_EQ(img.Width(), 8 * c.zoom);
    ASSERT_EQ(img.Height(), 4 * c.zoom);
    for (int y = 0; y < img.Height(); ++y)
      for (int x = 0; x < img.Width(); ++x) {
        const TColor t = tex.Pixel(x / c.zoom, y / c.zoom);
        const int w = (y / c.zoom == 1) ? 0 : 255;
        auto mix = [&](int s) { return static_cast<uint8_t>((s * (100 - c.wire) + w * c.wire) / 100); };
        ASSERT_EQ(img.Pixel(x, y), RGBColor(mix(GetRValue(t)), mix(GetGValue(t)), mix(GetBValue(t))))
            << x << "," << y << " wire " << c.wire << " zoom " << c.zoom;
      }
  }
  // A wire is drawn the same whether it comes widened or as its 4-bit file holds it.
  TBitmap wire4 = wire;
  wire4.SetPixelFormat(TPixelFormat::pf4bit);
  EXPECT_TRUE(EditorImage(tex, &wire4, 30, 2).SameAs(EditorImage(tex, &wire, 30, 2)));
  // An 8-bit texture is shown in its colours; no wire leaves the image alone.
  TBitmap indexed = tex;
  indexed.SetPixelFormat(TPixelFormat::pf8bit);
  const TBitmap shown = EditorImage(indexed, nullptr, 50, 1);
  EXPECT_EQ(shown.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(shown.Pixel(3, 2), indexed.Pixel(3, 2));
}

TEST(TexturePainter, SaveAndRevert) {
  testsupport::TScratchDir dir{"editor"};
  auto model = MakeModel();
  const TModeloPart& talk = *model->Parts[2].Part;  // 64 x 64
  const std::string file = WritePicture(dir.Folder() + "tex.bmp", 64, 64, 5);
  auto t = CreateTexture(file, "", "", "Talk", talk, nullptr);
  const TBitmap original = *t->Bitmap;

  TBitmap mask;
  BeginStroke(*t, mask);
  StrokeDab(*t, mask, 20, 20, TBrush{RGBColor(250, 10, 10), 80, 9, ptBrush});
  t->Modified = true;
  const TBitmap painted = *t->Bitmap;
  SetFileAge(file, 1'000'000'000);
  SaveTexture(*t, nullptr);
  EXPECT_NE(t->FileAge, 1'000'000'000);
  EXPECT_EQ(t->FileAge, FileAge(file));
  EXPECT_TRUE(t->Modified);
  TBitmap back;
  back.LoadFromFile(file);
  EXPECT_TRUE(back.SameAs(painted));

  // Revert reads the file: the saved state; what was shown becomes the undo copy.
  StrokeDab(*t, mask, 40, 40, TBrush{clBlack, 100, 9, ptBrush});
  const TBitmap unsaved = *t->Bitmap;
  RevertTexture(*t, "Talk", talk, nullptr);
  EXPECT_TRUE(t->Bitmap->SameAs(painted));
  EXPECT_TRUE(t->UndoBitmap->SameAs(unsaved));
  EXPECT_FALSE(t->Modified);
  EXPECT_FALSE(t->Bitmap->SameAs(original));

  // A file that cannot be read leaves texture and undo copy as they were.
  std::filesystem::remove(file);
  t->Modified = true;
  EXPECT_THROW(RevertTexture(*t, "Talk", talk, nullptr), Exception);
  EXPECT_TRUE(t->Bitmap->SameAs(painted));
  EXPECT_TRUE(t->UndoBitmap->SameAs(unsaved));
  EXPECT_TRUE(t->Modified);
}

TEST(TexturePainter, DabRectanglesGiveWhatTheWholePictureGives) {
  // Each dab recomputes only its rectangle of the texture and of the view; the plain way
  // recomputes the whole picture from the snapshot on every dab. Brushes, tools and colours
  // change along the stroke, dabs reach over the edges, the wire is a 4-bit picture of
  // another size, rows are padded.
  TBitmap wire = MakePicture(16, 8, 9);
  wire.SetPixelFormat(TPixelFormat::pf4bit);
  struct {
    int zoom, wirePosition;
  } views[] = {{1, 0}, {2, 40}, {4, 100}, {1, 70}};
  uint32_t rnd = 12345;
  auto next = [&](int n) {
    rnd = rnd * 1664525u + 1013904223u;
    return static_cast<int>((rnd >> 8) % static_cast<uint32_t>(n));
  };
  for (const auto& v : views) {
    auto t = std::make_unique<TObjetoTextura>();
    t->Bitmap = std::make_unique<TBitmap>(MakePicture(37, 23, v.zoom));
    TBitmap mask;
    ASSERT_TRUE(BeginStroke(*t, mask));
    TBitmap wholeMask = mask, whole = *t->Bitmap;
    TEditorView view;
    view.Build(*t->Bitmap, &wire, v.wirePosition, v.zoom);
    TBrush previous;
    for (int i = 0; i < 80; ++i) {
      const int tools[] = {ptBrush, ptTint, ptLighten, ptDarken, ptPicker, ptBrush};
      const TBrush brush{i / 20 % 2 ? RGBColor(30, 200, 90) : RGBColor(220, 20, 60), 1 + next(100), 1 + next(19),
                         tools[i / 13 % 6]};
      const int x = next(47) - 5, y = next(33) - 5;
      TPixelRect changed;
      ASSERT_TRUE(StrokeDab(*t, mask, x, y, brush, i ? &previous : nullptr, &changed));
      previous = brush;
      BrushDab(wholeMask, x, y, brush.Intensity, brush.Size);
      PaintPixels(*t->UndoBitmap, wholeMask, brush.Tool, whole, brush.Color);
      ASSERT_TRUE(t->Bitmap->SameAs(whole)) << "dab " << i << " zoom " << v.zoom;
      view.Update(*t->Bitmap, changed);
      ASSERT_TRUE(view.Image().SameAs(EditorImage(*t->Bitmap, &wire, v.wirePosition, v.zoom)))
          << "dab " << i << " zoom " << v.zoom << " wire " << v.wirePosition;
    }
    EXPECT_TRUE(mask.SameAs(wholeMask));
  }
  // ApplyStroke paints the mask into the texture within the area it is given, no further.
  auto t = Plain(20, 10, clWhite);
  TBitmap mask;
  ASSERT_TRUE(BeginStroke(*t, mask));
  BrushDab(mask, 3, 3, 100, 1);
  BrushDab(mask, 15, 6, 100, 1);
  const TBrush black{clBlack, 100, 1, ptBrush};
  ASSERT_TRUE(ApplyStroke(*t, mask, black, TPixelRect{0, 0, 10, 10}));
  EXPECT_EQ(CountNot(*t->Bitmap, clWhite), 1);
  ASSERT_TRUE(ApplyStroke(*t, mask, black, WholeRect(mask)));
  EXPECT_EQ(CountNot(*t->Bitmap, clWhite), 2);
  EXPECT_FALSE(ApplyStroke(*t, TBitmap(4, 4), black, WholeRect(mask))) << "a mask of another size";
}

TEST(TexturePainter, SaveKeepsPicturesItCannotWriteBack) {
  // A texture is written back in place only into a Windows bitmap named so; anything else is
  // saved as a new bitmap beside it, and the original bytes stay as they were.
  SKIP_WITHOUT_PEER(testsupport::kConvert);
  testsupport::TScratchDir dir{"editor"};
  const std::string d = dir.Folder();
  const std::string src = WritePicture(d + "src.bmp", 32, 32, 4);
  auto convert = [&](const std::string& to) {
    ASSERT_EQ(std::system((std::string(testsupport::kConvert) + " " + src + " " + to).c_str()), 0);
  };
  convert(d + "c.png");
  convert(d + "d.jpg");
  convert(d + "e.png");
  convert(d + "f.png");
  std::filesystem::rename(d + "f.png", d + "f.bmp");  // a PNG under a bitmap's name
  convert(d + "h.jpg");
  WritePicture(d + "a.bmp", 32, 32, 1);
  WritePicture(d + "b.BMP", 32, 32, 2);
  struct {
    std::string file;
    bool asks;
    std::optional<std::string> answer;
    TTextureSaved result;
    std::string savedAs;  // empty: nothing written
  } cases[] = {
      {"a.bmp", false, {}, TTextureSaved::InPlace, "a.bmp"},
      {"b.BMP", false, {}, TTextureSaved::InPlace, "b.BMP"},
      {"g.bmp", false, {}, TTextureSaved::InPlace, "g.bmp"},  // gone: written anew
      {"c.png", true, d + "c.bmp", TTextureSaved::NewFile, "c.bmp"},
      {"d.jpg", true, std::nullopt, TTextureSaved::Cancelled, ""},
      {"e.png", true, d + "other", TTextureSaved::NewFile, "other.bmp"},
      {"h.jpg", false, {}, TTextureSaved::Cancelled, ""},  // no dialog to ask with
  };
  const TBitmap painted = MakePicture(32, 32, 7);
  for (const auto& c : cases) {
    const std::string file = d + c.file;
    const std::string before = std::filesystem::exists(file) ? testsupport::ReadText(file) : "";
    TObjetoTextura t;
    t.Filename = file;
    t.Bitmap = std::make_unique<TBitmap>(painted);
    std::vector<std::string> proposed;
    TAskBitmapName ask = [&](const std::string& p, std::string& chosen) {
      proposed.push_back(p);
      if (c.answer) chosen = *c.answer;
      return c.answer.has_value();
    };
    const bool withDialog = c.file != "h.jpg";
    EXPECT_EQ(SaveTexture(t, withDialog ? ask : TAskBitmapName()), c.result) << c.file;
    EXPECT_EQ(proposed, c.asks ? std::vector<std::string>{ChangeFileExt(file, ".bmp")} : std::vector<std::string>{})
        << c.file;
    const std::string expected = c.savedAs.empty() ? file : d + c.savedAs;
    EXPECT_EQ(t.Filename, expected) << c.file;
    if (c.savedAs.empty()) {
      EXPECT_FALSE(std::filesystem::exists(ChangeFileExt(file, ".bmp"))) << c.file;
    } else {
      TBitmap back;
      back.LoadFromFile(expected);
      EXPECT_TRUE(back.SameAs(painted)) << c.file;
      EXPECT_EQ(t.FileAge, FileAge(expected)) << c.file;
    }
    if (c.result != TTextureSaved::InPlace && !before.empty()) {
      EXPECT_EQ(testsupport::ReadText(file), before) << c.file << " was overwritten";
    }
  }
  // Choosing the PNG's own file (the name proposed, since it is named .bmp) is refused: its
  // pixels would be lost.
  TObjetoTextura t;
  t.Filename = d + "f.bmp";
  t.Bitmap = std::make_unique<TBitmap>(painted);
  const std::string before = testsupport::ReadText(t.Filename);
  EXPECT_THROW(SaveTexture(t,
                           [](const std::string& p, std::string& chosen) {
                             chosen = p;
                             return true;
                           }),
               EInOutError);
  EXPECT_EQ(testsupport::ReadText(d + "f.bmp"), before);
  EXPECT_EQ(t.Filename, d + "f.bmp");
}
