// Loading a 65,000-triangle model data file (with the unwelding of shared corners) against
// plainly reading the same file's bytes. Prints triangles per second and the ratio of the two.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

#include "model/crvn_cvmdformat.h"
#include "platform/Streams.h"

namespace {

constexpr int kTriangles = 65000;

// A grid of shared vertices, as a real model has: inner vertices belong to six triangles, so
// most corners need a copy of their own.
const std::string& MeshFile() {
  static const std::string file = [] {
    const int side = 182;  // 2 * 181 * 181 = 65522 triangles, the first 65000 are kept
    TObjeto3D m;
    for (int y = 0; y < side; ++y)
      for (int x = 0; x < side; ++x) {
        m.Vertices.push_back({static_cast<float>(x), static_cast<float>(y), static_cast<float>((x * y) % 7)});
        m.UVs.push_back({x / float(side), y / float(side)});
        m.Normals.push_back({0, 0, 1});
      }
    for (int i = 0; i < 8; ++i) m.Materials.push_back({"section" + std::to_string(i), i == 7 ? 8 : 0});
    for (int y = 0; y + 1 < side && static_cast<int>(m.Triangles.size()) < kTriangles; ++y)
      for (int x = 0; x + 1 < side && static_cast<int>(m.Triangles.size()) < kTriangles; ++x) {
        const int a = y * side + x, b = a + 1, c = a + side, d = c + 1;
        const int mat = (y * 8) / side;
        m.Triangles.push_back({a, b, c, a, b, c, a, b, c, mat});
        if (static_cast<int>(m.Triangles.size()) < kTriangles) m.Triangles.push_back({b, d, c, b, d, c, b, d, c, mat});
      }
    std::string name =
        (std::filesystem::temp_directory_path() / ("corvane_bench_" + std::to_string(::getpid()) + ".cvmd")).string();
    SaveToCVMD(m, name);
    return name;
  }();
  return file;
}

void BM_LoadFromCVMD(benchmark::State& state) {
  const std::string& file = MeshFile();
  TObjeto3D mesh;
  for (auto _ : state) {
    LoadFromCVMD(mesh, file);
    benchmark::DoNotOptimize(mesh.Triangles.data());
  }
  if (mesh.Triangles.size() != kTriangles) state.SkipWithError("the mesh did not load whole");
  state.counters["triangles/s"] =
      benchmark::Counter(static_cast<double>(kTriangles), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["corners+copies"] = static_cast<double>(mesh.Vertices.size());
}
BENCHMARK(BM_LoadFromCVMD)->Unit(benchmark::kMillisecond);

void BM_ReadFileBytes(benchmark::State& state) {
  const std::string& file = MeshFile();
  size_t bytes = 0;
  for (auto _ : state) {
    std::vector<uint8_t> data = ReadWholeFile(file);
    bytes = data.size();
    benchmark::DoNotOptimize(data.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes * state.iterations()));
}
BENCHMARK(BM_ReadFileBytes)->Unit(benchmark::kMillisecond);

// Keeps the console output and remembers each benchmark's time per iteration for the ratio.
class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs)
      if (r.run_type == Run::RT_Iteration && !r.error_occurred) Times[r.benchmark_name()] = r.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> Times;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  auto load = reporter.Times.find("BM_LoadFromCVMD"), read = reporter.Times.find("BM_ReadFileBytes");
  if (load != reporter.Times.end() && read != reporter.Times.end() && read->second > 0)
    std::printf("load / plain read of the same file: %.2f\n", load->second / read->second);
  std::filesystem::remove(MeshFile());
  benchmark::Shutdown();
  return 0;
}
