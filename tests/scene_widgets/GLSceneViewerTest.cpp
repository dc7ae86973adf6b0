// The viewer widget on a real X server (Xvfb) with Mesa: what it draws, how often it repaints,
// the projection it sets, the camera's orbit, the frame-rate rule, and a small demo scene saved
// as a picture.
#include <gtest/gtest.h>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QImage>
#include <QTest>
#include <QWindow>
#include <QGuiApplication>

#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>
#include <xcb/xcb.h>

#include "scene/OpenGL12.h"
#include "scene/widgets/GLSceneViewer.h"
#include "tests/scene_widgets/ViewerSupport.h"

namespace {

class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    QCoreApplication::setAttribute(Qt::AA_DontCreateNativeWidgetSiblings);
    static int argc = 1;
    static char name[] = "test_scene_widgets";
    static char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "xcb");
    App = new QApplication(argc, argv);
  }
  void TearDown() override { delete App; }
  QApplication* App = nullptr;
};
[[maybe_unused]] ::testing::Environment* const gQt = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

// A viewer at exactly 96 dots per inch, whatever the X server says.
class Viewer96 : public TGLSceneViewer {
 public:
  int ScreenDPI() const override { return 96; }
};

TEST(SceneViewer, ClearsToTheButtonFaceSilver) {
  TGLSceneViewer v;
  ASSERT_TRUE(Show(v, 200, 150)) << v.LastError;
  EXPECT_EQ(v.paintEngine(), nullptr);
  EXPECT_TRUE(v.testAttribute(Qt::WA_NativeWindow));
  const auto px = Capture(v);
  ASSERT_EQ(px.size(), 200u * 150u * 4u);
  for (auto [x, y] : {std::pair{0, 0}, {199, 149}, {100, 75}}) {
    const uint8_t* p = PixelAt(v, px, x, y);
    EXPECT_NEAR(p[0], 192, 2);
    EXPECT_NEAR(p[1], 192, 2);
    EXPECT_NEAR(p[2], 192, 2);
  }
  // The limits of the real implementation.
  v.Activate();
  EXPECT_GE(v.GetLimit(2), 8);
  EXPECT_GE(v.GetLimit(8), 64);
  EXPECT_GE(v.GetLimit(10), 1024);
  EXPECT_GT(v.GetLimit(24), 0);
  v.Deactivate();
  EXPECT_TRUE(OpenGLFlags.Version_1_1);
  EXPECT_TRUE(v.DoubleBuffered());
  RecordProperty("child_window", v.UsesChildWindow() ? "yes" : "no");
  EXPECT_TRUE(v.LastError.empty()) << v.LastError;
}

// Counts the repaint requests the viewer makes (exposes by other windows on the shared test
// display do not go through here).
class CountingViewer : public TGLSceneViewer {
 public:
  void InvalidateWindow() override {
    ++Requests;
    TGLSceneViewer::InvalidateWindow();
  }
  int Requests = 0;
};

TEST(SceneViewer, TwoChangesGiveOneRepaint) {
  CountingViewer v;
  ASSERT_TRUE(Show(v, 120, 90)) << v.LastError;
  Settle(v);
  const int before = v.PaintCount;
  v.Requests = 0;
  v.SetDepthTest(false);
  v.SetBackgroundColor(clWhite);
  EXPECT_EQ(v.Requests, 1);
  WaitForPaintsAbove(v, before);
  EXPECT_GT(v.PaintCount, before);
  v.SetLighting(false);  // after the paint a new change asks again
  EXPECT_EQ(v.Requests, 2);
  WaitForPaintsAbove(v, v.PaintCount);
  EXPECT_FALSE(v.InvalidationPending());
  const auto px = Capture(v);
  const uint8_t* p = PixelAt(v, px, 60, 45);
  EXPECT_NEAR(p[0], 255, 2);
  EXPECT_NEAR(p[2], 255, 2);
}

