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

// A 1x1 RLE8 picture of 3 MB of runs that all reach past the row's end. Runs of 255 must cost
// about what runs of 1 cost: the decoder walks only the pixels that land (the ratio of /255 to
// /1 was about 255 when it walked them all).
std::vector<uint8_t> LongRunFile(uint8_t run) {
  std::vector<uint8_t> codes;
  while (codes.size() < (3u << 20)) codes.insert(codes.end(), {run, 3});
  std::vector<uint8_t> f;
  auto put = [&f](uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) f.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  const uint32_t colours = 16, offset = 14 + 40 + 4 * colours, size = static_cast<uint32_t>(codes.size());
  put('B' | ('M' << 8), 2), put(offset + size, 4), put(0, 4), put(offset, 4);
  put(40, 4), put(1, 4), put(1, 4), put(1, 2), put(8, 2), put(1, 4), put(size, 4), put(0, 4), put(0, 4),
      put(colours, 4), put(0, 4);
  for (uint32_t i = 0; i < colours; ++i) put(i * 0x010101u, 4);
  f.insert(f.end(), codes.begin(), codes.end());
  return f;
}

void BM_DecodeRleRunsPastTheRow(benchmark::State& state) {
  const std::vector<uint8_t> file = LongRunFile(static_cast<uint8_t>(state.range(0)));
  for (auto _ : state) {
    TBitmap b;
    DecodeBmp(file.data(), file.size(), b);
    benchmark::DoNotOptimize(b.ScanLine(0));
  }
}
BENCHMARK(BM_DecodeRleRunsPastTheRow)->Arg(1)->Arg(255)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
