#pragma once
// The GLX and Xlib side of the OpenGL binding: the GLX entry points come from libGL.so.1 and
// the few Xlib calls around them from libX11.so.6, both looked up by name into `GLX`.
// Include from .cpp files only, and after every Qt header (Xlib's macros break Qt headers).
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "scene/OpenGL12.h"

#define CORVANE_GLX_FUNCTIONS(X)                                                                              \
  X(XVisualInfo*, glXChooseVisual, (Display * dpy, int screen, int* attribs), (dpy, screen, attribs))         \
  X(GLXContext, glXCreateContext, (Display * dpy, XVisualInfo * vis, GLXContext share, Bool direct),          \
    (dpy, vis, share, direct))                                                                                \
  X(void, glXDestroyContext, (Display * dpy, GLXContext ctx), (dpy, ctx))                                     \
  X(int, glXGetConfig, (Display * dpy, XVisualInfo * vis, int attrib, int* value), (dpy, vis, attrib, value)) \
  X(GLXContext, glXGetCurrentContext, (), ())                                                                 \
  X(__GLXextFuncPtr, glXGetProcAddressARB, (const GLubyte* name), (name))                                     \
  X(Bool, glXMakeCurrent, (Display * dpy, GLXDrawable drawable, GLXContext ctx), (dpy, drawable, ctx))        \
  X(Bool, glXQueryExtension, (Display * dpy, int* errorBase, int* eventBase), (dpy, errorBase, eventBase))    \
  X(void, glXSwapBuffers, (Display * dpy, GLXDrawable drawable), (dpy, drawable))

#define CORVANE_X11_FUNCTIONS(X)                                                                                   \
  X(Colormap, XCreateColormap, (Display * dpy, Window w, Visual * visual, int alloc), (dpy, w, visual, alloc))     \
  X(Window, XCreateWindow,                                                                                         \
    (Display * dpy, Window parent, int x, int y, unsigned w, unsigned h, unsigned border, int depth, unsigned cls, \
     Visual* visual, unsigned long mask, XSetWindowAttributes* attrs),                                             \
    (dpy, parent, x, y, w, h, border, depth, cls, visual, mask, attrs))                                            \
  X(int, XDestroyWindow, (Display * dpy, Window w), (dpy, w))                                                      \
  X(int, XFlush, (Display * dpy), (dpy))                                                                           \
  X(int, XFree, (void* data), (data))                                                                              \
  X(int, XFreeColormap, (Display * dpy, Colormap cmap), (dpy, cmap))                                               \
  X(int, XGetErrorText, (Display * dpy, int code, char* buffer, int length), (dpy, code, buffer, length))          \
  X(XVisualInfo*, XGetVisualInfo, (Display * dpy, long mask, XVisualInfo* templ, int* count),                      \
    (dpy, mask, templ, count))                                                                                     \
  X(Status, XGetWindowAttributes, (Display * dpy, Window w, XWindowAttributes * attrs), (dpy, w, attrs))           \
  X(int, XMapWindow, (Display * dpy, Window w), (dpy, w))                                                          \
  X(Display*, XOpenDisplay, (const char* name), (name))                                                            \
  X(int, XCloseDisplay, (Display * dpy), (dpy))                                                                    \
  X(int, XMoveResizeWindow, (Display * dpy, Window w, int x, int y, unsigned width, unsigned height),              \
    (dpy, w, x, y, width, height))                                                                                 \
  X(XErrorHandler, XSetErrorHandler, (XErrorHandler handler), (handler))                                           \
  X(int, XSync, (Display * dpy, Bool discard), (dpy, discard))

struct TGLXEntryPoints {
  CORVANE_GLX_FUNCTIONS(CORVANE_GL_DECLARE_MEMBER)
  CORVANE_X11_FUNCTIONS(CORVANE_GL_DECLARE_MEMBER)
};
extern TGLXEntryPoints GLX;

// Catches the X errors of the calls made while it lives (the default handler would end the
// process). Check() waits for the server's answers and raises EOpenGLError naming the call.
class TXErrorTrap {
 public:
  TXErrorTrap(Display* dpy, const char* call);
  ~TXErrorTrap();
  TXErrorTrap(const TXErrorTrap&) = delete;
  TXErrorTrap& operator=(const TXErrorTrap&) = delete;
  void Check();

 private:
  void Restore();
  Display* FDisplay;
  const char* FCall;
  XErrorHandler FOld = nullptr;
  bool FInstalled = false;
};

// Chooses a visual for the options on the display's default screen (caller frees with XFree).
XVisualInfo* ChooseGLVisual(Display* dpy, int screen, TRCOptions options);
// Whether an existing visual can render OpenGL with the options (RGBA, double buffer as asked,
// a depth buffer).
bool VisualSuitsOpenGL(Display* dpy, XVisualInfo* vis, TRCOptions options);