TEST(SceneViewer, ProjectionFollowsTheFocalLength) {
  Scene s;
  s.camera->SetFocalLength(600);
  s.camera->SetDepthOfView(10000);
  Viewer96 v;
  v.SetCamera(s.camera);
  std::array<float, 16> projection{}, modelview{};
  v.PostRender = [&](TPersistent*) {
    GL.glGetFloatv(GL_PROJECTION_MATRIX, projection.data());
    GL.glGetFloatv(GL_MODELVIEW_MATRIX, modelview.data());
  };
  ASSERT_TRUE(Show(v, 330, 480)) << v.LastError;
  v.repaint();
  const double n = 600.0 * 2 * 96 / (25.4 * 480), f = n + 10000;
  const double l = -0.34375, r = 0.34375, b = -0.5, t = 0.5;
  EXPECT_NEAR(projection[0], 2 * n / (r - l), 1e-3);
  EXPECT_NEAR(projection[5], 2 * n / (t - b), 1e-3);
  EXPECT_NEAR(projection[8], (r + l) / (r - l), 1e-6);
  EXPECT_NEAR(projection[10], -(f + n) / (f - n), 1e-5);
  EXPECT_NEAR(projection[11], -1, 1e-6);
  EXPECT_NEAR(projection[14], -2 * f * n / (f - n), 1e-2);
  EXPECT_NEAR(projection[15], 0, 1e-6);

  // Orbit a quarter turn: the camera moves to (10, 0, 0) and still looks at the target.
  s.camera->MoveAroundTarget(0, 90);
  const TVector p = s.camera->Position().AsVector();
  EXPECT_NEAR(p[0], 10, 1e-4);
  EXPECT_NEAR(p[1], 0, 1e-4);
  EXPECT_NEAR(p[2], 0, 1e-4);
  s.camera->AdjustDistanceToTarget(2);
  EXPECT_NEAR(s.camera->Position().X(), 20, 1e-4);
  v.repaint();
  // The view matrix OpenGL built takes the camera to the eye's origin and the target in front.
  const TMatrix view = s.scene.Objects().AbsoluteMatrix();
  const TVector eyeOfCamera = VectorTransform(TVector{20, 0, 0, 1}, view);
  const TVector eyeOfTarget = VectorTransform(TVector{0, 0, 0, 1}, view);
  EXPECT_NEAR(VectorLength(AffineVectorMake(eyeOfCamera)), 0, 1e-3);
  EXPECT_NEAR(eyeOfTarget[2], -20, 1e-3);
  EXPECT_NEAR(eyeOfTarget[0], 0, 1e-3);
  s.camera->AdjustDistanceToTarget(0.5f);
  s.camera->MoveAroundTarget(0, -90);
  EXPECT_NEAR(s.camera->Position().Z(), 10, 1e-4);
  EXPECT_NEAR(s.camera->Position().X(), 0, 1e-4);

  // Another camera: a new context on the same window, which draws at once.
  Scene other;
  void* const before = v.RenderingContext();
  v.SetCamera(other.camera);
  EXPECT_NE(v.RenderingContext(), before);
  EXPECT_EQ(LiveRenderingContexts(), 1);
  const auto px = Capture(v);
  ASSERT_EQ(px.size(), 330u * 480u * 4u) << v.LastError;
  EXPECT_NEAR(PixelAt(v, px, 165, 240)[0], 192, 2);
  const double n50 = 50.0 * 2 * 96 / (25.4 * 480);  // its focal length is the default 50
  EXPECT_NEAR(projection[0], 2 * n50 / (r - l), 1e-3);
  EXPECT_TRUE(v.LastError.empty()) << v.LastError;
}

TEST(SceneViewer, FrameRateRule) {
  Scene s;
  TGLSceneViewer v;
  v.SetCamera(s.camera);
  ASSERT_TRUE(Show(v, 100, 100)) << v.LastError;
  v.Monitor = true;
  v.ResetPerformanceMonitor();
  v.repaint();
  EXPECT_EQ(v.FrameCount(), 1);
  EXPECT_EQ(v.FramesPerSecond(), 0);  // the first frame is not timed
  v.repaint();
  EXPECT_GT(v.FramesPerSecond(), 0);
  // With a known counter: frames x frequency / time.
  int64_t now = 0;
  v.Counter = [&] { return now += 1000; };
  v.CounterFrequency = 1000000;
  v.ResetPerformanceMonitor();
  v.repaint();
  v.repaint();
  v.repaint();
  EXPECT_FLOAT_EQ(v.FramesPerSecond(), 3 * 1000000.0f / (2 * 1000 + 1000));
}

