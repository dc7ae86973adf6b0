#pragma once
// Run-time binding of OpenGL and GLU. Nothing links the two libraries: libGL.so.1 and
// libGLU.so.1 are opened with dlopen and every entry point the program calls is looked up by
// name into the table `GL` (dlsym first, then glXGetProcAddressARB). A name that cannot be found
// is bound to a stub that raises EOpenGLError naming the function, so a missing entry point
// never jumps to address 0. Tests swap the whole table for a recording one (GLRecorder.h).
//
// Also here: the version and extension flags of the current implementation and the rendering
// contexts (GLX contexts) with their process-wide activation count.
//
// Include this from .cpp files only: it pulls in <GL/gl.h> and <GL/glu.h>, which must never
// reach a header that moc reads. The GLX and X11 entry points live in OpenGLX.h.
#include <GL/gl.h>
#include <GL/glu.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Bitmap.h"  // TPaletteEntry
#include "platform/Exceptions.h"

// X(return type, exported name, parameter list, argument list)
#define CORVANE_GL_CORE_FUNCTIONS(X)                                                                                   \
  X(void, glAlphaFunc, (GLenum func, GLclampf ref), (func, ref))                                                       \
  X(void, glBegin, (GLenum mode), (mode))                                                                              \
  X(void, glBindTexture, (GLenum target, GLuint texture), (target, texture))                                           \
  X(void, glBlendFunc, (GLenum sfactor, GLenum dfactor), (sfactor, dfactor))                                           \
  X(void, glCallList, (GLuint list), (list))                                                                           \
  X(void, glClear, (GLbitfield mask), (mask))                                                                          \
  X(void, glClearColor, (GLclampf r, GLclampf g, GLclampf b, GLclampf a), (r, g, b, a))                                \
  X(void, glColor3f, (GLfloat r, GLfloat g, GLfloat b), (r, g, b))                                                     \
  X(void, glColor3fv, (const GLfloat* v), (v))                                                                         \
  X(void, glColor4f, (GLfloat r, GLfloat g, GLfloat b, GLfloat a), (r, g, b, a))                                       \
  X(void, glColor4fv, (const GLfloat* v), (v))                                                                         \
  X(void, glCallLists, (GLsizei n, GLenum type, const void* lists), (n, type, lists))                                  \
  X(void, glColorMaterial, (GLenum face, GLenum mode), (face, mode))                                                   \
  X(void, glColorPointer, (GLint size, GLenum type, GLsizei stride, const void* ptr), (size, type, stride, ptr))       \
  X(void, glCullFace, (GLenum mode), (mode))                                                                           \
  X(void, glDeleteLists, (GLuint list, GLsizei range), (list, range))                                                  \
  X(void, glDeleteTextures, (GLsizei n, const GLuint* textures), (n, textures))                                        \
  X(void, glDepthFunc, (GLenum func), (func))                                                                          \
  X(void, glDepthMask, (GLboolean flag), (flag))                                                                       \
  X(void, glDisable, (GLenum cap), (cap))                                                                              \
  X(void, glDisableClientState, (GLenum array), (array))                                                               \
  X(void, glDrawArrays, (GLenum mode, GLint first, GLsizei count), (mode, first, count))                               \
  X(void, glEvalMesh2, (GLenum mode, GLint i1, GLint i2, GLint j1, GLint j2), (mode, i1, i2, j1, j2))                  \
  X(void, glDrawElements, (GLenum mode, GLsizei count, GLenum type, const void* indices),                              \
    (mode, count, type, indices))                                                                                      \
  X(void, glEnable, (GLenum cap), (cap))                                                                               \
  X(void, glEnableClientState, (GLenum array), (array))                                                                \
  X(void, glEnd, (), ())                                                                                               \
  X(void, glEndList, (), ())                                                                                           \
  X(void, glFinish, (), ())                                                                                            \
  X(void, glFlush, (), ())                                                                                             \
  X(void, glFogf, (GLenum pname, GLfloat param), (pname, param))                                                       \
  X(void, glFogfv, (GLenum pname, const GLfloat* params), (pname, params))                                             \
  X(void, glFogi, (GLenum pname, GLint param), (pname, param))                                                         \
  X(void, glFrontFace, (GLenum mode), (mode))                                                                          \
  X(void, glFrustum, (GLdouble l, GLdouble r, GLdouble b, GLdouble t, GLdouble n, GLdouble f), (l, r, b, t, n, f))     \
  X(GLuint, glGenLists, (GLsizei range), (range))                                                                      \
  X(void, glGenTextures, (GLsizei n, GLuint * textures), (n, textures))                                                \
  X(void, glGetBooleanv, (GLenum pname, GLboolean * params), (pname, params))                                          \
  X(void, glGetDoublev, (GLenum pname, GLdouble * params), (pname, params))                                            \
  X(GLenum, glGetError, (), ())                                                                                        \
  X(void, glGetFloatv, (GLenum pname, GLfloat * params), (pname, params))                                              \
  X(void, glGetIntegerv, (GLenum pname, GLint * params), (pname, params))                                              \
  X(const GLubyte*, glGetString, (GLenum name), (name))                                                                \
  X(void, glGetTexLevelParameteriv, (GLenum target, GLint level, GLenum pname, GLint * params),                        \
    (target, level, pname, params))                                                                                    \
  X(void, glHint, (GLenum target, GLenum mode), (target, mode))                                                        \
  X(void, glInterleavedArrays, (GLenum format, GLsizei stride, const void* ptr), (format, stride, ptr))                \
  X(GLboolean, glIsEnabled, (GLenum cap), (cap))                                                                       \
  X(GLboolean, glIsList, (GLuint list), (list))                                                                        \
  X(void, glLightModelfv, (GLenum pname, const GLfloat* params), (pname, params))                                      \
  X(void, glLightModeli, (GLenum pname, GLint param), (pname, param))                                                  \
  X(void, glLightf, (GLenum light, GLenum pname, GLfloat param), (light, pname, param))                                \
  X(void, glLightfv, (GLenum light, GLenum pname, const GLfloat* params), (light, pname, params))                      \
  X(void, glListBase, (GLuint base), (base))                                                                           \
  X(void, glLineStipple, (GLint factor, GLushort pattern), (factor, pattern))                                          \
  X(void, glLineWidth, (GLfloat width), (width))                                                                       \
  X(void, glLoadIdentity, (), ())                                                                                      \
  X(void, glLoadMatrixf, (const GLfloat* m), (m))                                                                      \
  X(void, glMap2f,                                                                                                     \
    (GLenum target, GLfloat u1, GLfloat u2, GLint ustride, GLint uorder, GLfloat v1, GLfloat v2, GLint vstride,        \
     GLint vorder, const GLfloat* points),                                                                             \
    (target, u1, u2, ustride, uorder, v1, v2, vstride, vorder, points))                                                \
  X(void, glMapGrid2f, (GLint un, GLfloat u1, GLfloat u2, GLint vn, GLfloat v1, GLfloat v2), (un, u1, u2, vn, v1, v2)) \
  X(void, glMaterialf, (GLenum face, GLenum pname, GLfloat param), (face, pname, param))                               \
  X(void, glMaterialfv, (GLenum face, GLenum pname, const GLfloat* params), (face, pname, params))                     \
  X(void, glMateriali, (GLenum face, GLenum pname, GLint param), (face, pname, param))                                 \
  X(void, glMatrixMode, (GLenum mode), (mode))                                                                         \
  X(void, glMultMatrixf, (const GLfloat* m), (m))                                                                      \
  X(void, glNewList, (GLuint list, GLenum mode), (list, mode))                                                         \
  X(void, glNormal3f, (GLfloat x, GLfloat y, GLfloat z), (x, y, z))                                                    \
  X(void, glNormal3fv, (const GLfloat* v), (v))                                                                        \
  X(void, glNormalPointer, (GLenum type, GLsizei stride, const void* ptr), (type, stride, ptr))                        \
  X(void, glOrtho, (GLdouble l, GLdouble r, GLdouble b, GLdouble t, GLdouble n, GLdouble f), (l, r, b, t, n, f))       \
  X(void, glPixelStorei, (GLenum pname, GLint param), (pname, param))                                                  \
  X(void, glPointSize, (GLfloat size), (size))                                                                         \
  X(void, glPolygonMode, (GLenum face, GLenum mode), (face, mode))                                                     \
  X(void, glPopAttrib, (), ())                                                                                         \
  X(void, glPopMatrix, (), ())                                                                                         \
  X(void, glPushAttrib, (GLbitfield mask), (mask))                                                                     \
  X(void, glPushMatrix, (), ())                                                                                        \
  X(void, glReadBuffer, (GLenum mode), (mode))                                                                         \
  X(void, glReadPixels, (GLint x, GLint y, GLsizei w, GLsizei h, GLenum format, GLenum type, void* pixels),            \
    (x, y, w, h, format, type, pixels))                                                                                \
  X(void, glRotatef, (GLfloat angle, GLfloat x, GLfloat y, GLfloat z), (angle, x, y, z))                               \
  X(void, glScalef, (GLfloat x, GLfloat y, GLfloat z), (x, y, z))                                                      \
  X(void, glShadeModel, (GLenum mode), (mode))                                                                         \
  X(void, glTexCoord2f, (GLfloat s, GLfloat t), (s, t))                                                                \
  X(void, glTexCoord2fv, (const GLfloat* v), (v))                                                                      \
  X(void, glTexCoordPointer, (GLint size, GLenum type, GLsizei stride, const void* ptr), (size, type, stride, ptr))    \
  X(void, glTexEnvi, (GLenum target, GLenum pname, GLint param), (target, pname, param))                               \
  X(void, glTexImage2D,                                                                                                \
    (GLenum target, GLint level, GLint internalFormat, GLsizei w, GLsizei h, GLint border, GLenum format, GLenum type, \
     const void* pixels),                                                                                              \
    (target, level, internalFormat, w, h, border, format, type, pixels))                                               \
  X(void, glTexParameteri, (GLenum target, GLenum pname, GLint param), (target, pname, param))                         \
  X(void, glTexSubImage2D,                                                                                             \
    (GLenum target, GLint level, GLint x, GLint y, GLsizei w, GLsizei h, GLenum format, GLenum type,                   \
     const void* pixels),                                                                                              \
    (target, level, x, y, w, h, format, type, pixels))                                                                 \
  X(void, glTranslatef, (GLfloat x, GLfloat y, GLfloat z), (x, y, z))                                                  \
  X(void, glVertex2f, (GLfloat x, GLfloat y), (x, y))                                                                  \
  X(void, glVertex3f, (GLfloat x, GLfloat y, GLfloat z), (x, y, z))                                                    \
  X(void, glVertex3fv, (const GLfloat* v), (v))                                                                        \
  X(void, glVertexPointer, (GLint size, GLenum type, GLsizei stride, const void* ptr), (size, type, stride, ptr))      \
  X(void, glViewport, (GLint x, GLint y, GLsizei w, GLsizei h), (x, y, w, h))

