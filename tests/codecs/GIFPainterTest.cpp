// Drawing and the painter thread, without a GUI: the test thread plays the GUI thread and runs
// the work painters hand it (GIFCheckSynchronize). Run under ThreadSanitizer as well.
#include <chrono>
#include <thread>

#include "GIFTestSupport.h"
#include "codecs/GIFPainter.h"

using namespace giftest;

namespace {

// Frames of one grey each (index i), delay 1 hundredth, the whole 4 x 2 screen.
Bytes Animation(int frames, bool loop = true) {
  Bytes file = Header(4, 2);
  if (loop) file = Cat({file, {'!', 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3, 1, 0, 0, 0}});
  for (int i = 0; i < frames; ++i)
    file = Cat({file, GCE(0, 1, 0), Descriptor(0, 0, 4, 2), LiteralLZW(2, Bytes(8, static_cast<uint8_t>(i % 4)))});
  return Cat({file, {';'}});
}

// Runs the painters' GUI work until pred holds; gives up after a generous while.
template <class Pred>
bool PumpUntil(Pred pred) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > until) return false;
    if (!GIFCheckSynchronize()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

}  // namespace

TEST(GIFPainter, OneFrameIsDrawnWithoutAPainter) {
  auto g = Load(Animation(1, false));
  TBitmap canvas(8, 4);
  g->Draw(canvas, {0, 0, 8, 4});
  EXPECT_EQ(g->PainterCount(), 0);
  EXPECT_EQ(canvas.Pixel(7, 3), clBlack);  // index 0, stretched over the whole rectangle
  TGIFImage none;
  none.Draw(canvas, {0, 0, 8, 4});
  EXPECT_EQ(none.PainterCount(), 0);
}

TEST(GIFPainter, AnimatesThroughTheGUIThreadAndStopsWhenCleared) {
  auto g = Load(Animation(3));
  int after = 0;
  g->OnAfterPaint = [&] { ++after; };
  TBitmap canvas(4, 2);
  canvas.Fill(RGBColor(1, 2, 3));
  g->Draw(canvas, {0, 0, 4, 2});
  ASSERT_EQ(g->PainterCount(), 1);
  EXPECT_EQ(TGIFPainter::LiveThreads(), 1);
  // Frame 0 is there at once, drawn by Draw itself.
  EXPECT_EQ(canvas.Pixel(0, 0), clBlack);
  // Later frames arrive only through the GUI thread's work, and loop round.
  std::vector<TColor> seen;
  ASSERT_TRUE(PumpUntil([&] {
    g->Draw(canvas, {0, 0, 4, 2});
    const TColor c = canvas.Pixel(0, 0);
    if (seen.empty() || seen.back() != c) seen.push_back(c);
    return after >= 5;
  }));
  EXPECT_GE(seen.size(), 3u);
  EXPECT_NE(std::find(seen.begin(), seen.end(), RGBColor(170, 170, 170)), seen.end());
  g->Clear();
  EXPECT_EQ(g->PainterCount(), 0);
  EXPECT_EQ(TGIFPainter::LiveThreads(), 0);
}

// A painter that waits for the GUI thread while nobody runs its work is still stopped and
// joined, by the image's destruction.
TEST(GIFPainter, StopsWhileWaitingForTheGUIThread) {
  int waited = 0;
  {
    auto g = Load(Animation(2));
    TBitmap canvas(4, 2);
    g->Draw(canvas, {0, 0, 4, 2});
    ASSERT_EQ(g->PainterCount(), 1);
    // Long enough for the painter to have queued frame 1 and be waiting on it.
    while (g->Painter()->ActiveImage() != 1 && waited++ < 2000)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(TGIFPainter::LiveThreads(), 0);
}

// Without the threaded option the painter plays the animation inside Draw, once round when the
// loop option is off, and leaves the last frame on the canvas.
TEST(GIFPainter, PlaysInTheCallersThreadWithoutTheThreadOption) {
  auto g = Load(Animation(3, false));
  g->DrawOptions = doAnimate;
  int after = 0;
  g->OnAfterPaint = [&] { ++after; };
  TBitmap canvas(4, 2);
  g->Draw(canvas, {0, 0, 4, 2});
  EXPECT_EQ(after, 3);
  EXPECT_EQ(canvas.Pixel(3, 1), RGBColor(170, 170, 170));
  EXPECT_EQ(g->PainterCount(), 0);
  EXPECT_EQ(TGIFPainter::LiveThreads(), 0);
}

// Disposal and transparency as the painter applies them, frame by frame: restore to background
// (with transparent drawing, what the canvas showed), restore to previous, transparent pixels
// and frame offsets.
TEST(GIFPainter, DisposalAndTransparency) {
  const Bytes file = Cat({Header(4, 2),
                          GCE(2 << 2, 1, 0),
                          Descriptor(0, 0, 4, 2),
                          LiteralLZW(2, Bytes(8, 3)),
                          GCE(1 | (3 << 2), 1, 0),
                          Descriptor(1, 0, 2, 1),
                          LiteralLZW(2, {1, 0}),
                          GCE(0, 1, 0),
                          Descriptor(0, 1, 1, 1),
                          LiteralLZW(2, {2}),
                          {';'}});
  auto g = Load(file);
  g->DrawOptions = doAnimate | doTransparent;
  std::vector<Bytes> shown;
  g->OnAfterPaint = [&] { shown.push_back(RGBOf(*g->Bitmap())); };
  TBitmap canvas(4, 2);
  const TColor bg = RGBColor(1, 2, 3);
  canvas.Fill(bg);
  g->Draw(canvas, {0, 0, 4, 2});
  ASSERT_EQ(shown.size(), 3u);
  auto picture = [&](std::initializer_list<TColor> colours) {
    Bytes rgb;
    for (TColor c : colours) rgb.insert(rgb.end(), {GetRValue(c), GetGValue(c), GetBValue(c)});
    return rgb;
  };
  const TColor w = clWhite, g85 = RGBColor(85, 85, 85), g170 = RGBColor(170, 170, 170);
  EXPECT_EQ(shown[0], picture({w, w, w, w, w, w, w, w}));
  EXPECT_EQ(shown[1], picture({bg, g85, bg, bg, bg, bg, bg, bg}));
  EXPECT_EQ(shown[2], picture({bg, bg, bg, bg, g170, bg, bg, bg}));
}

TEST(GIFPainter, FrameDelays) {
  struct TCase {
    int Delay;  // -1: no graphic control extension
    bool Threaded;
    int Expected;
  };
  const TCase cases[] = {{-1, true, 10}, {0, true, 10},       {1, true, 3},
                         {3, true, 3},   {5000, false, 1000}, {5000, true, 5000}};
  for (const TCase& c : cases) {
    TGIFSubImage f(nullptr);
    std::unique_ptr<TGIFGraphicControlExtension> gce;
    if (c.Delay >= 0) {
      gce = std::make_unique<TGIFGraphicControlExtension>(&f);
      gce->Delay = static_cast<uint16_t>(c.Delay);
    }
    EXPECT_EQ(TGIFPainter::FrameDelay(f, c.Threaded), c.Expected) << c.Delay;
  }
}
