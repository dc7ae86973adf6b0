#pragma once
// Replacement entry-point tables for tests and measurements.
// - The recording table answers every GL, GLU, GLX and Xlib call without a display, records it
//   (name and numeric arguments) and emulates the little state the scene reads back: the
//   enabled capabilities (kept across glPushAttrib / glPopAttrib), the modelview and
//   projection matrices, display-list and texture names, glGetString and glGetIntegerv answers.
// - The counting table wraps the real one and counts the calls that go through it.
// Include from .cpp files only (it includes OpenGL12.h).
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "model/Geometry.h"
#include "scene/OpenGL12.h"

struct TGLCall {
  std::string Name;
  std::vector<double> Args;  // numbers as given; pointers are recorded as 0
};

class TGLRecorder {
 public:
  std::vector<TGLCall> Calls;
  bool Recording = true;
  // Called with each call as it is recorded, so a test can look at the emulated state then.
  std::function<void(const TGLCall&)> OnCall;
  // Answers of the fake implementation.
  std::map<GLenum, std::string> Strings;         // glGetString
  std::map<GLenum, std::string> GLUStrings;      // gluGetString
  std::map<GLenum, std::vector<double>> Values;  // glGetIntegerv / glGetFloatv / glGetDoublev
  bool MakeCurrentResult = true;
  int WindowDepth = 24;  // XGetWindowAttributes
  bool VisualDoubleBuffered = true;
  int XErrorToRaise = 0;  // an X error reported by the next glXMakeCurrent (0 = none)

  // Emulated state.
  std::set<GLenum> Enabled;
  GLenum MatrixMode = GL_MODELVIEW;
  TMatrix Modelview = IdentityHmgMatrix, Projection = IdentityHmgMatrix;
  std::vector<TMatrix> ModelviewStack, ProjectionStack;
  std::vector<std::pair<GLbitfield, std::set<GLenum>>> AttribStack;  // glPushAttrib's mask and capabilities
  GLuint NextList = 1, NextTexture = 1;
  GLint PackAlignment = 4, UnpackAlignment = 4;  // glPixelStorei; gluScaleImage obeys them

  void Clear() { Calls.clear(); }
  void Reset();  // answers and state to their defaults, calls cleared
  int Count(const std::string& name) const;
  int Count(const std::string& name, double arg0) const;
  int Count(const std::string& name, double arg0, double arg1) const;
  // The names in call order, joined by spaces (for failure messages).
  std::string Names() const;
  TMatrix& Current() { return MatrixMode == GL_PROJECTION ? Projection : Modelview; }
};

TGLRecorder& GLRecorder();

// Installs the recording tables (and pretends the libraries are loaded). CloseOpenGL removes
// them.
void InstallRecordingOpenGL();
// The display and window handles the recording tables accept.
TGLDC FakeDC();

// Wraps the current (real) table so that every GL and GLU call is counted; RemoveCountingOpenGL
// puts the real entries back.
void InstallCountingOpenGL();
void RemoveCountingOpenGL();
uint64_t& GLCallCount();
