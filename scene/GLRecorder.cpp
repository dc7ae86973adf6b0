#include "scene/GLRecorder.h"

#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "scene/OpenGLX.h"

namespace {

template <typename T>
double ArgValue(T v) {
  if constexpr (std::is_arithmetic_v<T> || std::is_enum_v<T>)
    return static_cast<double>(v);
  else
    return 0;
}
template <typename... A>
std::vector<double> MakeArgs(A... a) {
  return {ArgValue(a)...};
}
template <typename T>
T Default() {
  if constexpr (std::is_void_v<T>)
    return;
  else
    return T{};
}

void Record(const char* name, std::vector<double> args) {
  TGLRecorder& r = GLRecorder();
  if (!r.Recording) return;
  r.Calls.push_back({name, std::move(args)});
  if (r.OnCall) r.OnCall(r.Calls.back());
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"
#define CORVANE_RECORDING_STUB(ret, name, params, args) \
  ret GLAPIENTRY Rec_##name params {                    \
    Record(#name, MakeArgs args);                       \
    return Default<ret>();                              \
  }
CORVANE_GL_CORE_FUNCTIONS(CORVANE_RECORDING_STUB)
CORVANE_GL_EXTENSION_FUNCTIONS(CORVANE_RECORDING_STUB)
CORVANE_GLU_FUNCTIONS(CORVANE_RECORDING_STUB)
CORVANE_GLX_FUNCTIONS(CORVANE_RECORDING_STUB)
CORVANE_X11_FUNCTIONS(CORVANE_RECORDING_STUB)
#undef CORVANE_RECORDING_STUB
#pragma GCC diagnostic pop

// --- the emulated state

TMatrix FromGL(const GLfloat* m) {
  TMatrix r;
  std::memcpy(&r[0][0], m, sizeof r);
  return r;
}
// glMultMatrix: C := C * M for column vectors, which in storage order is M x C.
void Mult(const TMatrix& m) {
  TMatrix& c = GLRecorder().Current();
  c = MatrixMultiply(m, c);
}

void GLAPIENTRY F_glEnable(GLenum cap) {
  Record("glEnable", MakeArgs(cap));
  GLRecorder().Enabled.insert(cap);
}
void GLAPIENTRY F_glDisable(GLenum cap) {
  Record("glDisable", MakeArgs(cap));
  GLRecorder().Enabled.erase(cap);
}
// Only the enabled capabilities are kept across a push and pop: they are what tests read back.
void GLAPIENTRY F_glPushAttrib(GLbitfield mask) {
  Record("glPushAttrib", MakeArgs(mask));
  TGLRecorder& r = GLRecorder();
  r.AttribStack.push_back({mask, r.Enabled});
}
void GLAPIENTRY F_glPopAttrib() {
  Record("glPopAttrib", MakeArgs());
  TGLRecorder& r = GLRecorder();
  if (r.AttribStack.empty()) return;
  if (r.AttribStack.back().first & GL_ENABLE_BIT) r.Enabled = r.AttribStack.back().second;
  r.AttribStack.pop_back();
}
GLboolean GLAPIENTRY F_glIsEnabled(GLenum cap) {
  Record("glIsEnabled", MakeArgs(cap));
  return GLRecorder().Enabled.count(cap) ? GL_TRUE : GL_FALSE;
}
GLuint GLAPIENTRY F_glGenLists(GLsizei range) {
  Record("glGenLists", MakeArgs(range));
  TGLRecorder& r = GLRecorder();
  const GLuint first = r.NextList;
  r.NextList += static_cast<GLuint>(range);
  return first;
}
void GLAPIENTRY F_glGenTextures(GLsizei n, GLuint* t) {
  Record("glGenTextures", MakeArgs(n));
  for (GLsizei i = 0; i < n; ++i) t[i] = GLRecorder().NextTexture++;
}
const GLubyte* GLAPIENTRY F_glGetString(GLenum name) {
  Record("glGetString", MakeArgs(name));
  auto& s = GLRecorder().Strings;
  auto it = s.find(name);
  return it == s.end() ? nullptr : reinterpret_cast<const GLubyte*>(it->second.c_str());
}
const GLubyte* GLAPIENTRY F_gluGetString(GLenum name) {
  Record("gluGetString", MakeArgs(name));
  auto& s = GLRecorder().GLUStrings;
  auto it = s.find(name);
  return it == s.end() ? nullptr : reinterpret_cast<const GLubyte*>(it->second.c_str());
}
template <typename T>
void GetValues(GLenum pname, T* out) {
  TGLRecorder& r = GLRecorder();
  if (pname == GL_PACK_ALIGNMENT || pname == GL_UNPACK_ALIGNMENT) {
    out[0] = static_cast<T>(pname == GL_PACK_ALIGNMENT ? r.PackAlignment : r.UnpackAlignment);
    return;
  }
  if (pname == GL_MODELVIEW_MATRIX || pname == GL_PROJECTION_MATRIX) {
    const TMatrix& m = pname == GL_MODELVIEW_MATRIX ? r.Modelview : r.Projection;
    for (int i = 0; i < 16; ++i) out[i] = static_cast<T>(m[i / 4][i % 4]);
    return;
  }
  auto it = r.Values.find(pname);
  if (it == r.Values.end()) {
    out[0] = 0;
    return;
  }
  for (size_t i = 0; i < it->second.size(); ++i) out[i] = static_cast<T>(it->second[i]);
}
void GLAPIENTRY F_glGetIntegerv(GLenum pname, GLint* p) {
  Record("glGetIntegerv", MakeArgs(pname));
  GetValues(pname, p);
}
void GLAPIENTRY F_glGetFloatv(GLenum pname, GLfloat* p) {
  Record("glGetFloatv", MakeArgs(pname));
  GetValues(pname, p);
}
void GLAPIENTRY F_glGetDoublev(GLenum pname, GLdouble* p) {
  Record("glGetDoublev", MakeArgs(pname));
  GetValues(pname, p);
}
void GLAPIENTRY F_glLightfv(GLenum light, GLenum pname, const GLfloat* v) {
  // The four values too: positions and colours are what a test wants to see.
  Record("glLightfv", {double(light), double(pname), v[0], v[1], v[2], pname == GL_SPOT_DIRECTION ? 0 : v[3]});
}
void GLAPIENTRY F_glPixelStorei(GLenum pname, GLint param) {
  Record("glPixelStorei", MakeArgs(pname, param));
  if (pname == GL_PACK_ALIGNMENT) GLRecorder().PackAlignment = param;
  if (pname == GL_UNPACK_ALIGNMENT) GLRecorder().UnpackAlignment = param;
}
// Scales like the real one as far as memory goes: source rows are read at the unpack alignment,
// output rows written at the pack alignment (nearest pixel), so a buffer sized without the
// padding overflows here too.
GLint GLAPIENTRY F_gluScaleImage(GLenum format, GLint wIn, GLint hIn, GLenum typeIn, const void* dataIn, GLint wOut,
                                 GLint hOut, GLenum typeOut, void* dataOut) {
  Record("gluScaleImage", MakeArgs(format, wIn, hIn, typeIn, 0, wOut, hOut, typeOut));
  const size_t c = format == GL_RGBA || format == GL_BGRA_EXT ? 4 : 3;
  auto stride = [c](GLint w, GLint align) {
    const size_t a = static_cast<size_t>(align < 1 ? 1 : align);
    return (static_cast<size_t>(w) * c + a - 1) / a * a;
  };
  const size_t inStride = stride(wIn, GLRecorder().UnpackAlignment);
  const size_t outStride = stride(wOut, GLRecorder().PackAlignment);
  const auto* in = static_cast<const uint8_t*>(dataIn);
  auto* out = static_cast<uint8_t*>(dataOut);
  for (GLint y = 0; y < hOut; ++y)
    for (GLint x = 0; x < wOut; ++x) {
      const size_t sx = static_cast<size_t>(x * wIn / wOut), sy = static_cast<size_t>(y * hIn / hOut);
      std::memcpy(out + static_cast<size_t>(y) * outStride + static_cast<size_t>(x) * c, in + sy * inStride + sx * c,
                  c);
    }
  return 0;
}
void GLAPIENTRY F_glVertex3fv(const GLfloat* v) { Record("glVertex3fv", {v[0], v[1], v[2]}); }
void GLAPIENTRY F_glMatrixMode(GLenum mode) {
  Record("glMatrixMode", MakeArgs(mode));
  GLRecorder().MatrixMode = mode;
}
void GLAPIENTRY F_glLoadIdentity() {
  Record("glLoadIdentity", {});
  GLRecorder().Current() = IdentityHmgMatrix;
}
void GLAPIENTRY F_glLoadMatrixf(const GLfloat* m) {
  Record("glLoadMatrixf", {});
  GLRecorder().Current() = FromGL(m);
}
void GLAPIENTRY F_glMultMatrixf(const GLfloat* m) {
  Record("glMultMatrixf", {});
  Mult(FromGL(m));
}
void GLAPIENTRY F_glPushMatrix() {
  Record("glPushMatrix", {});
  TGLRecorder& r = GLRecorder();
  (r.MatrixMode == GL_PROJECTION ? r.ProjectionStack : r.ModelviewStack).push_back(r.Current());
}
void GLAPIENTRY F_glPopMatrix() {
  Record("glPopMatrix", {});
  TGLRecorder& r = GLRecorder();
  auto& stack = r.MatrixMode == GL_PROJECTION ? r.ProjectionStack : r.ModelviewStack;
  if (stack.empty()) return;  // a real implementation reports GL_STACK_UNDERFLOW
  r.Current() = stack.back();
  stack.pop_back();
}
void GLAPIENTRY F_glTranslatef(GLfloat x, GLfloat y, GLfloat z) {
  Record("glTranslatef", MakeArgs(x, y, z));
  Mult(CreateTranslationMatrix({x, y, z}));
}
void GLAPIENTRY F_glFrustum(GLdouble l, GLdouble r, GLdouble b, GLdouble t, GLdouble n, GLdouble f) {
  Record("glFrustum", MakeArgs(l, r, b, t, n, f));
  // Storage order of the column-vector frustum matrix.
  TMatrix m{};
  m[0][0] = static_cast<float>(2 * n / (r - l));
  m[1][1] = static_cast<float>(2 * n / (t - b));
  m[2][0] = static_cast<float>((r + l) / (r - l));
  m[2][1] = static_cast<float>((t + b) / (t - b));
  m[2][2] = static_cast<float>(-(f + n) / (f - n));
  m[2][3] = -1;
  m[3][2] = static_cast<float>(-2 * f * n / (f - n));
  Mult(m);
}
void GLAPIENTRY F_gluLookAt(GLdouble ex, GLdouble ey, GLdouble ez, GLdouble cx, GLdouble cy, GLdouble cz, GLdouble ux,
                            GLdouble uy, GLdouble uz) {
  Record("gluLookAt", MakeArgs(ex, ey, ez, cx, cy, cz, ux, uy, uz));
  TAffineVector f = VectorNormalize(AffineVectorMake(float(cx - ex), float(cy - ey), float(cz - ez)));
  TAffineVector s = VectorNormalize(VectorCrossProduct(f, AffineVectorMake(float(ux), float(uy), float(uz))));
  TAffineVector u = VectorCrossProduct(s, f);
  TMatrix m = IdentityHmgMatrix;
  for (int i = 0; i < 3; ++i) {
    m[i][0] = s[i];
    m[i][1] = u[i];
    m[i][2] = -f[i];
  }
  Mult(MatrixMultiply(CreateTranslationMatrix({float(-ex), float(-ey), float(-ez)}), m));
}

// --- GLX and Xlib without a server

// A driver that has every extension entry point: whether one is taken is then decided by the
// version and extension strings the test sets, as with Mesa.
__GLXextFuncPtr F_glXGetProcAddressARB(const GLubyte* name) {
  Record("glXGetProcAddressARB", {});
  static const std::map<std::string, __GLXextFuncPtr> entries = [] {
    std::map<std::string, __GLXextFuncPtr> m;
    auto add = [&m](const char* n, auto f) {
      __GLXextFuncPtr p;
      static_assert(sizeof p == sizeof f);
      std::memcpy(&p, &f, sizeof p);
      m[n] = p;
    };
#define CORVANE_ADD_RECORDING(ret, n, params, args) add(#n, &Rec_##n);
    CORVANE_GL_EXTENSION_FUNCTIONS(CORVANE_ADD_RECORDING)
#undef CORVANE_ADD_RECORDING
    return m;
  }();
  auto it = entries.find(reinterpret_cast<const char*>(name));
  return it == entries.end() ? nullptr : it->second;
}

XErrorHandler GHandler = nullptr;
Visual GFakeVisual;

XErrorHandler F_XSetErrorHandler(XErrorHandler h) {
  Record("XSetErrorHandler", {});
  XErrorHandler old = GHandler;
  GHandler = h;
  return old;
}
int F_XGetErrorText(Display*, int code, char* buffer, int length) {
  Record("XGetErrorText", MakeArgs(code));
  std::strncpy(buffer, code == BadMatch ? "BadMatch" : "X error", static_cast<size_t>(length));
  return 0;
}
Bool F_glXMakeCurrent(Display* dpy, GLXDrawable d, GLXContext c) {
  Record("glXMakeCurrent", MakeArgs(d, c ? 1 : 0));
  TGLRecorder& r = GLRecorder();
  if (r.XErrorToRaise && GHandler) {
    XErrorEvent ev;
    std::memset(&ev, 0, sizeof ev);
    ev.error_code = static_cast<unsigned char>(r.XErrorToRaise);
    ev.request_code = 152;
    r.XErrorToRaise = 0;
    GHandler(dpy, &ev);
  }
  return r.MakeCurrentResult ? True : False;
}
intptr_t GNextContext = 0x100;
GLXContext F_glXCreateContext(Display*, XVisualInfo*, GLXContext share, Bool) {
  Record("glXCreateContext", MakeArgs(share ? 1 : 0));
  return reinterpret_cast<GLXContext>(GNextContext++);
}
XVisualInfo* NewVisualInfo() {
  auto* v = static_cast<XVisualInfo*>(std::calloc(1, sizeof(XVisualInfo)));
  v->visualid = 0x21;
  v->c_class = TrueColor;
  v->depth = GLRecorder().WindowDepth;
  v->visual = &GFakeVisual;
  return v;
}
XVisualInfo* F_glXChooseVisual(Display*, int, int*) {
  Record("glXChooseVisual", {});
  return NewVisualInfo();
}
XVisualInfo* F_XGetVisualInfo(Display*, long, XVisualInfo*, int* n) {
  Record("XGetVisualInfo", {});
  *n = 1;
  return NewVisualInfo();
}
int F_XFree(void* p) {
  Record("XFree", {});
  std::free(p);
  return 0;
}
Status F_XGetWindowAttributes(Display*, Window w, XWindowAttributes* a) {
  Record("XGetWindowAttributes", MakeArgs(w));
  std::memset(a, 0, sizeof *a);
  GFakeVisual.visualid = 0x21;
  GFakeVisual.c_class = TrueColor;
  a->visual = &GFakeVisual;
  a->depth = GLRecorder().WindowDepth;
  a->width = 100;
  a->height = 100;
  return 1;
}
int F_glXGetConfig(Display*, XVisualInfo*, int attrib, int* value) {
  Record("glXGetConfig", MakeArgs(attrib));
  switch (attrib) {
    case GLX_USE_GL:
    case GLX_RGBA: *value = 1; break;
    case GLX_DOUBLEBUFFER: *value = GLRecorder().VisualDoubleBuffered ? 1 : 0; break;
    case GLX_DEPTH_SIZE: *value = 24; break;
    default: *value = 0;
  }
  return 0;
}

// --- counting

TGLEntryPoints GRealGL;
bool GCounting = false;
uint64_t GCallCount = 0;
#define CORVANE_COUNTING_STUB(ret, name, params, args) \
  ret GLAPIENTRY Cnt_##name params {                   \
    ++GCallCount;                                      \
    return GRealGL.name args;                          \
  }
CORVANE_GL_CORE_FUNCTIONS(CORVANE_COUNTING_STUB)
CORVANE_GL_EXTENSION_FUNCTIONS(CORVANE_COUNTING_STUB)
CORVANE_GLU_FUNCTIONS(CORVANE_COUNTING_STUB)
#undef CORVANE_COUNTING_STUB

}  // namespace