// On a scaled display the native window has more pixels than the widget has logical ones: the
// viewport, the child window and the frame must cover all of them, with the same projection.
// Its own CTest entry runs this test again with QT_SCALE_FACTOR=2.
TEST(SceneViewer, FillsTheWidgetOnScaledDisplays) {
  const char* factor = std::getenv("QT_SCALE_FACTOR");
  const double scale = factor ? std::atof(factor) : 1.0;
  Scene s;
  s.camera->SetFocalLength(600);
  s.camera->SetDepthOfView(10000);
  TGLSceneViewer v;
  v.SetCamera(s.camera);
  v.SetBackgroundColor(0x0000FF);  // red
  std::array<GLint, 4> viewport{};
  std::array<float, 16> projection{};
  v.PostRender = [&](TPersistent*) {
    GL.glGetIntegerv(GL_VIEWPORT, viewport.data());
    GL.glGetFloatv(GL_PROJECTION_MATRIX, projection.data());
  };
  ASSERT_TRUE(Show(v, 330, 480)) << v.LastError;
  ASSERT_DOUBLE_EQ(v.devicePixelRatioF(), scale);
  const int w = static_cast<int>(std::lround(330 * scale)), h = static_cast<int>(std::lround(480 * scale));
  v.repaint();
  EXPECT_EQ(viewport, (std::array<GLint, 4>{0, 0, w, h}));
  const double n = 600.0 * 2 * v.logicalDpiX() / (25.4 * 480), r = 0.34375;
  EXPECT_NEAR(projection[0], n / r, 1e-3) << "the view must not change with the scale";

  xcb_connection_t* c = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
  auto sizeOf = [&](uint32_t window) {
    xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr);
    const std::pair<int, int> size = g ? std::pair<int, int>{g->width, g->height} : std::pair<int, int>{0, 0};
    free(g);
    return size;
  };
  EXPECT_EQ(sizeOf(static_cast<uint32_t>(v.winId())), (std::pair<int, int>{w, h}));
  if (v.UsesChildWindow()) {
    EXPECT_EQ(sizeOf(static_cast<uint32_t>(v.ViewerDrawable().Drawable)), (std::pair<int, int>{w, h}));
  }
  const auto px = Capture(v);
  ASSERT_EQ(px.size(), static_cast<size_t>(w) * static_cast<size_t>(h) * 4u) << v.LastError;
  EXPECT_NEAR(PixelAt(v, px, w - 1, h - 1)[0], 255, 2);
}

TEST(SceneViewer, ChildWindowWhenTheWidgetsVisualCannotDoIt) {
  // A single-buffered request does not suit a double-buffered GL visual (or the other way
  // round): either way the viewer must still draw.
  TGLSceneViewer v;
  v.SetContextOptions(roRenderToWindow);
  v.SetBackgroundColor(0x0000FF);  // red
  ASSERT_TRUE(Show(v, 64, 48)) << v.LastError;
  // A single-buffered frame is read from the window itself: another test's window mapped on
  // top between the raise and the read owns those pixels, so a few tries are allowed.
  auto isRed = [&](const std::vector<uint8_t>& px) {
    if (px.size() != 64u * 48u * 4u) return false;
    const uint8_t* p = PixelAt(v, px, 32, 24);
    return std::abs(p[0] - 255) <= 2 && p[1] <= 2 && p[2] <= 2;
  };
  std::vector<uint8_t> px;
  for (int attempt = 0; attempt < 20 && !isRed(px = Capture(v)); ++attempt) QTest::qWait(100);
  ASSERT_EQ(px.size(), 64u * 48u * 4u) << v.LastError;
  const uint8_t* p = PixelAt(v, px, 32, 24);
  EXPECT_NEAR(p[0], 255, 2);
  EXPECT_NEAR(p[1], 0, 2);
  EXPECT_FALSE(v.DoubleBuffered());  // glXChooseVisual without GLX_DOUBLEBUFFER: single-buffered
  RecordProperty("child_window", v.UsesChildWindow() ? "yes" : "no");
  if (v.UsesChildWindow()) {
    // An expose of the child window (which Qt knows nothing about) becomes a repaint.
    Settle(v);
    const int before = v.PaintCount;
    xcb_expose_event_t ev{};
    ev.response_type = XCB_EXPOSE;
    ev.window = static_cast<xcb_window_t>(v.ViewerDrawable().Drawable);
    ev.width = 10;
    ev.height = 10;
    qintptr result = 0;
    QAbstractEventDispatcher::instance()->filterNativeEvent("xcb_generic_event_t", &ev, &result);
    WaitForPaintsAbove(v, before);
    EXPECT_GT(v.PaintCount, before);
  }
  v.resize(80, 60);
  ASSERT_TRUE(WaitFor([&] { return v.Viewport().Width == 80 && v.Viewport().Height == 60; }));
  std::vector<uint8_t> px2;
  auto cornerRed = [&](const std::vector<uint8_t>& pixels) {
    return pixels.size() == 80u * 60u * 4u && std::abs(PixelAt(v, pixels, 79, 59)[0] - 255) <= 2;
  };
  for (int attempt = 0; attempt < 20 && !cornerRed(px2 = Capture(v)); ++attempt) QTest::qWait(100);
  ASSERT_EQ(px2.size(), 80u * 60u * 4u) << v.LastError;
  EXPECT_EQ(v.CapturedWidth, 80);
  EXPECT_NEAR(PixelAt(v, px2, 79, 59)[0], 255, 2);
}

