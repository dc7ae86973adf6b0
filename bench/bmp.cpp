// Windows bitmap decode and encode, and pixel format conversion, on a 1024x1024 picture.
// Run: build/bench/bench_bmp
#include <benchmark/benchmark.h>

#include "platform/Bitmap.h"
#include "platform/BmpFormat.h"

namespace {

TBitmap Picture(TPixelFormat pf) {
  TBitmap b(1024, 1024, TPixelFormat::pf24bit);
  uint32_t s = 1;
  for (int y = 0; y < 1024; ++y) {
    uint8_t* row = b.ScanLine(y);
    for (int x = 0; x < 1024; ++x) {
      s = s * 1664525u + 1013904223u;
      row[3 * x] = static_cast<uint8_t>(x / 4);
      row[3 * x + 1] = static_cast<uint8_t>(y / 4);
      row[3 * x + 2] = static_cast<uint8_t>((s >> 24) & 0xF0);
    }
  }
  b.SetPixelFormat(pf);
  return b;
}

void BM_DecodeBmp(benchmark::State& state) {
  std::vector<uint8_t> file = EncodeBmp(Picture(static_cast<TPixelFormat>(state.range(0))));
  for (auto _ : state) {
    TBitmap b;
    DecodeBmp(file.data(), file.size(), b);
    benchmark::DoNotOptimize(b.ScanLine(0));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.size()));
}
BENCHMARK(BM_DecodeBmp)
    ->Arg(static_cast<int>(TPixelFormat::pf8bit))
    ->Arg(static_cast<int>(TPixelFormat::pf24bit))
    ->Arg(static_cast<int>(TPixelFormat::pf32bit))
    ->Unit(benchmark::kMillisecond);

void BM_EncodeBmp24(benchmark::State& state) {
  TBitmap b = Picture(TPixelFormat::pf24bit);
  for (auto _ : state) benchmark::DoNotOptimize(EncodeBmp(b));
}
BENCHMARK(BM_EncodeBmp24)->Unit(benchmark::kMillisecond);

// From range(0) to range(1); 24 to 8 bits searches the default palette for 1M distinct colours.
void BM_SetPixelFormat(benchmark::State& state) {
  TBitmap src = Picture(static_cast<TPixelFormat>(state.range(0)));
  for (auto _ : state) {
    TBitmap b = src;
    b.SetPixelFormat(static_cast<TPixelFormat>(state.range(1)));
    benchmark::DoNotOptimize(b.ScanLine(0));
  }
}
BENCHMARK(BM_SetPixelFormat)
    ->Args({static_cast<int>(TPixelFormat::pf24bit), static_cast<int>(TPixelFormat::pf8bit)})
    ->Args({static_cast<int>(TPixelFormat::pf8bit), static_cast<int>(TPixelFormat::pf24bit)})
    ->Args({static_cast<int>(TPixelFormat::pf24bit), static_cast<int>(TPixelFormat::pf16bit)})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