// OpenGL 1.2 and extension entry points: looked up like the core, present only when the version or
// the extension string says so.
#define CORVANE_GL_EXTENSION_FUNCTIONS(X)                                                     \
  X(void, glBlendColor, (GLclampf r, GLclampf g, GLclampf b, GLclampf a), (r, g, b, a))       \
  X(void, glBlendEquation, (GLenum mode), (mode))                                             \
  X(void, glDrawRangeElements,                                                                \
    (GLenum mode, GLuint start, GLuint end, GLsizei count, GLenum type, const void* indices), \
    (mode, start, end, count, type, indices))                                                 \
  X(void, glActiveTextureARB, (GLenum texture), (texture))                                    \
  X(void, glClientActiveTextureARB, (GLenum texture), (texture))                              \
  X(void, glMultiTexCoord2fARB, (GLenum target, GLfloat s, GLfloat t), (target, s, t))        \
  X(void, glLockArraysEXT, (GLint first, GLsizei count), (first, count))                      \
  X(void, glUnlockArraysEXT, (), ())                                                          \
  X(void, glGenerateMipmap, (GLenum target), (target))

#define CORVANE_GLU_FUNCTIONS(X)                                                                                     \
  X(GLint, gluBuild2DMipmaps,                                                                                        \
    (GLenum target, GLint components, GLint w, GLint h, GLenum format, GLenum type, const void* data),               \
    (target, components, w, h, format, type, data))                                                                  \
  X(void, gluCylinder, (GLUquadric * q, GLdouble base, GLdouble top, GLdouble height, GLint sl, GLint st),           \
    (q, base, top, height, sl, st))                                                                                  \
  X(void, gluDeleteQuadric, (GLUquadric * q), (q))                                                                   \
  X(void, gluDeleteTess, (GLUtesselator * tess), (tess))                                                             \
  X(void, gluDisk, (GLUquadric * q, GLdouble inner, GLdouble outer, GLint slices, GLint loops),                      \
    (q, inner, outer, slices, loops))                                                                                \
  X(const GLubyte*, gluErrorString, (GLenum error), (error))                                                         \
  X(void, gluPartialDisk,                                                                                            \
    (GLUquadric * q, GLdouble inner, GLdouble outer, GLint slices, GLint loops, GLdouble start, GLdouble sweep),     \
    (q, inner, outer, slices, loops, start, sweep))                                                                  \
  X(const GLubyte*, gluGetString, (GLenum name), (name))                                                             \
  X(void, gluLookAt,                                                                                                 \
    (GLdouble ex, GLdouble ey, GLdouble ez, GLdouble cx, GLdouble cy, GLdouble cz, GLdouble ux, GLdouble uy,         \
     GLdouble uz),                                                                                                   \
    (ex, ey, ez, cx, cy, cz, ux, uy, uz))                                                                            \
  X(GLUquadric*, gluNewQuadric, (), ())                                                                              \
  X(GLUtesselator*, gluNewTess, (), ())                                                                              \
  X(void, gluPerspective, (GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar),                           \
    (fovy, aspect, zNear, zFar))                                                                                     \
  X(void, gluQuadricDrawStyle, (GLUquadric * q, GLenum draw), (q, draw))                                             \
  X(void, gluQuadricNormals, (GLUquadric * q, GLenum normal), (q, normal))                                           \
  X(void, gluQuadricOrientation, (GLUquadric * q, GLenum orientation), (q, orientation))                             \
  X(void, gluQuadricTexture, (GLUquadric * q, GLboolean texture), (q, texture))                                      \
  X(GLint, gluScaleImage,                                                                                            \
    (GLenum format, GLint wIn, GLint hIn, GLenum typeIn, const void* dataIn, GLint wOut, GLint hOut, GLenum typeOut, \
     void* dataOut),                                                                                                 \
    (format, wIn, hIn, typeIn, dataIn, wOut, hOut, typeOut, dataOut))                                                \
  X(void, gluSphere, (GLUquadric * q, GLdouble radius, GLint slices, GLint stacks), (q, radius, slices, stacks))     \
  X(void, gluTessBeginContour, (GLUtesselator * tess), (tess))                                                       \
  X(void, gluTessBeginPolygon, (GLUtesselator * tess, GLvoid * data), (tess, data))                                  \
  X(void, gluTessCallback, (GLUtesselator * tess, GLenum which, _GLUfuncptr fn), (tess, which, fn))                  \
  X(void, gluTessEndContour, (GLUtesselator * tess), (tess))                                                         \
  X(void, gluTessEndPolygon, (GLUtesselator * tess), (tess))                                                         \
  X(void, gluTessNormal, (GLUtesselator * tess, GLdouble x, GLdouble y, GLdouble z), (tess, x, y, z))                \
  X(void, gluTessProperty, (GLUtesselator * tess, GLenum which, GLdouble data), (tess, which, data))                 \
  X(void, gluTessVertex, (GLUtesselator * tess, GLdouble * location, GLvoid * data), (tess, location, data))