// Showing a window must not wait for the GL driver: the viewer makes its context after the
// window is on screen, and then draws its first frame without being asked again.
TEST(SceneViewer, TheFirstFrameFollowsTheShownWindow) {
  QWidget window;
  window.resize(160, 120);
  auto* v = new TGLSceneViewer(&window);
  v->SetBackgroundColor(0x00FF00);
  v->resize(80, 60);
  window.show();
  EXPECT_EQ(v->RenderingContext(), nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window, 120000));
  ASSERT_TRUE(WaitFor([&] { return v->PaintCount > 0; })) << v->LastError;
  EXPECT_NE(v->RenderingContext(), nullptr);
  EXPECT_TRUE(v->LastError.empty()) << v->LastError;
}

TEST(SceneViewer, ANewNativeWindowGetsANewContextWithTheSameStates) {
  TGLSceneViewer v;
  v.SetBackgroundColor(0x00FF00);  // green
  ASSERT_TRUE(Show(v, 60, 40)) << v.LastError;
  v.SetFaceCulling(false);
  const TGLStates states = v.CurrentStates;
  // Qt gives up the native window (as it does when a widget moves to another window type) and
  // makes a new one on show. The context must go before its window does.
  v.hide();
  v.windowHandle()->destroy();
  EXPECT_EQ(v.RenderingContext(), nullptr);
  EXPECT_EQ(LiveRenderingContexts(), 0);
  v.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&v, 120000));
  EXPECT_TRUE(WaitFor([&] { return v.RenderingContext() != nullptr; }));
  const auto px = Capture(v);
  ASSERT_FALSE(px.empty()) << v.LastError;
  EXPECT_NEAR(PixelAt(v, px, 30, 20)[1], 255, 2);
  EXPECT_NEAR(PixelAt(v, px, 30, 20)[0], 0, 2);
  EXPECT_EQ(v.CurrentStates, states);
  EXPECT_FALSE(HasState(v.CurrentStates, stCullFace));
  EXPECT_TRUE(v.LastError.empty()) << v.LastError;
}

