#pragma once
// What the scene benchmarks share: a bare X window with a GL visual standing in for the viewer
// widget, a viewer core drawing into it, and the loop that times frames and then counts the
// OpenGL calls of one more. Needs an X display (run under xvfb-run).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "scene/GLRecorder.h"
#include "scene/GLViewerCore.h"
#include "scene/OpenGLX.h"

class BenchViewer : public TGLViewerCore {
 public:
  BenchViewer(int w, int h) : W(w), H(h) {}
  TDrawable ViewerDrawable() const override { return {Dpy, Win}; }
  int ViewerWidth() const override { return W; }
  int ViewerHeight() const override { return H; }
  void InvalidateWindow() override {}
  Display* Dpy = nullptr;
  Window Win = 0;
  int W, H;
};

// The window and a viewer on it; Error says why there is none.
struct BenchWindow {
  Display* Dpy = nullptr;
  Window Win = 0;
  std::unique_ptr<BenchViewer> Viewer;
  std::string Error;

  BenchWindow(int w, int h) {
    if (!std::getenv("DISPLAY")) {
      Error = "needs an X display: run under xvfb-run";
      return;
    }
    if (!InitOpenGL()) {
      Error = "libGL.so.1 / libGLU.so.1 missing";
      return;
    }
    Dpy = GLX.XOpenDisplay(nullptr);
    if (!Dpy) {
      Error = "cannot open the X display";
      return;
    }
    XVisualInfo* vi = ChooseGLVisual(Dpy, DefaultScreen(Dpy), opDoubleBuffered);
    if (!vi) {
      Error = "no GL visual";
      return;
    }
    XSetWindowAttributes a{};
    a.colormap = GLX.XCreateColormap(Dpy, RootWindow(Dpy, vi->screen), vi->visual, AllocNone);
    a.border_pixel = 0;
    Win = GLX.XCreateWindow(Dpy, RootWindow(Dpy, vi->screen), 0, 0, static_cast<unsigned>(w), static_cast<unsigned>(h),
                            0, vi->depth, InputOutput, vi->visual, CWColormap | CWBorderPixel, &a);
    GLX.XFree(vi);
    GLX.XMapWindow(Dpy, Win);
    GLX.XSync(Dpy, False);
    Viewer = std::make_unique<BenchViewer>(w, h);
    Viewer->Dpy = Dpy;
    Viewer->Win = Win;
    Viewer->CreateContext();
  }
};

// Times frame() in the benchmark loop, then counts the OpenGL calls of one more frame.
template <typename Frame>
void TimeFrames(benchmark::State& state, Frame frame) {
  for (auto _ : state) frame();
  InstallCountingOpenGL();
  GLCallCount() = 0;
  frame();
  state.counters["gl_calls_per_frame"] = static_cast<double>(GLCallCount());
  RemoveCountingOpenGL();
}

// Skips with the fixture's error, else times the frames.
template <typename Frame>
void TimeFramesOrSkip(benchmark::State& state, const std::string& error, Frame frame) {
  if (!error.empty()) {
    state.SkipWithError(error.c_str());
    return;
  }
  TimeFrames(state, frame);
}

// One frame of the scene graph, finished. One activation per frame as in the raw loops: the
// viewer's own activation nests inside this one.
inline void SceneGraphFrame(BenchViewer& viewer) {
  viewer.Activate();
  viewer.Render();
  GL.glFinish();
  viewer.Deactivate();
}

// The raw loops' common calls, as the scene issues them for a default camera and material.
namespace rawgl {
inline const GLfloat Grey2[4] = {0.2f, 0.2f, 0.2f, 1}, Grey8[4] = {0.8f, 0.8f, 0.8f, 1}, Black[4] = {0, 0, 0, 1};

// Clear, the projection of a 50 mm camera at 96 dots per inch, an identity view.
inline void BeginFrame(int width) {
  GL.glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  GL.glMatrixMode(GL_PROJECTION);
  GL.glLoadIdentity();
  const float n = 50.0f * 2 * 96 / (25.4f * static_cast<float>(width));
  GL.glFrustum(-0.5, 0.5, -0.375, 0.375, n, n + 100);
  GL.glMatrixMode(GL_MODELVIEW);
  GL.glLoadIdentity();
}

// The default front material through the material and polygon-mode caches.
inline void FrontMaterial() {
  GL.glMaterialfv(GL_FRONT, GL_EMISSION, Black);
  GL.glMaterialfv(GL_FRONT, GL_AMBIENT, Grey2);
  GL.glMaterialfv(GL_FRONT, GL_DIFFUSE, Grey8);
  GL.glMaterialfv(GL_FRONT, GL_SPECULAR, Black);
  GL.glMateriali(GL_FRONT, GL_SHININESS, 0);
  GL.glPolygonMode(GL_FRONT, GL_FILL);
}

// The cache reset after an object that changes colours.
inline void ResetMaterial() {
  GL.glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, Grey2);
  GL.glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, Grey8);
  GL.glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, Black);
  GL.glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, Black);
}

inline void EndFrame(const BenchWindow& w) {
  GL.glFlush();
  SwapGLBuffers({w.Dpy, w.Win});
  GL.glFinish();
}
}  // namespace rawgl
