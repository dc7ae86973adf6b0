// Frame time of a scene of 500 TDirectOpenGL objects (four lit triangles each) drawn by the
// scene graph, against a raw loop that issues the same OpenGL calls directly, in one run; and
// the number of OpenGL calls of an unchanged frame. Needs an X display (run under xvfb-run).
//
//   xvfb-run -a -s "-screen 0 1280x1024x24" build/bench/bench_scene_frame
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "bench/GLBenchWindow.h"

namespace {

constexpr int kObjects = 500;
constexpr int kWidth = 320, kHeight = 240;

void DrawTriangles() {
  // Four triangles of a small tetrahedron, with normals.
  static const float v[4][3] = {{0, 0.5f, 0}, {-0.4f, -0.3f, 0.3f}, {0.4f, -0.3f, 0.3f}, {0, -0.3f, -0.4f}};
  static const int f[4][3] = {{0, 1, 2}, {0, 2, 3}, {0, 3, 1}, {1, 3, 2}};
  GL.glBegin(GL_TRIANGLES);
  for (const auto& t : f) {
    TAffineVector n;
    CalcPlaneNormal({v[t[0]][0], v[t[0]][1], v[t[0]][2]}, {v[t[1]][0], v[t[1]][1], v[t[1]][2]},
                    {v[t[2]][0], v[t[2]][1], v[t[2]][2]}, n);
    GL.glNormal3fv(n.data());
    for (int k : t) GL.glVertex3fv(v[k]);
  }
  GL.glEnd();
}

struct Fixture {
  BenchWindow window{kWidth, kHeight};
  std::unique_ptr<TGLScene> scene;
  BenchViewer* viewer = window.Viewer.get();
  TGLCamera* camera = nullptr;
  std::vector<TDirectOpenGL*> objects;
  std::string error = window.Error;

  Fixture() {
    if (!error.empty()) return;
    scene = std::make_unique<TGLScene>();
    camera = scene->Cameras().AddNewChild<TGLCamera>();
    auto* target = scene->Objects().AddNewChild<TGLSceneObject>();
    camera->Position().SetVector(0, 8, 30);
    camera->SetTargetObject(target);
    auto* light = scene->Objects().AddNewChild<TGLLightSource>();
    light->Position().SetVector(10, 20, 20);
    for (int i = 0; i < kObjects; ++i) {
      auto* o = scene->Objects().AddNewChild<TDirectOpenGL>();
      o->Position().SetVector(float(i % 25) - 12, 0, float(i / 25) - 10);
      o->OnRender = [](TDirectOpenGL*, TRenderContextInfo&) { DrawTriangles(); };
      objects.push_back(o);
    }
    viewer->SetCamera(camera);
    viewer->Render();  // the first frame builds everything
  }
};

Fixture& F() {
  static Fixture f;
  return f;
}

void BM_SceneGraphFrame(benchmark::State& state) {
  Fixture& f = F();
  TimeFramesOrSkip(state, f.error, [&] { SceneGraphFrame(*f.viewer); });
}

// The calls the scene graph makes for this scene, issued by hand: clear, projection, view,
// lights, then per object its matrix, its material (after the previous object reset the
// caches), its triangles and the cache reset.
void RawFrame(Fixture& f) {
  BenchViewer& v = *f.viewer;
  v.Activate();
  rawgl::BeginFrame(kWidth);
  TGLLightSource* light = f.scene->LightSlot(0);
  for (int i = 0; i < 8; ++i) {
    if (i > 0) {
      GL.glDisable(GL_LIGHT0 + i);
      continue;
    }
    GL.glEnable(GL_LIGHT0);
    GL.glLoadMatrixf(&light->AbsoluteMatrix()[0][0]);
    GL.glLightfv(GL_LIGHT0, GL_POSITION, light->Position().AsAddress());
    GL.glLightfv(GL_LIGHT0, GL_AMBIENT, light->Ambient().AsAddress());
    GL.glLightfv(GL_LIGHT0, GL_DIFFUSE, light->Diffuse().AsAddress());
    GL.glLightfv(GL_LIGHT0, GL_SPECULAR, light->Specular().AsAddress());
  }
  for (TDirectOpenGL* o : f.objects) {
    GL.glLoadMatrixf(&o->AbsoluteMatrix()[0][0]);
    rawgl::FrontMaterial();
    DrawTriangles();
    rawgl::ResetMaterial();
  }
  rawgl::EndFrame(f.window);
  v.Deactivate();
}

void BM_RawGLFrame(benchmark::State& state) {
  Fixture& f = F();
  TimeFramesOrSkip(state, f.error, [&] { RawFrame(f); });
}

// The same scene with every object compiled into a display list (UseBuildList).
void BM_SceneGraphFrameWithLists(benchmark::State& state) {
  Fixture& f = F();
  if (!f.error.empty()) {
    state.SkipWithError(f.error.c_str());
    return;
  }
  for (TDirectOpenGL* o : f.objects) o->SetUseBuildList(true);
  f.viewer->Render();
  TimeFrames(state, [&] { SceneGraphFrame(*f.viewer); });
  for (TDirectOpenGL* o : f.objects) o->SetUseBuildList(false);
}

// Interleaved so that both see the same machine state.
BENCHMARK(BM_RawGLFrame)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_SceneGraphFrame)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_RawGLFrame)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_SceneGraphFrame)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_SceneGraphFrameWithLists)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
