// The screen-mode table against a fake display that says which modes it accepts.
#include <gtest/gtest.h>

#include <set>
#include <tuple>
#include <vector>

#include "scene/GLScreen.h"

namespace {

TVideoMode Mode(int w, int h, int d) {
  TVideoMode m;
  m.Width = static_cast<uint16_t>(w);
  m.Height = static_cast<uint16_t>(h);
  m.ColorDepth = static_cast<uint8_t>(d);
  return m;
}

class TFakeDisplay : public TDisplayModes {
 public:
  TVideoMode Current = Mode(1280, 1024, 24);
  std::vector<TVideoMode> Offered;
  bool AcceptsEverything = false;
  std::set<std::tuple<int, int, int>> Accepted;
  std::vector<std::tuple<int, int, int>> Switches;
  int Restores = 0;

  TVideoMode CurrentMode() override { return Current; }
  bool EnumMode(int index, TVideoMode& mode) override {
    if (index >= static_cast<int>(Offered.size())) return false;
    mode = Offered[static_cast<size_t>(index)];
    return true;
  }
  bool TestMode(const TVideoMode& m) override {
    return AcceptsEverything || Accepted.count({m.Width, m.Height, m.ColorDepth}) > 0;
  }
  bool SwitchTo(const TVideoMode& m) override {
    if (!TestMode(m)) return false;
    Switches.emplace_back(m.Width, m.Height, m.ColorDepth);
    return true;
  }
  void RestoreDefault() override { ++Restores; }
  void Offer(int w, int h, int d) {
    Offered.push_back(Mode(w, h, d));
    Accepted.insert({w, h, d});
  }
};

TEST(GLScreen, TableRowsFromEnumerationAndFallback) {
  {
    // A display that accepts the impossible mode gets only what it enumerates, once each.
    TFakeDisplay display;
    display.AcceptsEverything = true;
    display.Offered = {Mode(640, 480, 24), Mode(800, 600, 24), Mode(640, 480, 24)};
    TGLScreen screen;
    screen.ReadVideoModes(display);
    ASSERT_EQ(screen.NumberVideoModes(), 3);
    EXPECT_EQ(screen.VideoMode(0).Description, "default");
    EXPECT_EQ(screen.VideoMode(0).Width, 1280);
    EXPECT_EQ(screen.VideoMode(1).Description, "640 x 480, 24 bpp");
    EXPECT_EQ(screen.VideoMode(2).Description, "800 x 600, 24 bpp");
  }
  {
    // A display whose answers can be trusted is tried with all 60 fallback rows, in order.
    TFakeDisplay display;
    display.Offer(640, 480, 24);
    display.Accepted.insert({320, 200, 8});
    display.Accepted.insert({512, 384, 32});
    display.Accepted.insert({320, 240, 16});
    TGLScreen screen;
    screen.ReadVideoModes(display);
    ASSERT_EQ(screen.NumberVideoModes(), 5);
    EXPECT_EQ(screen.VideoMode(2).Description, "320 x 200, 8 bpp");
    EXPECT_EQ(screen.VideoMode(3).Description, "320 x 240, 16 bpp");
    EXPECT_EQ(screen.VideoMode(4).Description, "512 x 384, 32 bpp");
    int fallback = 0;
    for (const auto& size : TGLScreen::cFallbackSizes) fallback += size[0] > 0;
    EXPECT_EQ(fallback * static_cast<int>(std::size(TGLScreen::cFallbackDepths)), 60);
  }
  {
    // The table never grows past 201 rows.
    TFakeDisplay display;
    display.AcceptsEverything = true;
    for (int i = 0; i < 400; ++i) display.Offered.push_back(Mode(100 + i, 100, 24));
    TGLScreen screen;
    screen.ReadVideoModes(display);
    EXPECT_LE(screen.NumberVideoModes(), cMaxVideoModes);
  }
}

TEST(GLScreen, IndexFromResolutionAndSwitching) {
  TFakeDisplay display;
  display.Offer(640, 480, 16);
  display.Offer(800, 600, 16);
  display.Offer(1024, 768, 32);
  display.AcceptsEverything = false;
  TGLScreen screen;
  screen.ReadVideoModes(display);
  struct Case {
    int w, h, d, want;
  } cases[] = {{640, 480, 16, 1}, {700, 500, 16, 2}, {640, 480, 24, 3}, {2000, 480, 16, 0}, {1, 1, 1, 1}};
  for (const auto& c : cases)
    EXPECT_EQ(screen.GetIndexFromResolution(c.w, c.h, c.d), c.want) << c.w << "x" << c.h << "x" << c.d;

  EXPECT_FALSE(screen.SetFullscreenMode(display, 99));
  ASSERT_TRUE(screen.SetFullscreenMode(display, 2));
  EXPECT_EQ(screen.CurrentVideoMode(), 2);
  display.Accepted.clear();  // a refused switch keeps the remembered row
  EXPECT_FALSE(screen.SetFullscreenMode(display, 1));
  EXPECT_EQ(screen.CurrentVideoMode(), 2);
  screen.Shutdown(display);
  EXPECT_EQ(display.Restores, 1);
  TGLScreen untouched;
  untouched.ReadVideoModes(display);
  untouched.Shutdown(display);
  EXPECT_EQ(display.Restores, 1) << "nothing to restore when no mode was switched";
}

}  // namespace

TEST(GLScreen, ViewerOptionsChooseTheRow) {
  TFakeDisplay display;
  display.Current = Mode(1024, 768, 24);
  display.Offer(640, 480, 24);
  display.Offer(800, 600, 24);
  TGLScreen screen;
  screen.ReadVideoModes(display);
  struct Case {
    bool fullScreen;
    int resolution, width, height, want;
  } cases[] = {{false, 0, 700, 500, 0}, {false, 1, 700, 500, 1}, {true, 0, 700, 500, 2},
               {true, 1, 700, 500, 1},  {true, 0, 5000, 500, 0}, {false, 7, 10, 10, 0}};
  for (const auto& c : cases) {
    TDisplayOptions options;
    options.FullScreen = c.fullScreen;
    options.ScreenResolution = c.resolution;
    EXPECT_EQ(ApplyDisplayOptions(screen, display, options, c.width, c.height), c.want)
        << c.fullScreen << " " << c.resolution << " " << c.width;
  }
}
