// The texture painter: one dab with the view refresh (the dab recomputes the whole texture
// from the stroke's snapshot, then the view image is rebuilt and turned into what Qt draws) for
// each tool at 256x256 and 1024x1024 (targets: under 8 ms and 30 ms), and the palette rebuild
// that ends every stroke, for one skin of 8 sections of 256x256 under each palette option.
#include <benchmark/benchmark.h>

#include <memory>

#include "editor/PaletteGroups.h"
#include "editor/TexturePainter.h"
#include "model/crvn_struc.h"
#include "platform/qt/BitmapImage.h"

namespace {

// Smooth gradients with some noise, as a painted skin has.
TBitmap MakeTexture(int size, int seed) {
  TBitmap b(size, size, TPixelFormat::pf24bit);
  uint32_t r = 0x9E3779B9u * static_cast<uint32_t>(seed + 1);
  for (int y = 0; y < size; ++y) {
    uint8_t* row = b.ScanLine(y);
    for (int x = 0; x < size; ++x) {
      r = r * 1664525u + 1013904223u;
      const int n = static_cast<int>(r >> 28);
      row[3 * x] = static_cast<uint8_t>((x + seed * 17 + n) & 255);
      row[3 * x + 1] = static_cast<uint8_t>((y * 3 / 2 + n) & 255);
      row[3 * x + 2] = static_cast<uint8_t>(((x ^ y) + seed * 29) & 255);
    }
  }
  return b;
}

// Args: size, tool. The stroke has already covered a band of the texture, so the tools have
// real pixels to work on; the timed dab lands on it again, with the wire overlay on at 1X.
void BM_DabWithRefresh(benchmark::State& state) {
  const int size = static_cast<int>(state.range(0));
  TObjetoTextura t;
  t.Bitmap = std::make_unique<TBitmap>(MakeTexture(size, 1));
  auto wire = std::make_shared<TBitmap>(256, 256, TPixelFormat::pf24bit);
  wire->Fill(clBlack);
  t.WireBitmap = wire;
  TBitmap mask;
  BeginStroke(t, mask);
  const TBrush brush{RGBColor(200, 40, 40), 50, 15, static_cast<int>(state.range(1))};
  for (int x = 0; x < size; x += 4) StrokeDab(t, mask, x, size / 2, brush);
  int x = 0;
  for (auto _ : state) {
    StrokeDab(t, mask, x, size / 2, brush);
    x = (x + 3) % size;
    const QImage shown = BitmapToQImage(EditorImage(*t.Bitmap, t.WireBitmap.get(), 30, 1));
    benchmark::DoNotOptimize(shown.constBits());
  }
}
BENCHMARK(BM_DabWithRefresh)
    ->ArgsProduct({{256, 1024}, {ptBrush, ptTint, ptLighten, ptDarken}})
    ->ArgNames({"size", "tool"})
    ->Unit(benchmark::kMillisecond);

void BM_PaletteRebuildAfterStroke(benchmark::State& state) {
  auto model = std::make_unique<TModelo>();
  for (int s = 1; s <= 8; ++s) {
    auto p = std::make_unique<TModeloPart>();
    p->Flags = static_cast<uint32_t>(s);
    p->Width = p->Height = 256;
    model->Parts.push_back({"Section" + std::to_string(s), std::move(p)});
  }
  TSkinTree tree;
  tree.SetRoot("bench (Bench)");
  TSkinNode* skin = AddSkin(tree, "Skin", "skin", *model);
  int seed = 0;
  for (const auto& section : skin->Children()) {
    auto t = std::make_unique<TObjetoTextura>();
    t->Bitmap = std::make_unique<TBitmap>(MakeTexture(256, seed++));
    AddTexture(tree, section.get(), std::move(t), "< Default >");
  }
  const auto mode = static_cast<TPaletteMode>(state.range(0));
  for (auto _ : state) {
    BuildPalettes(tree, mode);
    benchmark::DoNotOptimize(tree.GroupPalettes().data());
  }
}
BENCHMARK(BM_PaletteRebuildAfterStroke)
    ->Arg(pmPerTexture)
    ->Arg(pmPerSkin)
    ->Arg(pmPerPackage)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
