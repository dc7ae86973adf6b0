// The texture painter.
//
// BM_DabWithRefresh: one dab with the view refresh as the window does it: the texture
// recomputed within the dab's rectangle, the view image updated there, and that rectangle drawn
// into an RGB32 image (what the widget's backing store is), for each tool at 256x256, 1024x1024
// and 4096x4096 (target: at most 8 ms at every size). BM_DabWholePicture is the plain way kept
// as the reference: the whole texture recomputed from the stroke's snapshot and the whole view
// rebuilt and converted on every dab.
//
// BM_StrokeEnd: what ends a stroke on a 4096x4096 texture: its palette built again and the
// preview's reduction of the texture to it (Floyd-Steinberg).
//
// BM_StrokeBlocks: how long a press and a release hold the window on a 4096x4096 texture
// (target: at most 100 ms each, one core), as the window runs them on the document: the press
// (the stroke begun and its first dab), the release (the last dab, the stroke ended, and the
// preview's slot pictures made again as Draw3D makes them, unless the palettes are being built
// off the window's thread). Args: the painted texture's size, whether the preview also shows a
// 4096x4096 texture of another section, and the palette option (0 one per texture, 1 per skin:
// the large texture shares the painted one's palette). Counters press_ms and release_ms are the means per
// stroke; ready_ms is what the window's thread spends when palettes built apart arrive (taken,
// given to the preview, the preview's pictures made); the *_cpu_ms counters are the thread's own
// processor time, which a busy machine does not inflate. The time between release and ready is
// not the window's: it goes on painting meanwhile.
//
// BM_ReplacedStrokes: eight strokes 100 ms apart on a 4096x4096 texture, the window's 20 ms
// palette timer taking what is ready in between, then until the last stroke's palettes are in.
// A newer stroke's work replaces an older one's; counters: peak_rss_mb (the process's peak
// resident memory over the sequence, /proc/self/status VmHWM after clearing it), base_rss_mb
// (resident before), peak_threads (threads beside those running before, sampled every 2 ms)
// and threads_after (those still there once the last palettes are in).
//
// BM_PaletteRebuildAfterStroke: the palette rebuild for one skin of 8 sections of 256x256 under
// each palette option.
//
// BM_DragOnWindow (needs a display: xvfb-run): a drag of 50 mouse moves over a 4096x4096
// texture in the main window, each move delivered as the window system delivers it and the
// view painted before the next; the time is that of the 50 moves, `dabs` counts the dabs they
// gave (every move handled: 50).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <algorithm>
#include <chrono>
#include <ctime>
#include <thread>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "bench/WindowBench.h"
#include "controls/LabelScrollBar.h"
#include "editor/EditorDocument.h"
#include "editor/PaletteGroups.h"
#include "editor/TexturePainter.h"
#include "editor/crvn_unificado.h"
#include "model/crvn_struc.h"
#include "platform/qt/BitmapImage.h"
#include "platform/qt/ScriptedPrompter.h"
#include "preview/SectionTextures.h"

