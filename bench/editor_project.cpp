// The skin editor's project work: building the palette groups of 40 textures of 256x256 under
// each option (target: under 100 ms), loading and saving a project of 40 such textures, and
// loading and saving projects of many texture lines (time per line).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "bench/BenchTexture.h"
#include "editor/PaletteGroups.h"
#include "editor/ProjectFile.h"
#include "model/crvn_struc.h"

namespace {

constexpr int kSkins = 5, kSections = 8, kSize = 256;  // 5 x 8 = 40 textures

std::unique_ptr<TModelo> MakeModel() {
  auto m = std::make_unique<TModelo>();
  m->Name = "Bench";
  m->Prefix = "Bench";
  for (int s = 1; s <= kSections; ++s) {
    auto p = std::make_unique<TModeloPart>();
    p->Flags = static_cast<uint32_t>(s);
    p->Width = kSize;
    p->Height = kSize;
    m->Parts.push_back({"Section" + std::to_string(s), std::move(p)});
  }
  return m;
}

void FillTree(TSkinTree& tree, const TModelo& model, const std::string& folder) {
  tree.SetRoot("bench (Bench)");
  int seed = 0;
  for (int k = 0; k < kSkins; ++k) {
    std::string code = "sk" + std::to_string(k) + "x";
    TSkinNode* skin = AddSkin(tree, "Skin " + std::to_string(k), code, model);
    for (const auto& section : skin->Children()) {
      auto t = std::make_unique<TObjetoTextura>();
      t->Bitmap = std::make_unique<TBitmap>(MakeTexture(kSize, seed++));
      if (!folder.empty()) {
        t->Filename = folder + code + std::to_string(section->SectionNumber) + ".bmp";
        t->Bitmap->SaveToFile(t->Filename);
      }
      AddTexture(section.get(), std::move(t), "< Default >");
    }
  }
}

void BM_BuildPalettes(benchmark::State& state) {
  auto model = MakeModel();
  TSkinTree tree;
  FillTree(tree, *model, "");
  const auto mode = static_cast<TPaletteMode>(state.range(0));
  for (auto _ : state) {
    BuildPalettes(tree, mode);
    benchmark::DoNotOptimize(tree.GroupPalettes().data());
  }
  state.counters["palettes"] = static_cast<double>(tree.GroupPalettes().size());
}
BENCHMARK(BM_BuildPalettes)->Arg(pmPerTexture)->Arg(pmPerSkin)->Arg(pmPerPackage)->Unit(benchmark::kMillisecond);

struct TProjectOnDisk {
  std::string Folder, File;
  std::vector<std::unique_ptr<TModelo>> Catalogue;
  TProjectOnDisk() {
    Folder = (std::filesystem::temp_directory_path() / ("corvane-bench-" + std::to_string(::getpid()))).string() + "/";
    std::filesystem::create_directories(Folder);
    File = Folder + "bench.cvp";
    Catalogue.push_back(MakeModel());
    TSkinTree tree;
    FillTree(tree, *Catalogue[0], Folder);
    SaveProjectFile(File, tree, *Catalogue[0], TProjectOptions(), Folder, nullptr);
  }
  ~TProjectOnDisk() {
    std::error_code ec;
    std::filesystem::remove_all(Folder, ec);
  }
};

void BM_LoadProject(benchmark::State& state) {
  TProjectOnDisk disk;
  const bool withPalettes = state.range(0) != 0;
  for (auto _ : state) {
    auto p = LoadProjectFile(disk.File, disk.Catalogue, disk.Folder, nullptr);
    // What the Load command does next.
    if (withPalettes) BuildPalettes(p->Tree, PaletteModeFromIndex(p->Options.ReducePalettes));
    benchmark::DoNotOptimize(p.get());
  }
}
BENCHMARK(BM_LoadProject)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_SaveProject(benchmark::State& state) {
  TProjectOnDisk disk;
  auto p = LoadProjectFile(disk.File, disk.Catalogue, disk.Folder, nullptr);
  for (auto _ : state) SaveProjectFile(disk.File, p->Tree, *p->Model, p->Options, disk.Folder, nullptr);
}
BENCHMARK(BM_SaveProject)->Unit(benchmark::kMillisecond);

// Load time per texture line of a project written by hand: 8 sections per skin, as many skins as
// the lines need, every line naming one small texture file. The per-line time at 20,000 lines
// divided by the one at 1,000 shows whether loading stays linear (target: within 1.5).
void BM_LoadProjectLines(benchmark::State& state) {
  const int lines = static_cast<int>(state.range(0));
  const std::string folder =
      (std::filesystem::temp_directory_path() / ("corvane-bench-lines-" + std::to_string(::getpid()))).string() + "/";
  std::filesystem::create_directories(folder);
  TBitmap(8, 8, TPixelFormat::pf24bit).SaveToFile(folder + "t.bmp");
  std::vector<std::unique_ptr<TModelo>> catalogue;
  catalogue.push_back(MakeModel());
  for (int s = 0; s < kSections; ++s)
    catalogue[0]->Parts[static_cast<size_t>(s)].Part->Width = catalogue[0]->Parts[static_cast<size_t>(s)].Part->Height =
        0;  // any size: no resampling
  std::string groups = "[Groups]\r\n", textures;
  for (int i = 0; i < lines; ++i) {
    const std::string code = "s" + std::to_string(i / kSections);
    if (i % kSections == 0) groups += code + "=Skin " + code + "\r\n";
    textures += "[" + code + "#" + std::to_string(i % kSections + 1) + "#< Default >]\r\nFilename=t.bmp\r\n";
  }
  const std::string file = folder + "lines.cvp";
  {
    std::ofstream f(file, std::ios::binary);
    f << "[General]\r\nModel=Bench\r\n" << groups << textures;
  }
  size_t loaded = 0;
  for (auto _ : state) {
    auto p = LoadProjectFile(file, catalogue, folder, nullptr);
    loaded = p->Tree.TextureNodes().size();
    benchmark::DoNotOptimize(p.get());
  }
  state.counters["lines"] = static_cast<double>(loaded);
  state.counters["per_line"] =
      benchmark::Counter(static_cast<double>(lines),
                         benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
}
BENCHMARK(BM_LoadProjectLines)->Arg(1000)->Arg(20000)->Unit(benchmark::kMillisecond);

// Save time per texture line of a project built in memory like the one above (8 sections per
// skin, one texture line per section, no painted textures, so no bitmap is written). The per-line
// time at 64,000 lines divided by the one at 1,000 shows whether saving stays linear (target:
// within 1.5).
void BM_SaveProjectLines(benchmark::State& state) {
  const int lines = static_cast<int>(state.range(0));
  const std::string folder =
      (std::filesystem::temp_directory_path() / ("corvane-bench-save-" + std::to_string(::getpid()))).string() + "/";
  std::filesystem::create_directories(folder);
  auto model = MakeModel();
  TSkinTree tree;
  tree.SetRoot("lines (Bench)");
  TSkinNode* skin = nullptr;
  for (int i = 0; i < lines; ++i) {
    if (i % kSections == 0)
      skin = AddSkin(tree, "Skin " + std::to_string(i / kSections), "s" + std::to_string(i / kSections), *model);
    auto t = std::make_unique<TObjetoTextura>();
    t->Filename = folder + "t.bmp";
    AddTexture(skin->Child(static_cast<size_t>(i % kSections)), std::move(t), "< Default >");
  }
  const std::string file = folder + "lines.cvp";
  for (auto _ : state) SaveProjectFile(file, tree, *model, TProjectOptions(), folder, nullptr);
  state.counters["lines"] = static_cast<double>(lines);
  state.counters["per_line"] =
      benchmark::Counter(static_cast<double>(lines),
                         benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
}
BENCHMARK(BM_SaveProjectLines)->Arg(1000)->Arg(4000)->Arg(16000)->Arg(64000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
