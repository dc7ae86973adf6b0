// The model preview. Draw3D as it runs after every paint stroke: eight sections with 256x256
// true-colour textures, the painted one reduced again to its palette with error diffusion and
// handed to its actor, the others taken from the cache (target: under 50 ms; needs no display). And frames of the
// preview scene with a model of 3,000 triangles in eight textured sections, against a raw loop that draws the same
// triangles with the same textures directly, in one run (needs an X display):
//
//   xvfb-run -a -s "-screen 0 1280x1024x24" build/bench/bench_preview
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

#include "imaging/ColorQuantizer.h"
#include "preview/PreviewScene.h"
// Last: Xlib's macros (None among them) would break the headers above.
#include "bench/GLBenchWindow.h"

namespace {

constexpr int kSections = MaxModelSections;
constexpr int kTriangles = 3000;
constexpr int kWidth = 480, kHeight = 480;

// A model of eight sections and a skin with a default texture for each: smooth gradients, so the
// ditherer has work everywhere, each with a palette of its own.
struct TSkinFixture {
  TModelo Model;
  std::vector<std::unique_ptr<TObjetoTextura>> Textures;
  TPreviewSkin Skin;

  TSkinFixture() {
    Model.Key = "/nowhere/Bench.cvmx|Model-Bench";
    for (int n = 1; n <= kSections; ++n) {
      auto part = std::make_unique<TModeloPart>();
      part->Flags = static_cast<uint32_t>(n);
      Model.Parts.push_back({"S" + std::to_string(n), std::move(part)});
      auto t = std::make_unique<TObjetoTextura>();
      t->Bitmap = std::make_unique<TBitmap>(256, 256);
      for (int y = 0; y < 256; ++y) {
        uint8_t* row = t->Bitmap->ScanLine(y);
        for (int x = 0; x < 256; ++x) {
          row[3 * x] = static_cast<uint8_t>(x);
          row[3 * x + 1] = static_cast<uint8_t>(y + 31 * n);
          row[3 * x + 2] = static_cast<uint8_t>((x ^ y) + 17 * n);
        }
      }
      t->Palette = QuantizeBitmapPalette(*t->Bitmap, 256, 8, false);
      Skin.Sections.push_back({n, {{"< Default >", t.get()}}});
      Textures.push_back(std::move(t));
    }
  }

  // A brush stroke: a 15-pixel disc of one colour on the first texture.
  void Stroke(int i) {
    TBitmap& b = *Textures[0]->Bitmap;
    const int cx = 20 + (i * 7) % 216, cy = 20 + (i * 13) % 216;
    for (int y = cy - 7; y <= cy + 7; ++y)
      for (int x = cx - 7; x <= cx + 7; ++x)
        if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= 49) b.SetPixel(x, y, 0x2040C0);
  }
};

void Draw3D(TPreviewScene& scene, TSlotPictureCache& cache, const TSkinFixture& f) {
  TTextureSelection sel;
  sel.Skin = &f.Skin;
  sel.TeamIndex = 0;
  const TSlotChoices choices = ChooseSectionTextures(f.Model, f.Model.Key, sel);
  const TSlotPictures pictures = cache.Make(choices);
  scene.ApplySlots(f.Model, choices, pictures, true, true);
}

void BM_Draw3DAfterStroke(benchmark::State& state) {
  TSkinFixture f;
  TPreviewScene scene;
  TSlotPictureCache cache;
  Draw3D(scene, cache, f);  // the set-up: every texture reduced once
  int i = 0;
  for (auto _ : state) {
    f.Stroke(i++);
    Draw3D(scene, cache, f);
  }
}
BENCHMARK(BM_Draw3DAfterStroke)->Unit(benchmark::kMillisecond);