TGLRecorder& GLRecorder() {
  static TGLRecorder r;
  return r;
}

void TGLRecorder::Reset() {
  *this = TGLRecorder();
  Strings[GL_VERSION] = "1.2 Fake";
  Strings[GL_VENDOR] = "Corvane";
  Strings[GL_RENDERER] = "Recording table";
  Strings[GL_EXTENSIONS] = "GL_EXT_bgra GL_ARB_multitexture";
  GLUStrings[GLU_VERSION] = "1.3";
  GLUStrings[GLU_EXTENSIONS] = "GLU_EXT_object_space_tess";
  Values[GL_MAX_LIGHTS] = {8};
  Values[GL_DOUBLEBUFFER] = {1};
  Values[GL_MAX_TEXTURE_SIZE] = {4096};
  Values[GL_MAX_VIEWPORT_DIMS] = {16384, 8192};
}

int TGLRecorder::Count(const std::string& name) const {
  int n = 0;
  for (const auto& c : Calls) n += c.Name == name;
  return n;
}
int TGLRecorder::Count(const std::string& name, double arg0) const {
  int n = 0;
  for (const auto& c : Calls) n += c.Name == name && !c.Args.empty() && c.Args[0] == arg0;
  return n;
}
int TGLRecorder::Count(const std::string& name, double arg0, double arg1) const {
  int n = 0;
  for (const auto& c : Calls) n += c.Name == name && c.Args.size() > 1 && c.Args[0] == arg0 && c.Args[1] == arg1;
  return n;
}
std::string TGLRecorder::Names() const {
  std::string s;
  for (const auto& c : Calls) s += (s.empty() ? "" : " ") + c.Name;
  return s;
}

