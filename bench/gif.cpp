// GIF decoding: a file read, its frames decoded, and the first frame rendered as a bitmap (what
// gif2rgb does before it writes its RGB output). CORVANE_BENCH_GIFS names GIF files separated
// by ':'; without it a synthetic 1024x1024 noise picture of 256 colours is written first.
// bench/compare-gif sets it.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "codecs/GIFImage.h"

namespace {

std::string Synthetic() {
  const std::string file = (std::filesystem::temp_directory_path() / "corvane_bench_noise.gif").string();
  TGIFImage g;
  auto f = std::make_unique<TGIFSubImage>(&g);
  f->Width = f->Height = 1024;
  for (int i = 0; i < 256; ++i) f->ColorMap.Add(RGBColor(static_cast<uint8_t>(i), static_cast<uint8_t>(i * 7), 0));
  f->Data.resize(1024 * 1024);
  uint32_t s = 12345;
  for (uint8_t& p : f->Data) p = static_cast<uint8_t>((s = s * 1664525u + 1013904223u) >> 24);
  g.Add(std::move(f));
  g.SaveToFile(file);
  return file;
}

std::vector<std::string> Files() {
  std::vector<std::string> list;
  if (const char* env = std::getenv("CORVANE_BENCH_GIFS")) {
    std::stringstream ss(env);
    std::string file;
    while (std::getline(ss, file, ':'))
      if (!file.empty()) list.push_back(file);
  }
  if (list.empty()) list.push_back(Synthetic());
  return list;
}

void BM_GIFDecode(benchmark::State& state, const std::string& file) {
  for (auto _ : state) {
    TGIFImage g;
    g.LoadFromFile(file);
    benchmark::DoNotOptimize(g.Images.data());
  }
}

void BM_GIFDecodeRender(benchmark::State& state, const std::string& file) {
  for (auto _ : state) {
    TGIFImage g;
    g.LoadFromFile(file);
    TBitmap b;
    g.AssignTo(b);
    benchmark::DoNotOptimize(b.ScanLine(0));
  }
}

const int kRegistered = [] {
  for (const std::string& f : Files()) {
    const std::string name = f.substr(f.find_last_of('/') + 1);
    benchmark::RegisterBenchmark(("BM_GIFDecode/" + name).c_str(), BM_GIFDecode, f)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("BM_GIFDecodeRender/" + name).c_str(), BM_GIFDecodeRender, f)
        ->Unit(benchmark::kMillisecond);
  }
  return 0;
}();

}  // namespace

BENCHMARK_MAIN();
