// Frame time of one actor of 2,000 textured triangles built as the preview builds a section
// (one face group, a corner per vertex, a 64x64 texture with super-black transparency,
// modulated, blended), drawn by the scene graph, against a raw loop of the same OpenGL calls in
// the same run. Needs an X display:
//
//   xvfb-run -a -s "-screen 0 1280x1024x24" build/bench/bench_scene_actor
#include <benchmark/benchmark.h>

#include <cmath>

#include "bench/GLBenchWindow.h"
#include "platform/Bitmap.h"
#include "scene/GLVectorFileObjects.h"

namespace {

constexpr int kTriangles = 2000;
constexpr int kWidth = 320, kHeight = 240;

struct Fixture {
  BenchWindow window{kWidth, kHeight};
  std::unique_ptr<TGLScene> scene;
  TActor* actor = nullptr;
  TMeshObject* mesh = nullptr;
  TFGVertexNormalTexIndexList* group = nullptr;
  std::string error = window.Error;

  Fixture() {
    if (!error.empty()) return;
    scene = std::make_unique<TGLScene>();
    auto* camera = scene->Cameras().AddNewChild<TGLCamera>();
    auto* target = scene->Objects().AddNewChild<TGLSceneObject>();
    camera->Position().SetVector(0, 0, 12);
    camera->SetTargetObject(target);
    auto* light = scene->Objects().AddNewChild<TGLLightSource>();
    light->Position().SetVector(10, 20, 20);
    actor = scene->Objects().AddNewChild<TActor>();
    mesh = new TMeshObject(&actor->MeshObjects());
    mesh->Mode = momFaceGroups;
    group = new TFGVertexNormalTexIndexList(&mesh->FaceGroups());
    // A band of triangles round a cylinder, each with its own three corners.
    for (int t = 0; t < kTriangles; ++t) {
      const float a = 6.2831853f * static_cast<float>(t / 2) / (kTriangles / 2), b = a + 0.02f;
      const float y0 = -1, y1 = 1;
      const float c[3][3] = {{std::cos(a), y0, std::sin(a)},
                             {std::cos(b), t % 2 ? y1 : y0, std::sin(b)},
                             {std::cos(t % 2 ? a : b), y1, std::sin(t % 2 ? a : b)}};
      for (const auto& p : c) {
        const int i = mesh->Vertices.Add(p[0] * 3, p[1] * 3, p[2] * 3);
        mesh->Normals.Add(p[0], 0, p[2]);
        mesh->TexCoords.AddTexPoint((p[0] + 1) / 2, (p[1] + 1) / 2);
        group->Add(i, i, i);
      }
    }
    TBitmap b(64, 64);
    for (int y = 0; y < 64; ++y)
      for (int x = 0; x < 64; ++x) b.SetPixel(x, y, (x ^ y) & 8 ? RGBColor(200, 60, 40) : RGBColor(0, 0, 0));
    TGLMaterial& m = actor->Material();
    m.Texture().AssignBitmap(b);
    m.Texture().SetImageAlpha(tiaSuperBlackTransparent);
    m.Texture().SetTextureMode(tmModulate);
    m.Texture().SetMinFilter(miLinear);
    m.Texture().SetMagFilter(maLinear);
    m.Texture().SetDisabled(false);
    m.SetBlendingMode(bmTransparency);
    window.Viewer->SetCamera(camera);
    window.Viewer->Render();  // uploads the texture
  }
};

Fixture& F() {
  static Fixture f;
  return f;
}

void BM_ActorFrame(benchmark::State& state) {
  Fixture& f = F();
  TimeFramesOrSkip(state, f.error, [&] { SceneGraphFrame(*f.window.Viewer); });
}

// The calls the scene graph makes for this scene, by hand: clear, projection, view, light, the
// actor's matrix, its material (front and back, blending, the bound texture), the triangles in
// immediate mode, and the cache reset after an object that changes colours.
void RawFrame(Fixture& f) {
  BenchViewer& v = *f.window.Viewer;
  v.Activate();
  rawgl::BeginFrame(kWidth);
  TGLLightSource* light = f.scene->LightSlot(0);
  GL.glEnable(GL_LIGHT0);
  GL.glLoadMatrixf(&light->AbsoluteMatrix()[0][0]);
  GL.glLightfv(GL_LIGHT0, GL_POSITION, light->Position().AsAddress());
  for (int i = 1; i < 8; ++i) GL.glDisable(GL_LIGHT0 + i);
  GL.glLoadMatrixf(&f.actor->AbsoluteMatrix()[0][0]);
  rawgl::FrontMaterial();
  GL.glEnable(GL_BLEND);
  GL.glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  GL.glEnable(GL_TEXTURE_2D);
  GL.glBindTexture(GL_TEXTURE_2D, f.actor->Material().Texture().TextureHandle());
  GL.glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  const TAffineVector* vs = f.mesh->Vertices.List();
  const TAffineVector* ns = f.mesh->Normals.List();
  const TAffineVector* ts = f.mesh->TexCoords.List();
  const int32_t* vi = f.group->VertexIndices.List();
  const int32_t* ni = f.group->NormalIndices.List();
  const int32_t* ti = f.group->TexCoordIndices.List();
  GL.glBegin(GL_TRIANGLES);
  for (int i = 0, c = f.group->VertexIndices.Count(); i < c; ++i) {
    GL.glNormal3fv(ns[ni[i]].data());
    GL.glTexCoord2fv(ts[ti[i]].data());
    GL.glVertex3fv(vs[vi[i]].data());
  }
  GL.glEnd();
  rawgl::ResetMaterial();
  rawgl::EndFrame(f.window);
  v.Deactivate();
}

void BM_RawGLActorFrame(benchmark::State& state) {
  Fixture& f = F();
  TimeFramesOrSkip(state, f.error, [&] { RawFrame(f); });
}

// Interleaved so that both see the same machine state.
BENCHMARK(BM_RawGLActorFrame)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ActorFrame)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_RawGLActorFrame)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ActorFrame)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
