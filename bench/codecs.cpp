// PNG and deflate TIFF decoding, file read included, on the pictures bench/compare-codecs makes
// (CORVANE_BENCH_PNG, CORVANE_BENCH_TIFF); without them, on a generated 1024x1024 PNG.
// Run: bench/compare-codecs build, or build/bench/bench_codecs
// (CORVANE_BENCH_TIFF=file.tif build/bench/bench_codecs --benchmark_filter=Inflate compares the inflaters)
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "codecs/GraphicCompression.h"
#include "codecs/PNGGraphic.h"
#include "codecs/TIFFGraphic.h"
#include "platform/Streams.h"

namespace {

// A plain RGB PNG made here when no picture is given: one IDAT, filter Sub.
std::string GeneratedPng() {
  static const std::string path = [] {
    const uint32_t w = 1024, h = 1024;
    std::vector<uint8_t> raw;
    uint32_t s = 1;
    for (uint32_t y = 0; y < h; ++y) {
      raw.push_back(0);
      for (uint32_t x = 0; x < w * 3; ++x)
        raw.push_back(static_cast<uint8_t>(x / 7 + y / 3 + ((s = s * 1664525u + 1013904223u) >> 29)));
    }
    std::vector<uint8_t> z(compressBound(raw.size()));
    uLongf zn = z.size();
    compress(z.data(), &zn, raw.data(), raw.size());
    auto be32 = [](std::vector<uint8_t>& v, uint32_t x) {
      for (int k = 24; k >= 0; k -= 8) v.push_back(static_cast<uint8_t>(x >> k));
    };
    std::vector<uint8_t> f = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    auto chunk = [&](const char* type, const uint8_t* d, size_t n) {
      be32(f, static_cast<uint32_t>(n));
      const size_t at = f.size();
      f.insert(f.end(), type, type + 4);
      f.insert(f.end(), d, d + n);
      be32(f, static_cast<uint32_t>(crc32(0, f.data() + at, static_cast<uInt>(n + 4))));
    };
    std::vector<uint8_t> ihdr;
    be32(ihdr, w);
    be32(ihdr, h);
    ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});
    chunk("IHDR", ihdr.data(), ihdr.size());
    chunk("IDAT", z.data(), zn);
    chunk("IEND", nullptr, 0);
    const std::string p = (std::filesystem::temp_directory_path() / "corvane-bench.png").string();
    TMemoryStream m(f);
    m.SaveToFile(p);
    return p;
  }();
  return path;
}

std::string Picture(const char* env) {
  const char* p = std::getenv(env);
  return p && *p ? p : "";
}

void BM_DecodePNG(benchmark::State& state) {
  std::string file = Picture("CORVANE_BENCH_PNG");
  if (file.empty()) file = GeneratedPng();
  for (auto _ : state) {
    TPNGGraphic g;
    g.LoadFromFile(file);
    benchmark::DoNotOptimize(g.ScanLine(0));
  }
}
BENCHMARK(BM_DecodePNG)->Unit(benchmark::kMillisecond);

void BM_DecodeTIFF(benchmark::State& state) {
  const std::string file = Picture("CORVANE_BENCH_TIFF");
  if (file.empty()) {
    state.SkipWithError("CORVANE_BENCH_TIFF names no picture (bench/compare-codecs makes one)");
    return;
  }
  for (auto _ : state) {
    TTIFFGraphic g;
    g.LoadFromFile(file);
    benchmark::DoNotOptimize(g.ScanLine(0));
  }
}
BENCHMARK(BM_DecodeTIFF)->Unit(benchmark::kMillisecond);

// The deflate strips of that TIFF inflated one after another into one strip's buffer, through
// igzip's streaming inflate (0) or libdeflate's whole-buffer one (1): the measure behind the
// reader's choice of inflater.
void BM_InflateTIFFStrips(benchmark::State& state) {
  const std::string file = Picture("CORVANE_BENCH_TIFF");
  TTIFFGraphic g;
  TMemoryStream m;
  if (!file.empty()) m.LoadFromFile(file);
  const uint8_t* data = m.Memory();
  const size_t size = static_cast<size_t>(m.Size());
  if (file.empty() || !g.ReadImageProperties(data, size, 0) || g.ImageProperties.Compression != ctLZ77) {
    state.SkipWithError("CORVANE_BENCH_TIFF names no deflate TIFF");
    return;
  }
  const TImageProperties& p = g.ImageProperties;
  const std::vector<uint32_t> offsets = g.GetValueList(273), counts = g.GetValueList(279);
  const size_t row = (static_cast<size_t>(p.Width) * p.BitsPerPixel + 7) / 8, rows = p.RowsPerStrip[0];
  std::vector<uint8_t> strip(row * rows);
  TLZ77Decoder z(1, true, state.range(0) == 1);
  for (auto _ : state)
    for (size_t i = 0; i < offsets.size() && i < counts.size(); ++i) {
      if (offsets[i] > size || counts[i] > size - offsets[i]) state.SkipWithError("a strip lies outside the file");
      const uint8_t* in = data + std::min<size_t>(offsets[i], size);
      uint8_t* out = strip.data();
      const size_t want = row * std::min<size_t>(rows, p.Height - i * rows);
      z.Decode(in, out, std::min<size_t>(counts[i], size - (in - data)), want);
      if (z.LastOutput != want) state.SkipWithError("a strip does not inflate to its rows");
    }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * row * p.Height));
}
BENCHMARK(BM_InflateTIFFStrips)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
BENCHMARK_MAIN();
