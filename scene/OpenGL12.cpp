#include "scene/OpenGLX.h"

#include <dlfcn.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <map>

#include "platform/ScopeGuard.h"

TGLEntryPoints GL;
TGLXEntryPoints GLX;
TOpenGLFlags OpenGLFlags;

// The floating-point control word 0x133F that a Windows build sets here (all exceptions masked,
// 64-bit precision, round to nearest) is an x87 setting. On x86-64 arithmetic runs on SSE, whose
// default MXCSR already masks every floating-point exception, so nothing is set.

const std::array<const char*, cGLExtensionCount + cGLUExtensionCount> cOpenGLExtensionNames = {
    "GL_EXT_abgr",
    "GL_EXT_bgra",
    "GL_EXT_packed_pixels",
    "GL_EXT_paletted_texture",
    "GL_EXT_vertex_array",
    "GL_EXT_index_array_formats",
    "GL_EXT_index_func",
    "GL_EXT_index_material",
    "GL_EXT_index_texture",
    "GL_WIN_swap_hint",
    "GL_EXT_blend_color",
    "GL_EXT_blend_logic_op",
    "GL_EXT_blend_minmax",
    "GL_EXT_blend_subtract",
    "GL_EXT_convolution",
    "GL_EXT_copy_texture",
    "GL_EXT_histogram",
    "GL_EXT_polygon_offset",
    "GL_EXT_subtexture",
    "GL_EXT_texture_object",
    "GL_EXT_texture3D",
    "GL_EXT_cmyka",
    "GL_EXT_rescale_normal",
    "GL_SGI_color_matrix",
    "GL_EXT_texture_color_table",
    "GL_SGI_color_table",
    "GL_EXT_clip_volume_hint",
    "GL_EXT_compiled_vertex_array",
    "GL_EXT_cull_vertex",
    "GL_EXT_point_parameters",
    "GL_EXT_texture_env_add",
    "GL_EXT_misc_attribute",
    "GL_EXT_scene_marker",
    "GL_EXT_shared_texture_palette",
    "GL_EXT_texture_env_combine",
    "GL_NV_texgen_reflection",
    "GL_NV_texture_env_combine4",
    "GL_ARB_multitexture",
    "GL_ARB_imaging",
    "GL_EXT_fog_coord",
    "GL_EXT_light_max_exponent",
    "GL_EXT_secondary_color",
    "GL_EXT_separate_specular_color",
    "GL_EXT_stencil_wrap",
    "GL_EXT_texture_cube_map",
    "GL_EXT_texture_filter_anisotropic",
    "GL_EXT_texture_lod_bias",
    "GL_EXT_vertex_weighting",
    "GL_KTX_buffer_region",
    "GL_NV_blend_square",
    "GL_NV_fog_distance",
    "GL_NV_register_combiners",
    "GL_NV_texgen_emboss",
    "GL_NV_vertex_array_range",
    "GL_SGIS_multitexture",
    "GL_SGIS_texture_lod",
    "WGL_EXT_swap_control",
    "GLU_EXT_TEXTURE",
    "GLU_EXT_object_space_tess",
    "GLU_EXT_nurbs_tessellator"};

bool TOpenGLFlags::Has(const std::string& extensionName) const {
  for (size_t i = 0; i < cOpenGLExtensionNames.size(); ++i)
    if (extensionName == cOpenGLExtensionNames[i]) return Extensions[i];
  return false;
}