#define CORVANE_GL_DECLARE_MEMBER(ret, name, params, args) ret(GLAPIENTRY* name) params = nullptr;

// The entry-point table. Every GL and GLU call of the program goes through `GL.<name>(...)`.
struct TGLEntryPoints {
  CORVANE_GL_CORE_FUNCTIONS(CORVANE_GL_DECLARE_MEMBER)
  CORVANE_GL_EXTENSION_FUNCTIONS(CORVANE_GL_DECLARE_MEMBER)
  CORVANE_GLU_FUNCTIONS(CORVANE_GL_DECLARE_MEMBER)
};
extern TGLEntryPoints GL;

// The names of the extension flags, in flag order: the GL ones are judged against
// GL_EXTENSIONS, the last three against GLU_EXTENSIONS.
inline constexpr int cGLExtensionCount = 57;
inline constexpr int cGLUExtensionCount = 3;
extern const std::array<const char*, cGLExtensionCount + cGLUExtensionCount> cOpenGLExtensionNames;

// (major, minor) pairs are compared as pairs: "2.0" and "4.5" are above 1.1.
bool VersionAtLeast(int major, int minor, int wantMajor, int wantMinor);

// The implementation's version and extension flags, read at the first activation of a context
// (and again after a new context was created).
struct TOpenGLFlags {
  bool Version_1_0 = false, Version_1_1 = false, Version_1_2 = false;
  // The version as read (0.0 when the string had none): later features are judged on it.
  int Major = 0, Minor = 0;
  // Textures that make their own mip-map levels (the GL_GENERATE_MIPMAP texture parameter).
  bool Version_1_4() const { return VersionAtLeast(Major, Minor, 1, 4); }
  bool GLU_Version_1_1 = false, GLU_Version_1_2 = false, GLU_Version_1_3 = false;
  std::array<bool, cGLExtensionCount + cGLUExtensionCount> Extensions{};
  // By name; false for a name that is not in the table.
  bool Has(const std::string& extensionName) const;
  bool EXT_bgra() const { return Extensions[1]; }
};
extern TOpenGLFlags OpenGLFlags;

