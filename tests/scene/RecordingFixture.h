#pragma once
// Tests that run on the recording binding table: installed before each test, removed after,
// with any activation a failing test left pending undone.
#include <gtest/gtest.h>

#include <string>

#include "platform/Exceptions.h"
#include "scene/GLRecorder.h"
#include "scene/GLViewerCore.h"
#include "scene/OpenGL12.h"

class RecordingGL : public ::testing::Test {
 protected:
  void SetUp() override { InstallRecordingOpenGL(); }
  void TearDown() override {
    while (ActivationCount() > 0) DeactivateRenderingContext();
    CloseOpenGL();
  }
  TGLRecorder& rec = GLRecorder();
};

// The message of the exception of class E that f raises, or "(nothing raised)".
template <typename E = Exception, typename F>
std::string MessageOf(F f) {
  try {
    f();
  } catch (const E& e) {
    return e.Message;
  }
  return "(nothing raised)";
}

// A viewer without a window: the recording table accepts its fake display and drawable.
class FakeViewer : public TGLViewerCore {
 public:
  TDrawable ViewerDrawable() const override {
    const TGLDC d = FakeDC();
    return {d.Display, d.Drawable};
  }
  int ViewerWidth() const override { return Width; }
  int ViewerHeight() const override { return Height; }
  int ColorDepth() const override { return Depth; }
  void InvalidateWindow() override { ++Invalidations; }
  int Width = 330, Height = 480, Depth = 24, Invalidations = 0;
};
