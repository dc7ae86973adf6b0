// Our image arithmetic beside ImageMagick's own library, in one process, on the same pictures:
// a plasma and a photo-like picture at 256x256, 1024x1024 and 4096x4096. Three jobs, each done
// the same way on both sides:
//   QuantizeAndMap  256-colour palette built from the picture, every pixel mapped to it, no
//                   dithering (ours: octree palette + nearest colour; theirs: quantize);
//   RemapFS         Floyd-Steinberg to one fixed 256-colour palette (ours: the custom palette
//                   reduction; theirs: remap);
//   Lanczos3        resize to a quarter of the side.
// Neither side reads a file inside the timing: both start from pixels in memory. ImageMagick's
// side includes cloning the picture (its operations work in place; ours return a new bitmap).
// Both sides run on one thread: ImageMagick is limited to one (MAGICK_THREAD_LIMIT=1, unless the
// caller sets another limit); the counter "threads" is the number it may use.
//
// --write-inputs DIR writes each picture (NAME-SIZE.bmp) and its remap palette
// (NAME-SIZE-palette.bmp, the colours in one row) as 24-bit bitmaps, for bench/compare-imaging's
// whole-process column.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "bench/peer/MagickPeer.h"
#include "imaging/ColorQuantizer.h"
#include "imaging/ColorReduction.h"
#include "imaging/resample.h"

namespace {

constexpr int kSizes[] = {256, 1024, 4096};
const char* const kPictures[] = {"plasma", "photo"};

struct TPeerPicture {
  TBitmap Ours;
  magickpeer::TImage* Theirs = nullptr;
  HPALETTE Palette;                     // the fixed palette of the remap job
  magickpeer::TImage* Remap = nullptr;  // the same palette as a picture of one row
};

TPeerPicture& Picture(int index, int size) {
  static std::map<std::pair<int, int>, TPeerPicture> cache;
  TPeerPicture& p = cache[{index, size}];
  if (p.Theirs) return p;
  p.Theirs = magickpeer::Generate(kPictures[index], size);
  p.Ours = TBitmap(magickpeer::Width(p.Theirs), magickpeer::Height(p.Theirs), TPixelFormat::pf24bit);
  for (int y = 0; y < p.Ours.Height(); ++y) magickpeer::ExportRowBGR(p.Theirs, y, p.Ours.ScanLine(y));
  TBitmap copy = p.Ours;
  p.Palette = QuantizeBitmapPalette(copy, 256, 8, false);
  std::vector<uint8_t> rgb;
  for (const TPaletteEntry& e : p.Palette->Entries) rgb.insert(rgb.end(), {e.peRed, e.peGreen, e.peBlue});
  p.Remap = magickpeer::FromRGB(rgb, static_cast<int>(p.Palette->Entries.size()), 1);
  return p;
}

void Label(benchmark::State& state) {
  state.SetLabel(std::string(kPictures[state.range(0)]) + "-" + std::to_string(state.range(1)));
  state.counters["threads"] = magickpeer::Threads();
}

void Args(benchmark::internal::Benchmark* b) {
  for (int i = 0; i < 2; ++i)
    for (int s : kSizes) b->Args({i, s});
  b->Unit(benchmark::kMillisecond);
}

TPeerPicture& PictureOf(const benchmark::State& state) {
  return Picture(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
}

void BM_QuantizeAndMap_Ours(benchmark::State& state) {
  TPeerPicture& p = PictureOf(state);
  for (auto _ : state) {
    auto out = ReduceBitmapColors(p.Ours, TReductionMethod::rdOptimal, TDitherKind::dtNearest, 8, nullptr);
    benchmark::DoNotOptimize(out.get());
  }
  Label(state);
}

void BM_QuantizeAndMap_ImageMagick(benchmark::State& state) {
  TPeerPicture& p = PictureOf(state);
  for (auto _ : state) magickpeer::QuantizeAndMap(p.Theirs, 256);
  Label(state);
}

void BM_RemapFS_Ours(benchmark::State& state) {
  TPeerPicture& p = PictureOf(state);
  for (auto _ : state) {
    auto out =
        ReduceBitmapColors(p.Ours, TReductionMethod::rdCustomPalette, TDitherKind::dtFloydSteinberg, 8, p.Palette);
    benchmark::DoNotOptimize(out.get());
  }
  Label(state);
}

void BM_RemapFS_ImageMagick(benchmark::State& state) {
  TPeerPicture& p = PictureOf(state);
  for (auto _ : state) magickpeer::RemapFloydSteinberg(p.Theirs, p.Remap);
  Label(state);
}

void BM_Lanczos3_Ours(benchmark::State& state) {
  TPeerPicture& p = PictureOf(state);
  const int side = static_cast<int>(state.range(1)) / 4;
  TBitmap dst(side, side, TPixelFormat::pf24bit);
  for (auto _ : state) {
    Stretch(p.Ours, dst);
    benchmark::DoNotOptimize(dst.ScanLine(0));
  }
  Label(state);
}

void BM_Lanczos3_ImageMagick(benchmark::State& state) {
  TPeerPicture& p = PictureOf(state);
  const int side = static_cast<int>(state.range(1)) / 4;
  for (auto _ : state) magickpeer::ResizeLanczos(p.Theirs, side, side);
  Label(state);
}

BENCHMARK(BM_QuantizeAndMap_Ours)->Apply(Args);
BENCHMARK(BM_QuantizeAndMap_ImageMagick)->Apply(Args);
BENCHMARK(BM_RemapFS_Ours)->Apply(Args);
BENCHMARK(BM_RemapFS_ImageMagick)->Apply(Args);
BENCHMARK(BM_Lanczos3_Ours)->Apply(Args);
BENCHMARK(BM_Lanczos3_ImageMagick)->Apply(Args);

void WriteInputs(const std::string& dir) {
  for (int s : kSizes)
    for (int i = 0; i < 2; ++i) {
      TPeerPicture& p = Picture(i, s);
      const std::string base = dir + "/" + kPictures[i] + "-" + std::to_string(s);
      p.Ours.SaveToFile(base + ".bmp");
      TBitmap row(static_cast<int>(p.Palette->Entries.size()), 1, TPixelFormat::pf24bit);
      for (size_t k = 0; k < p.Palette->Entries.size(); ++k) {
        uint8_t* px = row.ScanLine(0) + 3 * k;
        px[0] = p.Palette->Entries[k].peBlue;
        px[1] = p.Palette->Entries[k].peGreen;
        px[2] = p.Palette->Entries[k].peRed;
      }
      row.SaveToFile(base + "-palette.bmp");
    }
}

}  // namespace

int main(int argc, char** argv) {
  // Read when the library starts: like for like with our one thread.
  setenv("MAGICK_THREAD_LIMIT", "1", 0);
  magickpeer::Start();
  if (argc == 3 && std::strcmp(argv[1], "--write-inputs") == 0) {
    WriteInputs(argv[2]);
  } else {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
  }
  magickpeer::Stop();
  return 0;
}
