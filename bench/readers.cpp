// Decoding Targa and Photoshop files into bitmaps: file reading included, as the importer does
// it. The files come from CORVANE_BENCH_TGA and CORVANE_BENCH_PSD (bench/compare-readers
// makes them); without them a 4096x4096 Targa of our own writing is used.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "codecs/PSDGraphic.h"
#include "codecs/TargaGraphic.h"

namespace {

std::string TestTarga() {
  static const std::string path = [] {
    const char* env = std::getenv("CORVANE_BENCH_TGA");
    if (env) return std::string(env);
    TTargaGraphic g;
    static_cast<TBitmap&>(g) = TBitmap(4096, 4096, TPixelFormat::pf24bit);
    uint32_t s = 1;
    for (int y = 0; y < g.Height(); ++y)
      for (int x = 0; x < 4096 * 3; ++x)
        g.ScanLine(y)[x] = static_cast<uint8_t>(x / 3 * 255 / 4095 + ((s = s * 1664525u + 1013904223u) >> 29));
    const std::string file = "/tmp/corvane-bench-readers.tga";
    g.SaveToFile(file);
    return file;
  }();
  return path;
}

template <class TGraphic>
void Decode(benchmark::State& state, const std::string& file) {
  if (file.empty()) {
    state.SkipWithError("no file: set the environment variable");
    return;
  }
  for (auto _ : state) {
    TGraphic g;
    g.LoadFromFile(file);
    benchmark::DoNotOptimize(g.ScanLine(0));
  }
}

void BM_DecodeTarga(benchmark::State& state) { Decode<TTargaGraphic>(state, TestTarga()); }
void BM_DecodePSD(benchmark::State& state) {
  const char* env = std::getenv("CORVANE_BENCH_PSD");
  Decode<TPSDGraphic>(state, env ? env : "");
}

}  // namespace

BENCHMARK(BM_DecodeTarga)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodePSD)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
