// The image arithmetic on 1024x1024 pictures: octree palette building, Floyd-Steinberg
// reduction to a 256-colour palette, and Lanczos3 resizing to 256x256.
// CORVANE_BENCH_IMAGES names 24-bit Windows bitmaps (separated by ':'); without it a synthetic
// picture is used. CORVANE_BENCH_PALETTE names a bitmap whose pixels are the palette to reduce
// to; without it each picture's own octree palette is used. bench/compare-imaging sets both.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "imaging/ColorReduction.h"
#include "imaging/resample.h"

namespace {

struct TPicture {
  std::string Name;
  TBitmap Bitmap;
};

TBitmap Synthetic() {
  TBitmap bmp(1024, 1024, TPixelFormat::pf24bit);
  uint32_t s = 12345;
  for (int y = 0; y < 1024; ++y)
    for (int x = 0; x < 1024; ++x) {
      s = s * 1664525u + 1013904223u;
      uint8_t* p = bmp.ScanLine(y) + 3 * x;
      p[0] = static_cast<uint8_t>(x / 4);
      p[1] = static_cast<uint8_t>((x + y) / 8);
      p[2] = static_cast<uint8_t>(y / 4 + (s >> 29));
    }
  return bmp;
}

const std::vector<TPicture>& Pictures() {
  static const std::vector<TPicture> pictures = [] {
    std::vector<TPicture> list;
    if (const char* env = std::getenv("CORVANE_BENCH_IMAGES")) {
      std::stringstream ss(env);
      std::string file;
      while (std::getline(ss, file, ':')) {
        if (file.empty()) continue;
        TPicture p;
        p.Name = file.substr(file.find_last_of('/') + 1);
        p.Bitmap.LoadFromFile(file);
        list.push_back(std::move(p));
      }
    }
    if (list.empty()) list.push_back({"synthetic", Synthetic()});
    return list;
  }();
  return pictures;
}

HPALETTE PaletteFor(const TPicture& p) {
  if (const char* env = std::getenv("CORVANE_BENCH_PALETTE")) {
    TBitmap pal;
    pal.LoadFromFile(env);
    std::vector<TPaletteEntry> entries;
    for (int y = 0; y < pal.Height() && entries.size() < 256; ++y)
      for (int x = 0; x < pal.Width() && entries.size() < 256; ++x) {
        TColor c = pal.Pixel(x, y);
        entries.push_back({GetRValue(c), GetGValue(c), GetBValue(c), 0});
      }
    return CreatePalette(std::move(entries));
  }
  TBitmap copy = p.Bitmap;
  return QuantizeBitmapPalette(copy, 256, 8, false);
}

void BM_QuantizeBitmapPalette(benchmark::State& state) {
  const TPicture& p = Pictures()[static_cast<size_t>(state.range(0))];
  TBitmap bmp = p.Bitmap;
  for (auto _ : state) {
    HPALETTE pal = QuantizeBitmapPalette(bmp, 256, 8, false);
    benchmark::DoNotOptimize(pal.get());
  }
  state.SetLabel(p.Name);
}

void BM_ReduceFloydSteinberg(benchmark::State& state) {
  const TPicture& p = Pictures()[static_cast<size_t>(state.range(0))];
  TBitmap bmp = p.Bitmap;
  HPALETTE pal = PaletteFor(p);
  for (auto _ : state) {
    auto out = ReduceBitmapColors(bmp, TReductionMethod::rdCustomPalette, TDitherKind::dtFloydSteinberg, 8, pal);
    benchmark::DoNotOptimize(out.get());
  }
  state.SetLabel(p.Name);
}

void BM_StretchLanczos3(benchmark::State& state) {
  const TPicture& p = Pictures()[static_cast<size_t>(state.range(0))];
  TBitmap bmp = p.Bitmap;
  TBitmap dst(256, 256, TPixelFormat::pf24bit);
  for (auto _ : state) {
    Stretch(bmp, dst);
    benchmark::DoNotOptimize(dst.ScanLine(0));
  }
  state.SetLabel(p.Name);
}

void PerPicture(benchmark::internal::Benchmark* b) {
  for (size_t i = 0; i < Pictures().size(); ++i) b->Arg(static_cast<int64_t>(i));
}

BENCHMARK(BM_QuantizeBitmapPalette)->Apply(PerPicture)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReduceFloydSteinberg)->Apply(PerPicture)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StretchLanczos3)->Apply(PerPicture)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