TEST(SceneViewer, MouseEventsCarryButtonsAndKeys) {
  TGLSceneViewer v;
  ASSERT_TRUE(Show(v, 100, 100)) << v.LastError;
  std::vector<std::string> log;
  auto text = [](TShiftState s) {
    std::string t;
    for (auto [flag, name] : {std::pair{ssShift, "Shift"},
                              {ssAlt, "Alt"},
                              {ssCtrl, "Ctrl"},
                              {ssLeft, "Left"},
                              {ssRight, "Right"},
                              {ssMiddle, "Middle"},
                              {ssDouble, "Double"}})
      if (s & flag) t += std::string(name) + " ";
    return t;
  };
  v.OnMouseDown = [&](TPersistent* s, TMouseButton b, TShiftState sh, int x, int y) {
    EXPECT_EQ(s, &v);
    log.push_back("down " + std::to_string(b) + " " + text(sh) + std::to_string(x) + "," + std::to_string(y));
  };
  v.OnMouseMove = [&](TPersistent*, TShiftState sh, int x, int y) {
    log.push_back("move " + text(sh) + std::to_string(x) + "," + std::to_string(y));
  };
  v.OnMouseUp = [&](TPersistent*, TMouseButton b, TShiftState sh, int x, int y) {
    log.push_back("up " + std::to_string(b) + " " + text(sh) + std::to_string(x) + "," + std::to_string(y));
  };
  v.OnClick = [&](TPersistent*) { log.push_back("click"); };
  QTest::mousePress(&v, Qt::LeftButton, Qt::ControlModifier, QPoint(10, 20));
  QMouseEvent move(QEvent::MouseMove, QPointF(15, 25), v.mapToGlobal(QPointF(15, 25)), Qt::NoButton, Qt::LeftButton,
                   Qt::ControlModifier);
  QApplication::sendEvent(&v, &move);
  QTest::mouseRelease(&v, Qt::LeftButton, Qt::ControlModifier, QPoint(15, 25));
  QTest::mousePress(&v, Qt::RightButton, Qt::NoModifier, QPoint(1, 2));
  v.OnMouseMove = [](TPersistent*, TShiftState, int, int) { throw EAbort("handler failed"); };
  QMouseEvent move2(QEvent::MouseMove, QPointF(3, 3), v.mapToGlobal(QPointF(3, 3)), Qt::NoButton, Qt::RightButton,
                    Qt::NoModifier);
  QApplication::sendEvent(&v, &move2);  // the exception stays inside the viewer
  EXPECT_EQ(v.LastError, "handler failed");
  ASSERT_EQ(log.size(), 5u);
  EXPECT_EQ(log[0], "down 0 Ctrl Left 10,20");
  EXPECT_EQ(log[1], "move Ctrl Left 15,25");
  EXPECT_EQ(log[2], "up 0 Ctrl 15,25");
  EXPECT_EQ(log[3], "click");
  EXPECT_EQ(log[4], "down 1 Right 1,2");
  // QTest remembers pressed buttons for the whole process: a button left down here would be
  // held in the next test's events.
  QTest::mouseRelease(&v, Qt::RightButton, Qt::NoModifier, QPoint(1, 2));
}

