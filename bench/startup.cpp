// Start-up of the main window with a catalogue of 50 generated models (four sections each,
// each with a 256x256 4-bit wire bitmap, as the model compiler writes them).
//
// First the cold start of this process: from the application object to the main window
// shown on screen, with the peak memory of the process. Then Google Benchmark times the
// window's creation again (a warm start: fonts, styles and libraries already loaded).
// Needs a display: run under xvfb-run.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QApplication>
#include <QWindow>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "editor/crvn_unificado.h"
#include "model/ModelCatalogue.h"
#include "platform/Bitmap.h"
#include "platform/qt/IconPicture.h"
#include "platform/qt/Prompter.h"

namespace {
constexpr int kModels = 50;
constexpr int kSections = 4;

// A wire bitmap: a 4-bit picture of a few lines, like the triangle outlines of a real one.
void WriteWire(const std::filesystem::path& file, int seed) {
  TBitmap bmp(256, 256, TPixelFormat::pf4bit);
  bmp.SetPalette(DefaultPalette(TPixelFormat::pf4bit));
  bmp.Fill(clBlack);
  for (int i = 0; i < 256; ++i) {
    bmp.SetPixel(i, (i * (seed % 7 + 1)) % 256, clWhite);
    bmp.SetPixel((i * 3 + seed) % 256, i, clWhite);
  }
  bmp.SaveToFile(file.string());
}

void WriteCatalogue(const std::filesystem::path& home, int modelCount) {
  const std::filesystem::path custom = home / "CustomModels";
  std::filesystem::create_directories(custom);
  static const char* const options[kSections] = {", TEAM", ", TEAM, TextureIs256x256", ", FACE", ", TALKTEXTURE"};
  for (int m = 0; m < modelCount; ++m) {
    const std::string prefix = "Mdl" + std::to_string(m);
    std::ofstream cvmx(custom / (prefix + ".cvmx"), std::ios::binary);
    cvmx << "[Model-" << prefix << "]\r\nName=Model " << m << "\r\nPrefix=" << prefix << "\r\n3DFile=" << prefix
         << ".cvmd\r\nScaleX=1.5\r\nScaleY=1.5\r\nScaleZ=1.5\r\nOffsetZ=-20\r\n";
    for (int s = 1; s <= kSections; ++s) {
      cvmx << "Section" << s << "=Part" << s << options[s - 1] << "\r\n";
      WriteWire(custom / (prefix + "Wire" + std::to_string(s) + ".bmp"), m * 8 + s);
    }
    cvmx << "Preset1=Front;0;0;500;0;0;0\r\nPreset2=Side;500;0;0;0;0;0\r\n";
  }
}

std::filesystem::path MakeCatalogue() {
  char pattern[] = "/tmp/corvane-bench-startup-XXXXXX";
  const std::filesystem::path home = mkdtemp(pattern);
  WriteCatalogue(home, kModels);
  return home;
}

long PeakRssKiB() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

// Shows the window and returns once the windowing system has it on screen.
void ShowAndWait(Tmain_unificada& w) {
  w.show();
  while (!w.windowHandle() || !w.windowHandle()->isExposed()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  QCoreApplication::processEvents();
}

void BM_MainWindowStartup(benchmark::State& state) {
  for (auto _ : state) {
    Tmain_unificada w;
    ShowAndWait(w);
    benchmark::DoNotOptimize(w.State().Models().size());
  }
}
BENCHMARK(BM_MainWindowStartup)->Unit(benchmark::kMillisecond)->Iterations(10);

// The catalogue alone (extension files and wire bitmaps), the part of start-up that grows
// with the number of installed models.
void BM_LoadModelExtensions(benchmark::State& state) {
  TModelList models;
  TModelo current;
  for (auto _ : state) {
    LoadModelExtensions(models, current);
    benchmark::DoNotOptimize(models.size());
  }
}
BENCHMARK(BM_LoadModelExtensions)->Unit(benchmark::kMillisecond)->Iterations(10);
}  // namespace

int main(int argc, char** argv) {
  // bench/startup-process times the real program on this catalogue (or one of another size).
  if ((argc == 3 || argc == 4) && std::string(argv[1]) == "--write-catalogue") {
    WriteCatalogue(argv[2], argc == 4 ? std::atoi(argv[3]) : kModels);
    return 0;
  }
  const std::filesystem::path home = MakeCatalogue();
  setenv("CORVANE_HOME", home.c_str(), 1);
  setenv("CORVANE_REGISTRY", (home / "registry.ini").c_str(), 1);
  const long rssBefore = PeakRssKiB();

  const auto t0 = std::chrono::steady_clock::now();
  QCoreApplication::setAttribute(Qt::AA_DontCreateNativeWidgetSiblings);
  QApplication app(argc, argv);
  SetApplicationTitle("Corvane");
  RegisterQtPictureReaders();
  double coldMs = 0;
  size_t models = 0;
  {
    Tmain_unificada w;
    ShowAndWait(w);
    coldMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    models = w.State().Models().size();
  }
  std::printf(
      "cold start-up to the main window shown: %.1f ms, %zu models, peak memory %.1f MB "
      "(%.1f MB before the application object)\n",
      coldMs, models, PeakRssKiB() / 1024.0, rssBefore / 1024.0);
  std::fflush(stdout);

  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::printf("peak memory after the benchmark: %.1f MB\n", PeakRssKiB() / 1024.0);
  std::error_code ec;
  std::filesystem::remove_all(home, ec);
  return models == kModels ? 0 : 1;
}
