// A stroke's end in the real window while the 3D preview shows the painted texture.
//
// BM_StrokeToPreview: the main window with the program's own preview (a scene viewer in its 3D
// area) and a model of one section, a quad read from its model file, whose texture is
// size x size pixels. A stroke is painted through the texture view as the window receives it
// (press, 20 moves, release); then the event loop runs until the preview has drawn a frame with
// the stroke's picture. Every event the window's thread handles from the release on is timed
// (QApplication::notify, outermost calls only; the release is one of them).
// Counters: longest_step_ms (the longest single event over all strokes; the label names it),
// longest_frame_ms (the longest of the viewer's events: its paints, uploads included),
// shown_ms and shown_max_ms (release to the frame that shows the stroke: mean and longest),
// frames (the viewer's paints from release to shown, mean), upload_ms (from the preview given
// the stroke's picture to the frame that shows it, mean), release_ms (the release alone).
// Needs a display:
//
//   xvfb-run -a -s "-screen 0 1280x1024x24" taskset -c 2,3 build/bench/bench_preview_stroke
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "bench/WindowBench.h"
#include "controls/LabelScrollBar.h"
#include "editor/EditorDocument.h"
#include "editor/ModelPreview.h"
#include "editor/crvn_unificado.h"
#include "model/crvn_cvmdformat.h"
#include "model/crvn_struc.h"
#include "platform/qt/ScriptedPrompter.h"
#include "scene/widgets/GLSceneViewer.h"

namespace {

using TClock = std::chrono::steady_clock;
double MsSince(TClock::time_point t0) { return std::chrono::duration<double, std::milli>(TClock::now() - t0).count(); }

// Times the outermost events the window's thread handles while Timing is set.
class TTimedApplication : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* event) override {
    if (FDepth > 0 || !Timing) {
      ++FDepth;
      const bool r = QApplication::notify(receiver, event);
      --FDepth;
      return r;
    }
    const int type = event->type();
    // Read before: the event may delete its receiver.
    const std::string what = receiver ? receiver->metaObject()->className() : "?";
    const bool viewer = qobject_cast<TGLSceneViewer*>(receiver) != nullptr;
    const TClock::time_point t0 = TClock::now();
    ++FDepth;
    const bool r = QApplication::notify(receiver, event);
    --FDepth;
    const double ms = MsSince(t0);
    if (PrintSteps && ms >= 1) std::fprintf(stderr, "  %8.1f ms  %s event %d\n", ms, what.c_str(), type);
    if (viewer) LongestViewer = std::max(LongestViewer, ms);
    if (ms > Longest) {
      Longest = ms;
      LongestWhat = what + " event " + std::to_string(type);
    }
    if (AfterEvent) AfterEvent();
    return r;
  }
  bool Timing = false;
  std::function<void()> AfterEvent;  // after each timed event
  // CORVANE_BENCH_STEPS=1 prints every timed event of a millisecond or more.
  bool PrintSteps = std::getenv("CORVANE_BENCH_STEPS") != nullptr;
  double Longest = 0, LongestViewer = 0;
  std::string LongestWhat;

 private:
  int FDepth = 0;
};

// One quad of section 1 facing the camera, the whole texture on it.
void WriteQuad(const std::string& file) {
  TObjeto3D m;
  m.Materials.push_back({"Section1", MATERIAL_NORMAL});
  m.Vertices = {{-300, -300, 0}, {300, -300, 0}, {300, 300, 0}, {-300, 300, 0}};
  m.UVs = {{0, 1}, {1, 1}, {1, 0}, {0, 0}};
  for (const auto& t : {std::array<int, 3>{0, 1, 2}, std::array<int, 3>{0, 2, 3}}) {
    TObjeto3DTriangulo tri;
    tri.Vertex0 = tri.UV0 = t[0];
    tri.Vertex1 = tri.UV1 = t[1];
    tri.Vertex2 = tri.UV2 = t[2];
    m.Triangles.push_back(tri);
  }
  SaveToCVMD(m, file);
}

// Whether a picture is still on its way to the texture (only where uploads span frames).
template <typename T>
bool UploadPending(const T& texture) {
  if constexpr (requires { texture.UploadPending(); })
    return texture.UploadPending();
  else
    return false;
}

