#pragma once
// A bare X window with a GL visual and a viewer that draws on it, standing in for the widget in
// the frame benchmarks (run them under xvfb-run).
#include <cstdlib>
#include <string>

#include "scene/GLViewerCore.h"
#include "scene/OpenGLX.h"

class BenchViewer : public TGLViewerCore {
 public:
  TDrawable ViewerDrawable() const override { return {Dpy, Win}; }
  int ViewerWidth() const override { return Width; }
  int ViewerHeight() const override { return Height; }
  void InvalidateWindow() override {}
  Display* Dpy = nullptr;
  Window Win = 0;
  int Width = 0, Height = 0;
};

// Opens the display and maps a window of that size for the viewer; the reason when it cannot.
inline std::string OpenBenchWindow(BenchViewer& viewer, int width, int height) {
  if (!std::getenv("DISPLAY")) return "needs an X display: run under xvfb-run";
  if (!InitOpenGL()) return "libGL.so.1 / libGLU.so.1 missing";
  Display* dpy = GLX.XOpenDisplay(nullptr);
  if (!dpy) return "cannot open the X display";
  XVisualInfo* vi = ChooseGLVisual(dpy, DefaultScreen(dpy), opDoubleBuffered);
  if (!vi) return "no GL visual";
  XSetWindowAttributes a{};
  a.colormap = GLX.XCreateColormap(dpy, RootWindow(dpy, vi->screen), vi->visual, AllocNone);
  a.border_pixel = 0;
  Window win = GLX.XCreateWindow(dpy, RootWindow(dpy, vi->screen), 0, 0, static_cast<unsigned>(width),
                                 static_cast<unsigned>(height), 0, vi->depth, InputOutput, vi->visual,
                                 CWColormap | CWBorderPixel, &a);
  GLX.XFree(vi);
  GLX.XMapWindow(dpy, win);
  GLX.XSync(dpy, False);
  viewer.Dpy = dpy;
  viewer.Win = win;
  viewer.Width = width;
  viewer.Height = height;
  return std::string();
}
