// Loading an icon whose directory names one 256x256 picture 65,535 times: only the chosen entry
// may be decoded (decoding every one took the best part of a minute). Compare with /1, a
// directory of one entry.
// Run: build/bench/bench_icon
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include <QCoreApplication>

#include "platform/Bitmap.h"
#include "platform/Streams.h"
#include "platform/qt/IconPicture.h"
#include "tests/support/IconFiles.h"

namespace {

void BM_LoadRepeatedIcon(benchmark::State& state) {
  const std::string file =
      (std::filesystem::temp_directory_path() / ("corvane-bench-icon-" + std::to_string(::getpid()) + ".ico")).string();
  const std::vector<uint8_t> bytes =
      testsupport::RepeatedIconFile(testsupport::GradientPng(), static_cast<uint32_t>(state.range(0)));
  WriteFileAtomically(file, bytes.data(), bytes.size());
  for (auto _ : state) benchmark::DoNotOptimize(LoadIconFromFile(file).Width());
  std::filesystem::remove(file);
}
BENCHMARK(BM_LoadRepeatedIcon)->Arg(1)->Arg(65535)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);  // image format plugins are found through it
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