namespace {

// A texture with a wire bitmap and a stroke that has already covered a band of it, so the
// tools have real pixels to work on.
struct TStroke {
  TObjetoTextura Texture;
  TBitmap Mask;
  TBrush Brush;
  TStroke(int size, int tool) : Brush{RGBColor(200, 40, 40), 50, 15, tool} {
    Texture.Bitmap = std::make_unique<TBitmap>(MakeTexture(size, 1));
    auto wire = std::make_shared<TBitmap>(256, 256, TPixelFormat::pf24bit);
    wire->Fill(clBlack);
    Texture.WireBitmap = wire;
    BeginStroke(Texture, Mask);
    for (int x = 0; x < size; x += 4) StrokeDab(Texture, Mask, x, size / 2, Brush);
  }
};

// Args: size, tool; the wire overlay on at 1X.
void BM_DabWithRefresh(benchmark::State& state) {
  const int size = static_cast<int>(state.range(0));
  TStroke s(size, static_cast<int>(state.range(1)));
  TEditorView view;
  view.Build(*s.Texture.Bitmap, s.Texture.WireBitmap.get(), 30, 1);
  QImage screen(size, size, QImage::Format_RGB32);
  int x = 0;
  for (auto _ : state) {
    TPixelRect changed;
    StrokeDab(s.Texture, s.Mask, x, size / 2, s.Brush, &s.Brush, &changed);
    x = (x + 3) % size;
    const TPixelRect r = view.Update(*s.Texture.Bitmap, changed);
    const TBitmap& img = view.Image();
    const QImage shown(img.ScanLine(0), img.Width(), img.Height(), static_cast<qsizetype>(img.RowBytes()),
                       QImage::Format_BGR888);
    QPainter p(&screen);
    const QRect rect(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top);
    p.drawImage(rect.topLeft(), shown, rect);
    benchmark::DoNotOptimize(screen.constBits());
  }
}
BENCHMARK(BM_DabWithRefresh)
    ->ArgsProduct({{256, 1024, 4096}, {ptBrush, ptTint, ptLighten, ptDarken}})
    ->ArgNames({"size", "tool"})
    ->Unit(benchmark::kMillisecond);

void BM_DabWholePicture(benchmark::State& state) {
  const int size = static_cast<int>(state.range(0));
  TStroke s(size, ptBrush);
  int x = 0;
  for (auto _ : state) {
    BrushDab(s.Mask, x, size / 2, s.Brush.Intensity, s.Brush.Size);
    PaintPixels(*s.Texture.UndoBitmap, s.Mask, s.Brush.Tool, *s.Texture.Bitmap, s.Brush.Color);
    x = (x + 3) % size;
    const QImage shown = BitmapToQImage(EditorImage(*s.Texture.Bitmap, s.Texture.WireBitmap.get(), 30, 1));
    benchmark::DoNotOptimize(shown.constBits());
  }
}
BENCHMARK(BM_DabWholePicture)->Arg(256)->Arg(1024)->Arg(4096)->ArgName("size")->Unit(benchmark::kMillisecond);

std::unique_ptr<TModelo> EightSections(int size) {
  auto model = std::make_unique<TModelo>();
  for (int s = 1; s <= 8; ++s) {
    auto p = std::make_unique<TModeloPart>();
    p->Flags = static_cast<uint32_t>(s);
    p->Width = p->Height = size;
    model->Parts.push_back({"Section" + std::to_string(s), std::move(p)});
  }
  return model;
}

void BM_StrokeEnd(benchmark::State& state) {
  auto model = EightSections(0);
  TSkinTree tree;
  tree.SetRoot("bench (Bench)");
  TSkinNode* skin = AddSkin(tree, "Skin", "skin", *model);
  auto t = std::make_unique<TObjetoTextura>();
  t->Bitmap = std::make_unique<TBitmap>(MakeTexture(4096, 3));
  TObjetoTextura* texture = t.get();
  AddTexture(skin->Child(0), std::move(t), "< Default >");
  TSlotChoices choices;
  choices[0].Used = true;
  choices[0].Texture = texture;
  for (auto _ : state) {
    BuildPalettes(tree, pmPerTexture);
    const TSlotPictures pictures = MakeSlotPictures(choices);
    benchmark::DoNotOptimize(pictures[0].Bitmap.get());
  }
}
BENCHMARK(BM_StrokeEnd)->Unit(benchmark::kMillisecond);

void BM_StrokeBlocks(benchmark::State& state) {
  const int size = static_cast<int>(state.range(0));
  const bool bigBeside = state.range(1) != 0;
  const auto mode = static_cast<TPaletteMode>(state.range(2));
  TEditorDocument doc;
  doc.SetUp({.Model = EightSections(0)});
  doc.Tree().SetRoot("bench (Bench)");
  TSkinNode* skin = AddSkin(doc.Tree(), "Skin", "skin", *doc.State().CurrentModel());
  auto addTexture = [&](int section, int side, int seed) {
    auto t = std::make_unique<TObjetoTextura>();
    t->Bitmap = std::make_unique<TBitmap>(MakeTexture(side, seed));
    return AddTexture(skin->Child(static_cast<size_t>(section)), std::move(t), "< Default >");
  };
  TSkinNode* painted = addTexture(0, size, 3);
  TSkinNode* beside = bigBeside ? addTexture(1, 4096, 4) : nullptr;
  doc.SetPaletteMode(mode);
  doc.BuildPalettes();
  TSlotChoices choices;
  choices[0].Used = true;
  choices[0].Texture = painted->Texture.get();
  if (beside) {
    choices[1].Used = true;
    choices[1].Texture = beside->Texture.get();
  }
  TSlotPictureCache cache;
  cache.Make(choices);
  const TBrush brush{RGBColor(200, 40, 40), 50, 15, ptBrush};
  // Wall time, and the thread's own processor time, which stays put while a shared machine is
  // busy and the wall time grows.
  struct TTimes {
    double Wall = 0, Cpu = 0;
  } press, release, ready, t0;
  int readyCount = 0;
  auto now = [] {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    const auto wall = std::chrono::steady_clock::now().time_since_epoch();
    return TTimes{std::chrono::duration<double, std::milli>(wall).count(), ts.tv_sec * 1e3 + ts.tv_nsec / 1e6};
  };
  auto add = [&](TTimes& sum) {
    const TTimes t = now();
    sum.Wall += t.Wall - t0.Wall;
    sum.Cpu += t.Cpu - t0.Cpu;
  };
  int x = 20;
  for (auto _ : state) {
    std::vector<TPixelRect> changed;
    t0 = now();
    doc.BeginStroke(painted);
    doc.StrokeDab(painted, x, size / 2, brush, changed);
    add(press);
    for (int i = 1; i < 20; ++i) doc.StrokeDab(painted, x + 2 * i, size / 2, brush, changed);
    t0 = now();
    doc.StrokeDab(painted, x + 40, size / 2, brush, changed);
    doc.EndStroke();
    // As the window does: the preview drawn now, or once the palettes built apart are ready.
    if (!doc.PalettesPending()) benchmark::DoNotOptimize(cache.Make(choices)[0].Bitmap.get());
    add(release);
    if (doc.PalettesPending()) {
      // The swap itself, on the window's thread: the palettes given out and the preview drawn.
      for (t0 = now(); !doc.TakePalettes(); t0 = now()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      cache.Offer(doc.TakePreparedPictures());
      benchmark::DoNotOptimize(cache.Make(choices)[0].Bitmap.get());
      add(ready);
      ++readyCount;
    }
    x = 20 + (x + 50) % (size - 80);
  }
  const auto n = static_cast<double>(state.iterations());
  if (readyCount > 0) {
    state.counters["ready_ms"] = ready.Wall / readyCount;
    state.counters["ready_cpu_ms"] = ready.Cpu / readyCount;
  }
  state.counters["press_ms"] = press.Wall / n;
  state.counters["press_cpu_ms"] = press.Cpu / n;
  state.counters["release_ms"] = release.Wall / n;
  state.counters["release_cpu_ms"] = release.Cpu / n;
}
BENCHMARK(BM_StrokeBlocks)
    ->Args({4096, 0, pmPerTexture})
    ->Args({256, 1, pmPerTexture})
    ->Args({256, 1, pmPerSkin})
    ->ArgNames({"size", "big_beside", "palettes"})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

// A field of /proc/self/status ("VmHWM", "Threads"), in its own unit (kB for memory); -1 when
// missing.
long ProcStatus(const std::string& field) {
  std::ifstream in("/proc/self/status");
  for (std::string line; std::getline(in, line);)
    if (line.compare(0, field.size() + 1, field + ":") == 0) return std::stol(line.substr(field.size() + 1));
  return -1;
}

void BM_ReplacedStrokes(benchmark::State& state) {
  TEditorDocument doc;
  doc.SetUp({.Model = EightSections(0)});
  doc.Tree().SetRoot("bench (Bench)");
  TSkinNode* skin = AddSkin(doc.Tree(), "Skin", "skin", *doc.State().CurrentModel());
  auto t = std::make_unique<TObjetoTextura>();
  t->Bitmap = std::make_unique<TBitmap>(MakeTexture(4096, 6));
  TSkinNode* painted = AddTexture(skin->Child(0), std::move(t), "< Default >");
  doc.BuildPalettes();
  const TBrush brush{RGBColor(200, 40, 40), 50, 15, ptBrush};
  double peakRss = 0, baseRss = 0, peakThreads = 0, threadsAfter = 0;
  for (auto _ : state) {
    const long threads0 = ProcStatus("Threads");
    baseRss = static_cast<double>(ProcStatus("VmRSS")) / 1024;
    // Writing 5 resets the peak resident size to the current one.
    std::ofstream("/proc/self/clear_refs") << "5";
    long peak = threads0;
    auto sample = [&] { peak = std::max(peak, ProcStatus("Threads")); };
    for (int stroke = 0; stroke < 8; ++stroke) {
      std::vector<TPixelRect> changed;
      const int y = 200 + 400 * stroke;
      doc.BeginStroke(painted);
      for (int x = 100; x <= 3900; x += 200) doc.StrokeDab(painted, x, y, brush, changed);
      doc.EndStroke();
      const auto next = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
      auto tick = std::chrono::steady_clock::now();
      while (std::chrono::steady_clock::now() < next) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        sample();
        if (std::chrono::steady_clock::now() - tick >= std::chrono::milliseconds(20)) {
          tick = std::chrono::steady_clock::now();
          doc.TakePalettes();
        }
      }
    }
    while (doc.PalettesPending()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      sample();
      doc.TakePalettes();
    }
    peakRss = static_cast<double>(ProcStatus("VmHWM")) / 1024;
    peakThreads = static_cast<double>(peak - threads0);
    threadsAfter = static_cast<double>(ProcStatus("Threads") - threads0);
  }
  state.counters["peak_rss_mb"] = peakRss;
  state.counters["base_rss_mb"] = baseRss;
  state.counters["peak_threads"] = peakThreads;
  state.counters["threads_after"] = threadsAfter;
}
BENCHMARK(BM_ReplacedStrokes)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_PaletteRebuildAfterStroke(benchmark::State& state) {
  auto model = EightSections(256);
  TSkinTree tree;
  tree.SetRoot("bench (Bench)");
  TSkinNode* skin = AddSkin(tree, "Skin", "skin", *model);
  int seed = 0;
  for (const auto& section : skin->Children()) {
    auto t = std::make_unique<TObjetoTextura>();
    t->Bitmap = std::make_unique<TBitmap>(MakeTexture(256, seed++));
    AddTexture(section.get(), std::move(t), "< Default >");
  }
  const auto mode = static_cast<TPaletteMode>(state.range(0));
  for (auto _ : state) {
    BuildPalettes(tree, mode);
    benchmark::DoNotOptimize(tree.GroupPalettes().data());
  }
}
BENCHMARK(BM_PaletteRebuildAfterStroke)
    ->Arg(pmPerTexture)
    ->Arg(pmPerSkin)
    ->Arg(pmPerPackage)
    ->Unit(benchmark::kMillisecond);

void BM_DragOnWindow(benchmark::State& state) {
  if (!std::getenv("DISPLAY")) {
    state.SkipWithError("needs a display: run under xvfb-run");
    return;
  }
  BenchApplication("bench_painter");
  // A private program folder and registry: the window reads its catalogue and game folder.
  const std::filesystem::path home = std::filesystem::temp_directory_path() / "corvane-bench-painter";
  std::filesystem::create_directories(home);
  setenv("CORVANE_HOME", home.c_str(), 1);
  setenv("CORVANE_REGISTRY", (home / "registry.ini").c_str(), 1);
  TScriptedPrompter prompts;
  TScopedPrompter scoped(prompts);
  {
    Tmain_unificada w;
    QWidget* image = ShowTextureInWindow(w, EightSections(0), MakeTexture(4096, 5), 9);
    QApplication::processEvents();
    auto send = [&](QEvent::Type type, int x, int y) { SendMouse(image, type, x, y); };
    int dabs = 0, moves = 0;
    for (auto _ : state) {
      state.PauseTiming();
      send(QEvent::MouseButtonPress, 10, 10);
      QApplication::processEvents();
      const int before = w.Document().StrokeDabs();
      state.ResumeTiming();
      // Across the texture: the first moves where the view shows them, the rest far away.
      for (int i = 1; i <= 50; ++i) {
        send(QEvent::MouseMove, i <= 25 ? 10 + 8 * i : 80 * i, i <= 25 ? 10 + 6 * i : 4090 - 80 * i);
        QApplication::processEvents();
      }
      state.PauseTiming();
      dabs = w.Document().StrokeDabs() - before;
      moves += 50;
      send(QEvent::MouseButtonRelease, 10, 10);
      QApplication::processEvents();
      state.ResumeTiming();
    }
    state.counters["dabs"] = dabs;
    state.counters["moves_per_s"] = benchmark::Counter(moves, benchmark::Counter::kIsRate);
  }
  std::filesystem::remove_all(home);
}
BENCHMARK(BM_DragOnWindow)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