// A wavy sheet cut into eight bands, one per section, 3,000 triangles in all.
TObjeto3D SheetMesh() {
  TObjeto3D m;
  for (int s = 0; s < kSections; ++s) m.Materials.push_back({"S" + std::to_string(s + 1), MATERIAL_NORMAL});
  const int columns = 25, rows = kTriangles / (2 * columns);  // 60 rows of 25 quads
  for (int r = 0; r <= rows; ++r)
    for (int c = 0; c <= columns; ++c) {
      const float x = c * 8.0f - 100, y = r * 4.0f - 120;
      m.Vertices.push_back({x, y, 10 * std::sin(x / 20) * std::cos(y / 30)});
      m.UVs.push_back({c / float(columns), r / float(rows)});
      m.Normals.push_back({0, 0, 1});
    }
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < columns; ++c) {
      const int v = r * (columns + 1) + c;
      const int material = r * kSections / rows;
      for (const auto& t :
           {std::array<int, 3>{v, v + 1, v + columns + 2}, std::array<int, 3>{v, v + columns + 2, v + columns + 1}}) {
        TObjeto3DTriangulo tri;
        tri.Vertex0 = tri.UV0 = tri.Normal0 = t[0];
        tri.Vertex1 = tri.UV1 = tri.Normal1 = t[1];
        tri.Vertex2 = tri.UV2 = tri.Normal2 = t[2];
        tri.Material = material;
        m.Triangles.push_back(tri);
      }
    }
  return m;
}

struct TFrameFixture {
  TSkinFixture Skin;
  TPreviewScene Scene;
  BenchWindow Window{kWidth, kHeight};
  BenchViewer* Viewer = Window.Viewer.get();  // null when Error says why
  TObjeto3D Mesh = SheetMesh();
  std::string Error = Window.Error;

  TFrameFixture() {
    if (!Error.empty()) return;
    Scene.BuildMesh(Mesh);
    TSlotPictureCache cache;
    Draw3D(Scene, cache, Skin);
    Scene.Player->SetVisible(true);
    for (TActor* a : Scene.Actors) a->SetVisible(true);
    TCameraPreset front;
    front.CameraZ = 400;
    Scene.ApplyPreset(front);
    Viewer->SetBackgroundColor(clSilver);
    Viewer->SetContextOptions(roDoubleBuffer | roRenderToWindow | roTwoSideLighting);
    Viewer->SetCamera(Scene.GLCamera);
    Viewer->Render();  // the first frame uploads the textures and builds the lists
  }
};

TFrameFixture& Frames() {
  static TFrameFixture f;
  return f;
}

// Frames per second of wall time beside the OpenGL calls per frame.
template <typename Frame>
void TimePreviewFrames(benchmark::State& state, TFrameFixture& f, Frame frame) {
  if (!f.Error.empty()) {
    state.SkipWithError(f.Error.c_str());
    return;
  }
  TimeFrames(state, frame);
  state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_PreviewFrame(benchmark::State& state) {
  TFrameFixture& f = Frames();
  TimePreviewFrames(state, f, [&] {
    f.Viewer->Activate();
    f.Viewer->Render();
    GL.glFinish();
    f.Viewer->Deactivate();
  });
}
BENCHMARK(BM_PreviewFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same picture drawn by hand: the camera, then each section's triangles with its texture.
void BM_RawMeshFrame(benchmark::State& state) {
  TFrameFixture& f = Frames();
  TimePreviewFrames(state, f, [&] {
    f.Viewer->Activate();
    GL.glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    GL.glMatrixMode(GL_PROJECTION);
    GL.glLoadIdentity();
    const double n = 600.0 * 2 * 96 / (25.4 * kWidth);
    GL.glFrustum(-0.5, 0.5, -0.5, 0.5, n, n + 10000);
    GL.glMatrixMode(GL_MODELVIEW);
    GL.glLoadIdentity();
    GL.gluLookAt(0, 0, 400, 0, 0, 0, 0, 1, 0);
    GL.glEnable(GL_TEXTURE_2D);
    const TSectionMeshes sections = BuildSectionMeshes(f.Mesh);
    for (int s = 0; s < kSections; ++s) {
      GL.glBindTexture(GL_TEXTURE_2D, f.Scene.Actors[static_cast<size_t>(s)]->Material().Texture().TextureHandle());
      const TSectionMesh& m = sections[static_cast<size_t>(s)];
      GL.glBegin(GL_TRIANGLES);
      for (size_t i = 0; i < m.Vertices.size(); ++i) {
        GL.glTexCoord2fv(m.TexCoords[i].data());
        GL.glNormal3fv(m.Normals[i].data());
        GL.glVertex3fv(m.Vertices[i].data());
      }
      GL.glEnd();
    }
    GL.glDisable(GL_TEXTURE_2D);
    rawgl::EndFrame(f.Window);
    f.Viewer->Deactivate();
  });
}
BENCHMARK(BM_RawMeshFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
