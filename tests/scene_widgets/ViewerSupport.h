#pragma once
// What the viewer tests on Xvfb share: showing a viewer, waiting for its paints, capturing a
// frame, a scene with a camera looking at the origin, and saving a captured frame as a picture.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QTest>

#include <cstdlib>
#include <string>
#include <vector>

#include "scene/SceneGraph.h"
#include "scene/widgets/GLSceneViewer.h"
#include "tests/support/Scratch.h"

// Processes events until the condition holds. The limit is far beyond what any machine needs:
// the waits end as soon as the condition holds, so a loaded machine (tests run in parallel with
// other suites) only makes them longer, never wrong.
template <typename P>
inline bool WaitFor(P condition) {
  return QTest::qWaitFor(condition, 120000);
}

inline bool Show(TGLSceneViewer& v, int w, int h) {
  v.resize(w, h);
  v.show();
  QApplication::setActiveWindow(&v);
  if (!QTest::qWaitForWindowExposed(&v, 120000)) return false;
  // The context comes with the first paint after the window is on screen.
  return WaitFor([&] { return v.RenderingContext() != nullptr || !v.LastError.empty(); }) &&
         v.RenderingContext() != nullptr;
}

// Waits until every repaint the viewer asked for has been painted: afterwards a change must
// make a request of its own. (Exposes from the window system may still paint at any time; they
// never make a request.)
inline void Settle(const TGLSceneViewer& v) {
  EXPECT_TRUE(WaitFor([&] { return !v.InvalidationPending(); })) << "a requested repaint never came";
}

// Processes events until more than `count` paints happened.
inline void WaitForPaintsAbove(const TGLSceneViewer& v, int count) {
  EXPECT_TRUE(WaitFor([&] { return v.PaintCount > count; })) << "no paint came";
}

// Draws one frame now and returns its pixels (RGBA, bottom row first). The window is raised
// first: on a display shared with other tests, a window on top would own the pixels of a
// single-buffered frame.
inline std::vector<uint8_t> Capture(TGLSceneViewer& v) {
  v.raise();
  QApplication::sync();
  v.CaptureFrame = true;
  v.repaint();
  EXPECT_FALSE(v.CaptureFrame) << "no frame was drawn: " << v.LastError;
  return v.CapturedPixels;
}

inline const uint8_t* PixelAt(const TGLSceneViewer& v, const std::vector<uint8_t>& px, int x, int yFromTop) {
  const int row = v.CapturedHeight - 1 - yFromTop;
  return &px[static_cast<size_t>((row * v.CapturedWidth + x) * 4)];
}

struct Scene {
  TGLScene scene;
  TGLCamera* camera = scene.Cameras().AddNewChild<TGLCamera>();
  TGLSceneObject* target = scene.Objects().AddNewChild<TGLSceneObject>();
  Scene() {
    camera->Position().SetVector(0, 0, 10);
    camera->SetTargetObject(target);
  }
};

// Kept in CORVANE_TEST_SCREENSHOTS when that names a folder; otherwise written to a scratch
// folder (checked that it reads back) and removed with it.
inline void SaveScreenshot(const TGLSceneViewer& v, const std::vector<uint8_t>& px, const std::string& name) {
  ASSERT_FALSE(px.empty());
  QImage img(px.data(), v.CapturedWidth, v.CapturedHeight, v.CapturedWidth * 4, QImage::Format_RGBA8888);
  const char* shots = std::getenv("CORVANE_TEST_SCREENSHOTS");
  const testsupport::TScratchDir scratch("shot");
  const std::string path = shots ? std::string(shots) + "/" + name : scratch / name;
  const QString file = QString::fromStdString(path);
  ASSERT_TRUE(img.mirrored().save(file)) << "cannot write " << path;
  EXPECT_EQ(QImage(file).size(), QSize(v.CapturedWidth, v.CapturedHeight));
}
