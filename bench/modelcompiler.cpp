// The model compiler: reading and compiling jeep1.ms3d (assimp's sample model), and scanning a
// synthetic package of 10,000 exports with and without its .int file.
// bench/compare-modelcompiler times assimp on the same model in the same run.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "modelcompiler/ModelFileReaders.h"
#include "modelcompiler/ModelWriter.h"
#include "modelcompiler/PackageModels.h"
#include "packages/ut_packages.h"
#include "platform/Streams.h"
#include "tests/packages/RawPackage.h"

namespace {

const char* const Jeep = "/usr/share/assimp/models/MS3D/jeep1.ms3d";

// A folder of this process, removed at exit.
std::filesystem::path Scratch() {
  static struct TDir {
    std::filesystem::path Path =
        std::filesystem::temp_directory_path() / ("corvane_bench_mc_" + std::to_string(::getpid()));
    TDir() { std::filesystem::create_directories(Path); }
    ~TDir() {
      std::error_code ec;
      std::filesystem::remove_all(Path, ec);
    }
  } dir;
  return dir.Path;
}

void BM_ReadJeepMS3D(benchmark::State& state) {
  if (access(Jeep, R_OK) != 0) return state.SkipWithError("jeep1.ms3d missing (assimp-testmodels)");
  for (auto _ : state) {
    TObjeto3D mesh;
    ReadMS3DMesh(ReadWholeFile(Jeep), mesh, Jeep);
    benchmark::DoNotOptimize(mesh.Triangles.data());
  }
}
BENCHMARK(BM_ReadJeepMS3D)->Unit(benchmark::kMillisecond);

void BM_ReadAndCompileJeep(benchmark::State& state) {
  if (access(Jeep, R_OK) != 0) return state.SkipWithError("jeep1.ms3d missing (assimp-testmodels)");
  TCompileOptions o;
  o.Kind = TSourceKind::MilkShape3D;
  o.ModelFileName = Jeep;
  o.Name = "Jeep";
  o.OutputFolder = (Scratch() / "CustomModels").string();
  o.ConfirmOverwrite = [] { return true; };
  for (auto _ : state) {
    TObjeto3D mesh;
    ReadMS3DMesh(ReadWholeFile(Jeep), mesh, Jeep);
    AdjustMaterials(mesh, BuildMaterialList(mesh));
    benchmark::DoNotOptimize(CompileModel(mesh, o).WireFiles.size());
  }
}
BENCHMARK(BM_ReadAndCompileJeep)->Unit(benchmark::kMillisecond);

// 5,000 player classes, each with its mesh default, and their 5,000 LodMesh exports.
const std::string& SyntheticPackage() {
  static const std::string file = [] {
    using pkgtest::RawPackage;
    RawPackage p;
    p.Version = 69;
    p.Names = {"None", "Core", "Class", "Package", "Engine", "LodMesh", "Mesh", "MenuName", "FaceSkin", "Big"};
    p.Imports = {{1, 3, 0, 4}, {1, 2, -1, 5}};
    const int32_t players = 5000;
    std::string intText = "[Public]\r\n";
    for (int32_t i = 0; i < players; ++i) {
      const int32_t cls = static_cast<int32_t>(p.Names.size());
      p.Names.push_back("Player" + std::to_string(i));
      p.Names.push_back("PlayerMesh" + std::to_string(i));
      std::vector<uint8_t> defaults;
      RawPackage::Index(defaults, 6);
      defaults.push_back(0x05);
      RawPackage::Index(defaults, players + i + 1);
      RawPackage::Index(defaults, 8);
      defaults.push_back(0x22);
      RawPackage::U32(defaults, 1);
      RawPackage::Index(defaults, 0);
      p.Exports.push_back({0, 0, 0, cls, 0, defaults});
      intText += "Object=(Name=Big.Player" + std::to_string(i) + ",Class=Class,MetaClass=Botpack.TournamentPlayer)\r\n";
    }
    for (int32_t i = 0; i < players; ++i) p.Exports.push_back({-2, 0, 0, 11 + 2 * i, 0, std::vector<uint8_t>(64, 0)});
    const std::string u = (Scratch() / "Big.u").string();
    const std::vector<uint8_t> bytes = p.Build();
    std::ofstream(u, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    std::ofstream((Scratch() / "Big.int").string(), std::ios::binary) << intText;
    return u;
  }();
  return file;
}

void BM_ScanPackage10000Exports(benchmark::State& state) {
  const bool useInt = state.range(0) != 0;
  const std::string chosen = useInt ? (Scratch() / "Big.int").string() : SyntheticPackage();
  SyntheticPackage();
  size_t rows = 0;
  for (auto _ : state) {
    TUTPackage package;
    rows = ScanPackage(chosen, useInt, package).Rows.size();
  }
  state.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK(BM_ScanPackage10000Exports)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