namespace {

void* GGLHandle = nullptr;
void* GGLUHandle = nullptr;
void* GX11Handle = nullptr;
bool GFake = false;

[[noreturn]] void RaiseMissing(const char* name) {
  throw EOpenGLError(std::string("OpenGL entry point ") + name + " is not available");
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"
#define CORVANE_MISSING_STUB(ret, name, params, args) \
  ret GLAPIENTRY Missing_##name params { RaiseMissing(#name); }
CORVANE_GL_CORE_FUNCTIONS(CORVANE_MISSING_STUB)
CORVANE_GL_EXTENSION_FUNCTIONS(CORVANE_MISSING_STUB)
CORVANE_GLU_FUNCTIONS(CORVANE_MISSING_STUB)
CORVANE_GLX_FUNCTIONS(CORVANE_MISSING_STUB)
CORVANE_X11_FUNCTIONS(CORVANE_MISSING_STUB)
#undef CORVANE_MISSING_STUB
#pragma GCC diagnostic pop

enum TFamily { fmGLX, fmCore, fmExtension, fmGLU, fmX11 };
struct TEntry {
  const char* Name;
  void* Slot;     // address of the table member
  void* Missing;  // the raising stub
  TFamily Family;
};

template <typename F>
void* AsVoid(F f) {
  void* p;
  static_assert(sizeof(f) == sizeof(p));
  std::memcpy(&p, &f, sizeof p);
  return p;
}

const std::vector<TEntry>& Entries() {
  static const std::vector<TEntry> entries = [] {
    std::vector<TEntry> e;
#define CORVANE_ENTRY(table, family) \
  [&](const char* n, auto& slot, auto missing) { e.push_back({n, &slot, AsVoid(missing), family}); }
    auto glx = CORVANE_ENTRY(GLX, fmGLX);
    auto core = CORVANE_ENTRY(GL, fmCore);
    auto ext = CORVANE_ENTRY(GL, fmExtension);
    auto glu = CORVANE_ENTRY(GL, fmGLU);
    auto x11 = CORVANE_ENTRY(GLX, fmX11);
#undef CORVANE_ENTRY
#define CORVANE_ADD_GLX(ret, name, params, args) glx(#name, GLX.name, &Missing_##name);
#define CORVANE_ADD_CORE(ret, name, params, args) core(#name, GL.name, &Missing_##name);
#define CORVANE_ADD_EXT(ret, name, params, args) ext(#name, GL.name, &Missing_##name);
#define CORVANE_ADD_GLU(ret, name, params, args) glu(#name, GL.name, &Missing_##name);
#define CORVANE_ADD_X11(ret, name, params, args) x11(#name, GLX.name, &Missing_##name);
    CORVANE_GLX_FUNCTIONS(CORVANE_ADD_GLX)
    CORVANE_GL_CORE_FUNCTIONS(CORVANE_ADD_CORE)
    CORVANE_GL_EXTENSION_FUNCTIONS(CORVANE_ADD_EXT)
    CORVANE_GLU_FUNCTIONS(CORVANE_ADD_GLU)
    CORVANE_X11_FUNCTIONS(CORVANE_ADD_X11)
    return e;
  }();
  return entries;
}

void SetSlot(const TEntry& e, void* p) { std::memcpy(e.Slot, &p, sizeof p); }
void* GetSlot(const TEntry& e) {
  void* p;
  std::memcpy(&p, e.Slot, sizeof p);
  return p;
}

void* ProcAddress(const char* name) {
  if (!GLX.glXGetProcAddressARB || GLX.glXGetProcAddressARB == &Missing_glXGetProcAddressARB) return nullptr;
  return AsVoid(GLX.glXGetProcAddressARB(reinterpret_cast<const GLubyte*>(name)));
}

// Before anything is loaded every entry raises instead of jumping to address 0.
[[maybe_unused]] const bool GSlotsReset = [] {
  for (const TEntry& e : Entries()) SetSlot(e, e.Missing);
  return true;
}();

// Which flag decides whether an extension entry point may be used.
bool ExtensionEntryAllowed(const char* name) {
  const std::string n = name;
  if (n == "glBlendColor" || n == "glBlendEquation" || n == "glDrawRangeElements")
    return OpenGLFlags.Version_1_2 || OpenGLFlags.Has("GL_ARB_imaging");
  if (n.ends_with("ARB")) return OpenGLFlags.Has("GL_ARB_multitexture");
  if (n == "glLockArraysEXT" || n == "glUnlockArraysEXT") return OpenGLFlags.Has("GL_EXT_compiled_vertex_array");
  if (n == "glGenerateMipmap") return VersionAtLeast(OpenGLFlags.Major, OpenGLFlags.Minor, 3, 0);
  return false;
}

// Rendering-context state: the activation count and current pair are process-wide; the pixel
// format (here the visual) for which the flags were read is per thread.
int GActivationCount = 0;
TGLDC GCurrentDC;
HGLRC GCurrentRC = nullptr;
thread_local unsigned long GLastPixelFormat = 0;

struct TContextInfo {
  Display* Dpy;
  unsigned long VisualID;
};
std::map<HGLRC, TContextInfo> GContexts;
GLXContext GShareContext = nullptr;
uint32_t GSharedNamesGeneration = 1;
Display* GShareDisplay = nullptr;

// X error trap state (Xlib's handler is process-wide, so is this).
int GXErrorCode = 0;
int GXErrorRequest = 0;
int XErrorRecorder(Display*, XErrorEvent* ev) {
  if (GXErrorCode == 0) {
    GXErrorCode = ev->error_code;
    GXErrorRequest = ev->request_code;
  }
  return 0;
}

}  // namespace

// --- loading

bool OpenGLLoaded() { return GFake || (GGLHandle && GGLUHandle && GX11Handle); }

bool InitOpenGL() {
  if (OpenGLLoaded()) return true;
  return InitOpenGLFromLibrary("libGL.so.1", "libGLU.so.1");
}

bool InitOpenGLFromLibrary(const std::string& glName, const std::string& gluName) {
  CloseOpenGL();
  GGLHandle = dlopen(glName.c_str(), RTLD_NOW | RTLD_LOCAL);
  GGLUHandle = dlopen(gluName.c_str(), RTLD_NOW | RTLD_LOCAL);
  GX11Handle = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
  if (GGLHandle && GGLUHandle && GX11Handle) {
    ReadOpenGLCore();
    return true;
  }
  CloseOpenGL();
  return false;
}

void CloseOpenGL() {
  for (void** h : {&GGLHandle, &GGLUHandle, &GX11Handle}) {
    if (*h) dlclose(*h);
    *h = nullptr;
  }
  GFake = false;
  ++GSharedNamesGeneration;
  for (const TEntry& e : Entries()) SetSlot(e, e.Missing);
  GLastPixelFormat = 0;
}

void ReadOpenGLCore() {
  for (const TEntry& e : Entries()) {
    void* p = nullptr;
    switch (e.Family) {
      case fmGLX:
      case fmCore:
        if (GGLHandle) p = dlsym(GGLHandle, e.Name);
        if (!p && e.Family == fmCore) p = ProcAddress(e.Name);
        break;
      case fmGLU:
        if (GGLUHandle) p = dlsym(GGLUHandle, e.Name);
        break;
      case fmX11:
        if (GX11Handle) p = dlsym(GX11Handle, e.Name);
        break;
      case fmExtension: continue;  // bound by ReadExtensions once a context tells what is there
    }
    SetSlot(e, p ? p : e.Missing);
  }
}

void ReadExtensions() {
  // Mesa's glXGetProcAddressARB answers with an address for any name, so an extension entry point
  // is taken only when the version or the extension string says it exists.
  for (const TEntry& e : Entries()) {
    if (e.Family != fmExtension) continue;
    void* p = nullptr;
    if (ExtensionEntryAllowed(e.Name)) {
      if (GGLHandle) p = dlsym(GGLHandle, e.Name);
      if (!p) p = ProcAddress(e.Name);
    }
    SetSlot(e, p ? p : e.Missing);
  }
}

bool EntryPointBound(const std::string& name) {
  for (const TEntry& e : Entries())
    if (name == e.Name) {
      void* p = GetSlot(e);
      return p != nullptr && p != e.Missing;
    }
  return false;
}

void TrimAndSplitVersionString(const std::string& text, int& major, int& minor) {
  major = 0;
  minor = 0;
  const size_t dot = text.find('.');
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  if (dot == std::string::npos || dot < 1 || dot + 1 >= text.size() || !digit(text[dot - 1]) || !digit(text[dot + 1]))
    return;
  size_t start = dot;
  while (start > 0 && digit(text[start - 1])) --start;
  size_t end = dot + 1;
  while (end < text.size() && digit(text[end])) ++end;
  int ma = 0, mi = 0;
  auto r1 = std::from_chars(text.data() + start, text.data() + dot, ma);
  auto r2 = std::from_chars(text.data() + dot + 1, text.data() + end, mi);
  if (r1.ec != std::errc() || r2.ec != std::errc()) return;
  major = ma;
  minor = mi;
}

bool VersionAtLeast(int major, int minor, int wantMajor, int wantMinor) {
  return major > wantMajor || (major == wantMajor && minor >= wantMinor);
}

bool CheckExtension(const std::string& name, const std::string& extensions) {
  return !name.empty() && extensions.find(name) != std::string::npos;
}

void ReadImplementationProperties() {
  auto str = [](const GLubyte* s) { return s ? std::string(reinterpret_cast<const char*>(s)) : std::string(); };
  int major, minor;
  TrimAndSplitVersionString(str(GL.glGetString(GL_VERSION)), major, minor);
  OpenGLFlags.Major = major;
  OpenGLFlags.Minor = minor;
  OpenGLFlags.Version_1_0 = true;
  OpenGLFlags.Version_1_1 = VersionAtLeast(major, minor, 1, 1);
  OpenGLFlags.Version_1_2 = VersionAtLeast(major, minor, 1, 2);
  OpenGLFlags.GLU_Version_1_1 = OpenGLFlags.GLU_Version_1_2 = OpenGLFlags.GLU_Version_1_3 = false;
  const bool glu = EntryPointBound("gluGetString");
  if (glu) {
    TrimAndSplitVersionString(str(GL.gluGetString(GLU_VERSION)), major, minor);
    OpenGLFlags.GLU_Version_1_1 = true;
    OpenGLFlags.GLU_Version_1_2 = VersionAtLeast(major, minor, 1, 2);
    OpenGLFlags.GLU_Version_1_3 = VersionAtLeast(major, minor, 1, 3);
  }
  const std::string ext = str(GL.glGetString(GL_EXTENSIONS));
  for (int i = 0; i < cGLExtensionCount; ++i) OpenGLFlags.Extensions[i] = CheckExtension(cOpenGLExtensionNames[i], ext);
  const std::string gluExt = glu ? str(GL.gluGetString(GLU_EXTENSIONS)) : std::string();
  for (int i = cGLExtensionCount; i < cGLExtensionCount + cGLUExtensionCount; ++i)
    OpenGLFlags.Extensions[i] = glu && CheckExtension(cOpenGLExtensionNames[i], gluExt);
}

void ForgetImplementationProperties() { GLastPixelFormat = 0; }

void UseFakeOpenGLLibraries(bool fake) {
  if (!fake) {
    CloseOpenGL();
    return;
  }
  CloseOpenGL();
  GFake = true;
}

// --- X error trap

TXErrorTrap::TXErrorTrap(Display* dpy, const char* call) : FDisplay(dpy), FCall(call) {
  if (!FDisplay) return;
  GLX.XSync(FDisplay, False);  // earlier errors belong to whoever made them
  GXErrorCode = 0;
  GXErrorRequest = 0;
  FOld = GLX.XSetErrorHandler(&XErrorRecorder);
  FInstalled = true;
}

TXErrorTrap::~TXErrorTrap() {
  try {
    Restore();
  } catch (...) {
  }
}

void TXErrorTrap::Restore() {
  if (!FInstalled) return;
  FInstalled = false;
  GLX.XSync(FDisplay, False);
  GLX.XSetErrorHandler(FOld);
}

void TXErrorTrap::Check() {
  if (!FDisplay) return;
  Restore();
  if (GXErrorCode == 0) return;
  char text[256] = {0};
  GLX.XGetErrorText(FDisplay, GXErrorCode, text, sizeof text - 1);
  const int code = GXErrorCode, request = GXErrorRequest;
  GXErrorCode = 0;
  throw EOpenGLError(std::string(FCall) + ": X error " + std::to_string(code) + " (" + text + ") on request " +
                     std::to_string(request));
}

// --- visuals

std::vector<int> VisualAttributes(TRCOptions options, int colorBits, int stencilBits, int accumBits, int auxBuffers) {
  std::vector<int> a = {GLX_RGBA, GLX_RED_SIZE, 1, GLX_GREEN_SIZE, 1, GLX_BLUE_SIZE, 1, GLX_DEPTH_SIZE, 16};
  (void)colorBits;  // the largest colour buffer available is chosen anyway
  if (options & opDoubleBuffered) a.push_back(GLX_DOUBLEBUFFER);
  if (options & opStereo) a.push_back(GLX_STEREO);
  if (stencilBits > 0) a.insert(a.end(), {GLX_STENCIL_SIZE, stencilBits});
  if (accumBits > 0)
    a.insert(a.end(), {GLX_ACCUM_RED_SIZE, accumBits / 4, GLX_ACCUM_GREEN_SIZE, accumBits / 4, GLX_ACCUM_BLUE_SIZE,
                       accumBits / 4});
  if (auxBuffers > 0) a.insert(a.end(), {GLX_AUX_BUFFERS, auxBuffers});
  a.push_back(None);
  return a;
}

XVisualInfo* ChooseGLVisual(Display* dpy, int screen, TRCOptions options) {
  std::vector<int> a = VisualAttributes(options, 32, 0, 0, 0);
  return GLX.glXChooseVisual(dpy, screen, a.data());
}

bool VisualSuitsOpenGL(Display* dpy, XVisualInfo* vis, TRCOptions options) {
  auto get = [&](int attr) {
    int v = 0;
    return GLX.glXGetConfig(dpy, vis, attr, &v) == 0 ? v : -1;
  };
  if (get(GLX_USE_GL) != 1 || get(GLX_RGBA) != 1 || get(GLX_DEPTH_SIZE) <= 0) return false;
  if ((get(GLX_DOUBLEBUFFER) == 1) != ((options & opDoubleBuffered) != 0)) return false;
  if ((get(GLX_STEREO) == 1) != ((options & opStereo) != 0)) return false;
  return vis->c_class == TrueColor || vis->c_class == DirectColor;
}

// --- rendering contexts

uint32_t PixelFormatFlags(int dcObjectType, TRCOptions options) {
  uint32_t f = PFD_SUPPORT_OPENGL_;
  if (dcObjectType == dcMetafile || dcObjectType == dcMemory || dcObjectType == dcEnhancedMetafile)
    f |= PFD_DRAW_TO_BITMAP_;
  else
    f |= PFD_DRAW_TO_WINDOW_;
  if (options & opDoubleBuffered) f |= PFD_DOUBLEBUFFER_;
  if (options & opGDI) f |= PFD_SUPPORT_GDI_;
  if (options & opStereo) f |= PFD_STEREO_;
  return f;
}

uint8_t LayerTypeFor(int layer) { return layer == 0 ? 0 : layer > 0 ? 1 : 0xFF; }

std::vector<TPaletteEntry> LogicalPaletteEntries(int colorBits, int redBits, int redShift, int greenBits,
                                                 int greenShift, int blueBits, int blueShift) {
  std::vector<TPaletteEntry> entries;
  if (colorBits < 1 || colorBits > 8) return entries;  // palettes exist only for 8-bit formats
  auto level = [](int i, int bits, int shift) -> uint8_t {
    if (bits <= 0 || bits > 8 || shift < 0 || shift > 31) return 0;  // no such component
    const int mask = (1 << bits) - 1;
    return static_cast<uint8_t>(((i >> shift) & mask) * 255 / mask);
  };
  const int n = 1 << colorBits;
  for (int i = 0; i < n; ++i)
    entries.push_back({level(i, redBits, redShift), level(i, greenBits, greenShift), level(i, blueBits, blueShift), 0});
  return entries;
}

HGLRC CreateRenderingContext(const TGLDC& dc, TRCOptions options, int colorBits, int stencilBits, int accumBits,
                             int auxBuffers, int layer) {
  if (!InitOpenGL()) throw EOSError("Cannot load the OpenGL libraries libGL.so.1 and libGLU.so.1");
  if (!dc.Display || !dc.Drawable) throw EOSError("Invalid device context: no X display or window");
  if (layer != 0) throw EOSError("Overlay and underlay planes are not available under X11");
  Display* dpy = static_cast<Display*>(dc.Display);
  XWindowAttributes wa;
  {
    TXErrorTrap trap(dpy, "XGetWindowAttributes");
    if (!GLX.XGetWindowAttributes(dpy, dc.Drawable, &wa)) throw EOSError("Cannot read the window's attributes");
    trap.Check();
  }
  if (wa.depth <= 8)
    throw EOSError("The window has " + std::to_string(wa.depth) +
                   "-bit colour: colour-index visuals and palettes are not available for OpenGL");
  XVisualInfo templ;
  std::memset(&templ, 0, sizeof templ);
  templ.visualid = wa.visual->visualid;
  int n = 0;
  XVisualInfo* vi = GLX.XGetVisualInfo(dpy, VisualIDMask, &templ, &n);
  if (!vi || n < 1) throw EOSError("The window's visual is unknown to the X server");
  TScopeGuard freeVisual([vi] { GLX.XFree(vi); });
  std::vector<int> wanted = VisualAttributes(options, colorBits, stencilBits, accumBits, auxBuffers);
  (void)wanted;
  if (!VisualSuitsOpenGL(dpy, vi, options))
    throw EOSError("The window's visual cannot render OpenGL with the requested buffers");
  GLXContext rc = nullptr;
  {
    TXErrorTrap trap(dpy, "glXCreateContext");
    if (!GShareContext) {
      // One context that is never made current holds the lists and textures that every viewer
      // shares; GLX can share only at creation.
      GShareContext = GLX.glXCreateContext(dpy, vi, nullptr, True);
      GShareDisplay = dpy;
    }
    rc = GLX.glXCreateContext(dpy, vi, GShareContext, True);
    trap.Check();
  }
  const unsigned long visual = vi->visualid;
  if (!rc) throw EOSError("glXCreateContext failed");
  GContexts[rc] = {dpy, visual};
  GLastPixelFormat = 0;  // the next activation reads the flags again
  return rc;
}

void ActivateRenderingContext(const TGLDC& dc, HGLRC rc) {
  if (!dc.Display || !dc.Drawable) throw EAssertionFailed("got DC=0");
  if (!rc) throw EAssertionFailed("got RC=0");
  if (GActivationCount > 0) {
    if (dc == GCurrentDC && rc == GCurrentRC) {
      ++GActivationCount;
      return;
    }
    throw EAssertionFailed("incoherent DC/RC");
  }
  Display* dpy = static_cast<Display*>(dc.Display);
  Bool ok;
  {
    TXErrorTrap trap(dpy, "glXMakeCurrent");
    ok = GLX.glXMakeCurrent(dpy, dc.Drawable, static_cast<GLXContext>(rc));
    trap.Check();
  }
  if (!ok) throw EAssertionFailed("wglMakeCurrent failed");
  GCurrentDC = dc;
  GCurrentRC = rc;
  GActivationCount = 1;
  auto it = GContexts.find(rc);
  const unsigned long format = it != GContexts.end() ? it->second.VisualID : 1;
  if (format != GLastPixelFormat) {
    ReadImplementationProperties();
    ReadExtensions();
    GLastPixelFormat = format;
  }
}

void DeactivateRenderingContext() {
  if (GActivationCount == 0) throw EAssertionFailed("DeactivateRenderingContext : unbalanced activations");
  if (GActivationCount > 1) {
    --GActivationCount;
    return;
  }
  GActivationCount = 0;
  Display* dpy = static_cast<Display*>(GCurrentDC.Display);
  GCurrentDC = {};
  GCurrentRC = nullptr;
  Bool ok;
  {
    TXErrorTrap trap(dpy, "glXMakeCurrent");
    ok = GLX.glXMakeCurrent(dpy, None, nullptr);
    trap.Check();
  }
  if (!ok) throw EAssertionFailed("wglMakeCurrent failed");
}

void DestroyRenderingContext(HGLRC rc) {
  if (GActivationCount != 0) throw EAssertionFailed("DestroyRenderingContext : unbalanced activations");
  auto it = GContexts.find(rc);
  if (it == GContexts.end()) throw EAssertionFailed("wglDeleteContext failed");
  Display* dpy = it->second.Dpy;
  GContexts.erase(it);
  TXErrorTrap trap(dpy, "glXDestroyContext");
  GLX.glXDestroyContext(dpy, static_cast<GLXContext>(rc));
  if (GContexts.empty() && GShareContext) {
    // No viewer is left: the shared lists go with the last context.
    GLX.glXDestroyContext(GShareDisplay, GShareContext);
    GShareContext = nullptr;
    GShareDisplay = nullptr;
    ++GSharedNamesGeneration;
  }
  trap.Check();
}

bool DescribeCurrentPixelFormat(TPixelFormatDescription& pfd) {
  pfd = TPixelFormatDescription{};
  if (GActivationCount < 1) return false;
  auto it = GContexts.find(GCurrentRC);
  if (it == GContexts.end() || !it->second.Dpy) return false;
  Display* dpy = it->second.Dpy;
  XVisualInfo templ;
  std::memset(&templ, 0, sizeof templ);
  templ.visualid = it->second.VisualID;
  int n = 0;
  XVisualInfo* vi = GLX.XGetVisualInfo(dpy, VisualIDMask, &templ, &n);
  if (!vi || n < 1) return false;
  auto get = [&](XVisualInfo* v, int attr) {
    int value = 0;
    return GLX.glXGetConfig(dpy, v, attr, &value) == 0 ? value : 0;
  };
  pfd.Flags = PFD_SUPPORT_OPENGL_ | PFD_DRAW_TO_WINDOW_;
  if (get(vi, GLX_DOUBLEBUFFER)) pfd.Flags |= PFD_DOUBLEBUFFER_;
  if (get(vi, GLX_STEREO)) pfd.Flags |= PFD_STEREO_;
  pfd.RedBits = get(vi, GLX_RED_SIZE);
  pfd.GreenBits = get(vi, GLX_GREEN_SIZE);
  pfd.BlueBits = get(vi, GLX_BLUE_SIZE);
  pfd.AlphaBits = get(vi, GLX_ALPHA_SIZE);
  pfd.AccumRedBits = get(vi, GLX_ACCUM_RED_SIZE);
  pfd.AccumGreenBits = get(vi, GLX_ACCUM_GREEN_SIZE);
  pfd.AccumBlueBits = get(vi, GLX_ACCUM_BLUE_SIZE);
  pfd.AccumAlphaBits = get(vi, GLX_ACCUM_ALPHA_SIZE);
  pfd.DepthBits = get(vi, GLX_DEPTH_SIZE);
  pfd.StencilBits = get(vi, GLX_STENCIL_SIZE);
  pfd.AuxBuffers = get(vi, GLX_AUX_BUFFERS);
  const int screen = vi->screen;
  GLX.XFree(vi);
  // Overlay and underlay planes are the screen's GL visuals of a level above or below 0.
  templ.screen = screen;
  XVisualInfo* all = GLX.XGetVisualInfo(dpy, VisualScreenMask, &templ, &n);
  int overlays = 0, underlays = 0;
  for (int i = 0; all && i < n; ++i) {
    if (!get(&all[i], GLX_USE_GL)) continue;
    const int level = get(&all[i], GLX_LEVEL);
    overlays = std::max(overlays, level);
    underlays = std::max(underlays, -level);
  }
  if (all) GLX.XFree(all);
  pfd.Reserved = static_cast<uint8_t>(std::min(overlays, 7) | (std::min(underlays, 31) << 3));
  // X has no generic-driver flag: a software rasteriser is reported as the generic driver.
  const GLubyte* renderer = GL.glGetString(GL_RENDERER);
  const std::string name = renderer ? reinterpret_cast<const char*>(renderer) : "";
  for (const char* soft : {"llvmpipe", "softpipe", "Software Rasterizer", "swrast"})
    if (name.find(soft) != std::string::npos) pfd.Flags |= PFD_GENERIC_FORMAT_;
  return true;
}

TGLDC CurrentDC() { return GActivationCount >= 1 ? GCurrentDC : TGLDC{}; }
HGLRC CurrentRC() { return GActivationCount >= 1 ? GCurrentRC : nullptr; }
int ActivationCount() { return GActivationCount; }
uint32_t SharedNamesGeneration() { return GSharedNamesGeneration; }
int LiveRenderingContexts() { return static_cast<int>(GContexts.size()); }

void SwapGLBuffers(const TGLDC& dc) { GLX.glXSwapBuffers(static_cast<Display*>(dc.Display), dc.Drawable); }