TGLDC FakeDC() { return {reinterpret_cast<void*>(0x1000), 0x42}; }

void InstallRecordingOpenGL() {
  UseFakeOpenGLLibraries(true);
#define CORVANE_INSTALL_GL(ret, name, params, args) GL.name = &Rec_##name;
#define CORVANE_INSTALL_GLX(ret, name, params, args) GLX.name = &Rec_##name;
  CORVANE_GL_CORE_FUNCTIONS(CORVANE_INSTALL_GL)
  CORVANE_GL_EXTENSION_FUNCTIONS(CORVANE_INSTALL_GL)
  CORVANE_GLU_FUNCTIONS(CORVANE_INSTALL_GL)
  CORVANE_GLX_FUNCTIONS(CORVANE_INSTALL_GLX)
  CORVANE_X11_FUNCTIONS(CORVANE_INSTALL_GLX)
#undef CORVANE_INSTALL_GL
#undef CORVANE_INSTALL_GLX
  GL.glEnable = &F_glEnable;
  GL.glDisable = &F_glDisable;
  GL.glIsEnabled = &F_glIsEnabled;
  GL.glPushAttrib = &F_glPushAttrib;
  GL.glPopAttrib = &F_glPopAttrib;
  GL.glGenLists = &F_glGenLists;
  GL.glGenTextures = &F_glGenTextures;
  GL.glGetString = &F_glGetString;
  GL.gluGetString = &F_gluGetString;
  GL.glGetIntegerv = &F_glGetIntegerv;
  GL.glGetFloatv = &F_glGetFloatv;
  GL.glGetDoublev = &F_glGetDoublev;
  GL.glLightfv = &F_glLightfv;
  GL.glVertex3fv = &F_glVertex3fv;
  GL.glPixelStorei = &F_glPixelStorei;
  GL.gluScaleImage = &F_gluScaleImage;
  GL.glMatrixMode = &F_glMatrixMode;
  GL.glLoadIdentity = &F_glLoadIdentity;
  GL.glLoadMatrixf = &F_glLoadMatrixf;
  GL.glMultMatrixf = &F_glMultMatrixf;
  GL.glPushMatrix = &F_glPushMatrix;
  GL.glPopMatrix = &F_glPopMatrix;
  GL.glTranslatef = &F_glTranslatef;
  GL.glFrustum = &F_glFrustum;
  GL.gluLookAt = &F_gluLookAt;
  GLX.XSetErrorHandler = &F_XSetErrorHandler;
  GLX.XGetErrorText = &F_XGetErrorText;
  GLX.glXMakeCurrent = &F_glXMakeCurrent;
  GLX.glXCreateContext = &F_glXCreateContext;
  GLX.glXChooseVisual = &F_glXChooseVisual;
  GLX.XGetVisualInfo = &F_XGetVisualInfo;
  GLX.XFree = &F_XFree;
  GLX.XGetWindowAttributes = &F_XGetWindowAttributes;
  GLX.glXGetConfig = &F_glXGetConfig;
  GLX.glXGetProcAddressARB = &F_glXGetProcAddressARB;
  GHandler = nullptr;
  GLRecorder().Reset();
}

void InstallCountingOpenGL() {
  if (GCounting) return;
  GRealGL = GL;
  GCounting = true;
#define CORVANE_INSTALL_COUNTER(ret, name, params, args) GL.name = &Cnt_##name;
  CORVANE_GL_CORE_FUNCTIONS(CORVANE_INSTALL_COUNTER)
  CORVANE_GL_EXTENSION_FUNCTIONS(CORVANE_INSTALL_COUNTER)
  CORVANE_GLU_FUNCTIONS(CORVANE_INSTALL_COUNTER)
#undef CORVANE_INSTALL_COUNTER
}

void RemoveCountingOpenGL() {
  if (!GCounting) return;
  GL = GRealGL;
  GCounting = false;
}

uint64_t& GLCallCount() { return GCallCount; }