// --- loading
bool InitOpenGL();  // libGL.so.1 and libGLU.so.1
bool InitOpenGLFromLibrary(const std::string& glName, const std::string& gluName);
void CloseOpenGL();
bool OpenGLLoaded();
// Binds every entry point of the loaded libraries; a missing one gets a stub that raises
// EOpenGLError naming it.
void ReadOpenGLCore();
void ReadExtensions();
// True when the entry point was found in the library (not bound to the raising stub).
bool EntryPointBound(const std::string& name);
// Sets the flags; needs a current context.
void ReadImplementationProperties();
// "1.1.0 Build 12" gives 1 and 1, "Version 1.2" gives 1 and 2, anything without a dot between
// two digits gives 0 and 0.
void TrimAndSplitVersionString(const std::string& text, int& major, int& minor);
// Substring search, as the extension strings are checked.
bool CheckExtension(const std::string& name, const std::string& extensions);

// --- rendering contexts
// A device context: an X display and a drawable of it (a window).
struct TGLDC {
  void* Display = nullptr;
  unsigned long Drawable = 0;
  bool operator==(const TGLDC&) const = default;
};
using HGLRC = void*;  // a GLX context
enum TRCOption : unsigned { opDoubleBuffered = 1, opGDI = 2, opStereo = 4 };
using TRCOptions = unsigned;