void BM_StrokeToPreview(benchmark::State& state) {
  if (!std::getenv("DISPLAY")) {
    state.SkipWithError("needs a display: run under xvfb-run");
    return;
  }
  const int size = static_cast<int>(state.range(0));
  TTimedApplication* app = BenchApplication<TTimedApplication>("bench_preview_stroke");
  const std::filesystem::path home = std::filesystem::temp_directory_path() / "corvane-bench-preview-stroke";
  std::filesystem::create_directories(home);
  setenv("CORVANE_HOME", home.c_str(), 1);
  setenv("CORVANE_REGISTRY", (home / "registry.ini").c_str(), 1);
  WriteQuad((home / "Quad.cvmd").string());
  TScriptedPrompter prompts;
  TScopedPrompter scoped(prompts);
  {
    auto owned = std::make_unique<TModelPreview>();
    TModelPreview* preview = owned.get();
    Tmain_unificada w(nullptr, std::move(owned));
    auto model = std::make_unique<TModelo>();
    model->Key = (home / "Quad.cvmx").string() + "|Quad";
    model->File3D = (home / "Quad.cvmd").string();
    auto part = std::make_unique<TModeloPart>();
    part->Flags = 1;
    model->Parts.push_back({"Section1", std::move(part)});
    QWidget* image = ShowTextureInWindow(w, std::move(model), MakeTexture(size, 3), 30);
    TGLSceneViewer* viewer = preview->Viewer();
    TGLTexture& texture = preview->Scene().Actors[0]->Material().Texture();
    auto picture = [&] {
      const auto* p = dynamic_cast<const TGLPictureImage*>(&texture.Image());
      return p && !p->Picture().Bitmap().Empty() ? p->Picture().Bitmap().ScanLine(0) : nullptr;
    };
    auto uploaded = [&] { return texture.Changes() == 0 && !UploadPending(texture); };
    // Settles: the first frames, the first upload, and whatever a stroke left behind.
    auto settle = [&](double ms) {
      const TClock::time_point t0 = TClock::now();
      while (MsSince(t0) < ms || !uploaded() || w.Document().PalettesPending()) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        if (MsSince(t0) > 120000) break;
      }
    };
    settle(1000);
    if (!viewer || !uploaded() || !picture()) {
      state.SkipWithError("the preview never showed the texture");
      return;
    }
    auto send = [&](QEvent::Type type, int x, int y) { SendMouse(image, type, x, y); };
    double longest = 0, longestViewer = 0, uploadSum = 0, shownSum = 0, shownMax = 0, releaseSum = 0, framesSum = 0;
    std::string longestWhat;
    int strokes = 0, y = 20;
    for (auto _ : state) {
      send(QEvent::MouseButtonPress, 20, y);
      for (int i = 1; i <= 20; ++i) send(QEvent::MouseMove, 20 + 8 * i, y + 3 * i);
      QApplication::processEvents();
      const uint8_t* before = picture();
      const int paintsBefore = viewer->PaintCount;
      app->Longest = app->LongestViewer = 0;
      app->Timing = true;
      if (app->PrintSteps) std::fprintf(stderr, "stroke %d, from the release:\n", strokes + 1);
      const TClock::time_point t0 = TClock::now();
      // Looked at after every event: when the preview got the stroke's picture, when it showed it.
      double givenMs = -1, shownMs = -1;
      app->AfterEvent = [&] {
        if (picture() == before) return;
        if (givenMs < 0) givenMs = MsSince(t0);
        if (shownMs < 0 && uploaded()) shownMs = MsSince(t0);
      };
      send(QEvent::MouseButtonRelease, 180, y + 60);
      releaseSum += MsSince(t0);
      while (shownMs < 0 && MsSince(t0) < 60000)
        QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
      const bool shown = shownMs >= 0;
      uploadSum += shownMs - givenMs;
      app->Timing = false;
      app->AfterEvent = nullptr;
      if (!shown) {
        state.SkipWithError("the stroke never reached the preview");
        break;
      }
      shownSum += shownMs;
      shownMax = std::max(shownMax, shownMs);
      framesSum += viewer->PaintCount - paintsBefore;
      longestViewer = std::max(longestViewer, app->LongestViewer);
      if (app->Longest > longest) {
        longest = app->Longest;
        longestWhat = app->LongestWhat;
      }
      ++strokes;
      y = 20 + (y + 40) % 200;
      state.PauseTiming();
      settle(300);
      state.ResumeTiming();
    }
    if (strokes > 0) {
      state.counters["longest_step_ms"] = longest;
      state.counters["longest_frame_ms"] = longestViewer;
      state.counters["shown_ms"] = shownSum / strokes;
      state.counters["shown_max_ms"] = shownMax;
      state.counters["frames"] = framesSum / strokes;
      state.counters["upload_ms"] = uploadSum / strokes;
      state.counters["release_ms"] = releaseSum / strokes;
      state.SetLabel("longest: " + longestWhat);
    }
  }
  std::filesystem::remove_all(home);
}
BENCHMARK(BM_StrokeToPreview)->Arg(4096)->Arg(1024)->ArgName("size")->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
