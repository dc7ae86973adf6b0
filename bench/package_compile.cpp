// Compiling a project of 24 textures of 256x256 with all mip levels into a texture package,
// against the colour reductions that compile performs. With --write-inputs DIR the program
// writes every level it reduces (24-bit PPM) and the palette, for a peer to remap the same
// pixels (bench/compare-packages).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "imaging/ColorReduction.h"
#include "packages/MipMaps.h"
#include "packages/TexturePackage.h"

namespace {
constexpr int kSize = 256;  // 4 skins x 3 sections x 2 textures = 24 textures of this size

HPALETTE BenchPalette() {
  std::vector<TPaletteEntry> e;
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 6; ++g)
      for (int b = 0; b < 6; ++b)
        e.push_back({static_cast<uint8_t>(r * 51), static_cast<uint8_t>(g * 51), static_cast<uint8_t>(b * 51), 0});
  for (int i = 0; i < 40; ++i)
    e.push_back({static_cast<uint8_t>(3 + i * 6), static_cast<uint8_t>(3 + i * 6), static_cast<uint8_t>(3 + i * 6), 0});
  return CreatePalette(std::move(e));
}

// Smooth shading with some detail, like a skin texture: plenty of work for the ditherer.
std::unique_ptr<TBitmap> BenchTexture(int seed) {
  auto b = std::make_unique<TBitmap>(kSize, kSize, TPixelFormat::pf24bit);
  for (int y = 0; y < kSize; ++y) {
    uint8_t* row = b->ScanLine(y);
    for (int x = 0; x < kSize; ++x) {
      const int n = (x * 7 + y * 13 + seed * 31) % 23;
      row[3 * x + 0] = static_cast<uint8_t>((x + seed * 9) & 0xFF);
      row[3 * x + 1] = static_cast<uint8_t>((y * 3 / 4 + n) & 0xFF);
      row[3 * x + 2] = static_cast<uint8_t>(((x + y) / 2 + seed * 5) & 0xFF);
    }
  }
  return b;
}

struct TBenchProject {
  std::vector<std::unique_ptr<TBitmap>> Bitmaps;
  TPackageProject Project;
  TBenchProject() {
    Project.ProjectFileName = "/tmp/Bench.cvp";
    Project.Model.SectionFlags = {1, 2, 3, 4};
    const HPALETTE pal = BenchPalette();
    for (int s = 0; s < 4; ++s) {
      Project.Skins.push_back({"SK" + std::to_string(s) + "X", "Skin " + std::to_string(s), {}});
      for (int sec = 1; sec <= 3; ++sec) {
        TPackageSkinSection section{sec, {}};
        for (const char* id : {"", "t_1"}) {
          Bitmaps.push_back(BenchTexture(static_cast<int>(Bitmaps.size())));
          section.Textures.push_back({id, "", Bitmaps.back().get(), pal});
        }
        Project.Skins.back().Sections.push_back(std::move(section));
      }
    }
  }
};

// Every level the compile reduces, as 24-bit bitmaps (the halving is not timed).
std::vector<std::unique_ptr<TBitmap>> AllLevels(const TBenchProject& p) {
  std::vector<std::unique_ptr<TBitmap>> levels;
  for (const auto& b : p.Bitmaps) {
    TBitmap copy(*b);
    const int count = MipLevelCount(copy.Width(), copy.Height(), false);
    for (int i = 0; i < count; ++i) {
      levels.push_back(std::make_unique<TBitmap>(copy));
      HalveBitmap(copy);
    }
  }
  return levels;
}

void BM_CompilePackage24Textures(benchmark::State& state) {
  TBenchProject p;
  size_t bytes = 0;
  for (auto _ : state) {
    const TCompiledPackage c = BuildTexturePackage(p.Project);
    bytes = c.Utx.size();
    benchmark::DoNotOptimize(c.Utx.data());
  }
  state.counters["package_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_CompilePackage24Textures)->Unit(benchmark::kMillisecond);

void BM_ReductionsOf24Textures(benchmark::State& state) {
  TBenchProject p;
  auto levels = AllLevels(p);
  const HPALETTE pal = BenchPalette();
  for (auto _ : state) {
    for (auto& l : levels) {
      auto r = ReduceBitmapColors(*l, TReductionMethod::rdCustomPalette, TDitherKind::dtFloydSteinberg, 8, pal);
      benchmark::DoNotOptimize(r.get());
    }
  }
  state.counters["levels"] = static_cast<double>(levels.size());
}
BENCHMARK(BM_ReductionsOf24Textures)->Unit(benchmark::kMillisecond);

void WritePPM(const std::string& file, const TBitmap& b) {
  std::ofstream f(file, std::ios::binary);
  f << "P6\n" << b.Width() << " " << b.Height() << "\n255\n";
  std::vector<char> row(static_cast<size_t>(b.Width()) * 3);
  for (int y = 0; y < b.Height(); ++y) {
    const uint8_t* s = b.ScanLine(y);
    for (int x = 0; x < b.Width(); ++x) {
      row[3 * x] = static_cast<char>(s[3 * x + 2]);
      row[3 * x + 1] = static_cast<char>(s[3 * x + 1]);
      row[3 * x + 2] = static_cast<char>(s[3 * x]);
    }
    f.write(row.data(), static_cast<std::streamsize>(row.size()));
  }
}

int WriteInputs(const std::string& dir) {
  std::filesystem::create_directories(dir + "/levels");
  TBenchProject p;
  const auto levels = AllLevels(p);
  char name[64];
  for (size_t i = 0; i < levels.size(); ++i) {
    std::snprintf(name, sizeof name, "/levels/level_%03zu.ppm", i);
    WritePPM(dir + name, *levels[i]);
  }
  const HPALETTE pal = BenchPalette();
  TBitmap strip(static_cast<int>(pal->Entries.size()), 1);
  for (size_t i = 0; i < pal->Entries.size(); ++i) {
    uint8_t* px = strip.ScanLine(0) + 3 * i;
    px[0] = pal->Entries[i].peBlue;
    px[1] = pal->Entries[i].peGreen;
    px[2] = pal->Entries[i].peRed;
  }
  WritePPM(dir + "/palette.ppm", strip);
  std::printf("%zu levels\n", levels.size());
  return 0;
}
}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "--write-inputs") == 0) return WriteInputs(argv[i + 1]);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