// The demo: three objects drawn through TDirectOpenGL (a lit red cube, a green pyramid, a blue
// floor), a camera orbiting the centre, one light and linear fog.
TEST(SceneViewer, DemoSceneScreenshot) {
  Scene s;
  auto* light = s.scene.Objects().AddNewChild<TGLLightSource>();
  light->Position().SetVector(5, 8, 6);
  light->SetLightStyle(lsOmni);
  auto cube = [](float r, float g, float b) {
    return [=](TDirectOpenGL*, TRenderContextInfo&) {
      const GLfloat colour[4] = {r, g, b, 1};
      GL.glMaterialfv(GL_FRONT, GL_AMBIENT_AND_DIFFUSE, colour);
      static const float n[6][3] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
      GL.glBegin(GL_QUADS);
      for (const auto& f : n) {
        GL.glNormal3fv(f);
        // Four corners of the face, counter-clockwise seen from outside.
        float u[3] = {f[1], f[2], f[0]}, w[3] = {f[1] * f[0] == 0 ? 0.0f : 0.0f, 0, 0};
        w[0] = f[1] * u[2] - f[2] * u[1];
        w[1] = f[2] * u[0] - f[0] * u[2];
        w[2] = f[0] * u[1] - f[1] * u[0];
        const float sgn[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
        for (const auto& sg : sgn)
          GL.glVertex3f(0.5f * (f[0] + sg[0] * u[0] + sg[1] * w[0]), 0.5f * (f[1] + sg[0] * u[1] + sg[1] * w[1]),
                        0.5f * (f[2] + sg[0] * u[2] + sg[1] * w[2]));
      }
      GL.glEnd();
    };
  };
  auto* red = s.scene.Objects().AddNewChild<TDirectOpenGL>();
  red->OnRender = cube(0.9f, 0.1f, 0.1f);
  red->Position().SetVector(-1.2f, 0.5f, 0);
  red->SetTurnAngle(30);
  auto* pyramid = s.scene.Objects().AddNewChild<TDirectOpenGL>();
  pyramid->SetUseBuildList(true);
  pyramid->Position().SetVector(1.3f, 0, -1);
  pyramid->OnRender = [](TDirectOpenGL*, TRenderContextInfo&) {
    const GLfloat green[4] = {0.1f, 0.8f, 0.2f, 1};
    GL.glMaterialfv(GL_FRONT, GL_AMBIENT_AND_DIFFUSE, green);
    const float apex[3] = {0, 1.6f, 0};
    const float base[4][3] = {{-0.8f, 0, 0.8f}, {0.8f, 0, 0.8f}, {0.8f, 0, -0.8f}, {-0.8f, 0, -0.8f}};
    GL.glBegin(GL_TRIANGLES);
    for (int i = 0; i < 4; ++i) {
      const float* a = base[i];
      const float* b = base[(i + 1) % 4];
      TAffineVector nrm;
      CalcPlaneNormal({a[0], a[1], a[2]}, {b[0], b[1], b[2]}, {apex[0], apex[1], apex[2]}, nrm);
      GL.glNormal3fv(nrm.data());
      GL.glVertex3fv(a);
      GL.glVertex3fv(b);
      GL.glVertex3fv(apex);
    }
    GL.glEnd();
  };
  auto* floor = s.scene.Objects().AddNewChild<TDirectOpenGL>();
  floor->OnRender = [](TDirectOpenGL*, TRenderContextInfo&) {
    const GLfloat blue[4] = {0.2f, 0.3f, 0.9f, 1};
    GL.glMaterialfv(GL_FRONT, GL_AMBIENT_AND_DIFFUSE, blue);
    GL.glBegin(GL_QUADS);
    GL.glNormal3f(0, 1, 0);
    for (float z = -30; z < 6; z += 2)
      for (float x = -30; x < 30; x += 2) {
        GL.glVertex3f(x, -0.5f, z + 2);
        GL.glVertex3f(x + 2, -0.5f, z + 2);
        GL.glVertex3f(x + 2, -0.5f, z);
        GL.glVertex3f(x, -0.5f, z);
      }
    GL.glEnd();
  };
  s.camera->Position().SetVector(0, 2.5f, 7);
  s.camera->SetFocalLength(30);
  s.camera->SetDepthOfView(100);
  TGLSceneViewer v;
  v.SetCamera(s.camera);
  v.SetFogEnable(true);
  v.FogEnvironment().SetFogStart(6);
  v.FogEnvironment().SetFogEnd(30);
  TGLColor silver(nullptr, ConvertWinColor(clSilver));
  v.FogEnvironment().SetFogColor(&silver);
  ASSERT_TRUE(Show(v, 480, 360)) << v.LastError;
  s.camera->MoveAroundTarget(-10, 20);
  const auto px = Capture(v);
  ASSERT_FALSE(px.empty());
  SaveScreenshot(v, px, "demo-scene.png");
  // The top-left corner is the silver background; the centre is the scene (not silver).
  const uint8_t* corner = PixelAt(v, px, 2, 2);
  EXPECT_NEAR(corner[0], 192, 2);
  int coloured = 0;
  for (size_t i = 0; i < px.size(); i += 4)
    coloured += std::abs(px[i] - 192) + std::abs(px[i + 1] - 192) + std::abs(px[i + 2] - 192) > 30;
  EXPECT_GT(coloured, static_cast<int>(px.size() / 4 / 10)) << "the objects cover too little of the view";
  // Reddest, greenest and bluest pixels exist: all three objects are on screen.
  bool r = false, g = false, b = false;
  for (size_t i = 0; i < px.size(); i += 4) {
    r |= px[i] > 120 && px[i + 1] < 60 && px[i + 2] < 60;
    g |= px[i + 1] > 100 && px[i] < 80 && px[i + 2] < 100;
    b |= px[i + 2] > 120 && px[i] < 100 && px[i + 1] < 120;
  }
  EXPECT_TRUE(r && g && b) << r << g << b;
  EXPECT_TRUE(v.LastError.empty()) << v.LastError;
}

}  // namespace