// Creates a GLX context for the drawable's visual. Lists and textures are shared by every
// context through one process-wide share context, given at creation. Raises EOSError when the
// libraries cannot be loaded or the drawable's visual cannot do OpenGL with the options, and
// EOpenGLError when the X server refuses a call.
HGLRC CreateRenderingContext(const TGLDC& dc, TRCOptions options, int colorBits, int stencilBits, int accumBits,
                             int auxBuffers, int layer);
void ActivateRenderingContext(const TGLDC& dc, HGLRC rc);
void DeactivateRenderingContext();
void DestroyRenderingContext(HGLRC rc);
TGLDC CurrentDC();
HGLRC CurrentRC();
int ActivationCount();
// Number of live contexts made by CreateRenderingContext (the share context not counted).
int LiveRenderingContexts();
// Changes whenever the shared texture and list names die (the last context went, or the
// libraries were closed): a name made under an older generation is only forgotten, never deleted.
uint32_t SharedNamesGeneration();
// Swaps the buffers of a double-buffered drawable.
void SwapGLBuffers(const TGLDC& dc);
// GLX attributes for a visual that suits the options (zero-terminated), for glXChooseVisual.
std::vector<int> VisualAttributes(TRCOptions options, int colorBits, int stencilBits, int accumBits, int auxBuffers);

// What the current context's visual offers, in the terms of a Windows pixel-format description:
// Flags hold PFD_* bits (the generic-format bit for a software renderer), Reserved the number of
// overlay planes in bits 0..2 and of underlay planes from bit 3 on.
struct TPixelFormatDescription {
  uint32_t Flags = 0;
  int RedBits = 0, GreenBits = 0, BlueBits = 0, AlphaBits = 0;
  int AccumRedBits = 0, AccumGreenBits = 0, AccumBlueBits = 0, AccumAlphaBits = 0;
  int DepthBits = 0, StencilBits = 0, AuxBuffers = 0;
  uint8_t Reserved = 0;
};
// Describes the visual of the current rendering context; false when no context is current.
bool DescribeCurrentPixelFormat(TPixelFormatDescription& pfd);

// --- pixel-format decisions kept from the Windows design (layer planes, colour-index visuals
// and palettes for 8-bit screens do not exist under Mesa and X11; at run time they fail cleanly)
enum : uint32_t {
  PFD_DOUBLEBUFFER_ = 0x01,
  PFD_STEREO_ = 0x02,
  PFD_DRAW_TO_WINDOW_ = 0x04,
  PFD_DRAW_TO_BITMAP_ = 0x08,
  PFD_SUPPORT_GDI_ = 0x10,
  PFD_SUPPORT_OPENGL_ = 0x20,
  PFD_GENERIC_FORMAT_ = 0x40,
  PFD_NEED_PALETTE_ = 0x80,
  PFD_SWAP_EXCHANGE_ = 0x200,
  PFD_SWAP_COPY_ = 0x400,
  PFD_GENERIC_ACCELERATED_ = 0x1000
};
enum TDCObjectType { dcWindow = 3, dcMetafile = 4, dcMemory = 10, dcEnhancedMetafile = 12 };
uint32_t PixelFormatFlags(int dcObjectType, TRCOptions options);
uint8_t LayerTypeFor(int layer);  // 0 main plane, 1 overlay, 0xFF underlay
// The logical palette of an 8-bit (or smaller) RGB pixel format: 2^colorBits entries.
std::vector<TPaletteEntry> LogicalPaletteEntries(int colorBits, int redBits, int redShift, int greenBits,
                                                 int greenShift, int blueBits, int blueShift);

// For tests: makes the loader believe the libraries are loaded and replaces the GLX side with
// the given table (see GLRecorder.h). Restored by CloseOpenGL.
void UseFakeOpenGLLibraries(bool fake);
// Forgets the flags' pixel format so the next activation reads them again.
void ForgetImplementationProperties();
