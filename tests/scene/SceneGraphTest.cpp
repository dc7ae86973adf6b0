// Scene objects, camera, lights, fog, the scene and the viewer's render loop, driven through
// the recording binding table (no display): which OpenGL calls a frame issues, and the
// transform rules.
#include <gtest/gtest.h>

#include <cmath>

#include "scene/RecordingFixture.h"
#include "scene/GLViewerCore.h"
#include "scene/SceneGraph.h"

namespace {

using SceneTest = RecordingGL;

// The first recorded call of that name (fails the test when there is none).
TGLCall Find(const std::string& name) {
  for (const auto& c : GLRecorder().Calls)
    if (c.Name == name) return c;
  ADD_FAILURE() << name << " was not called";
  return {name, std::vector<double>(16, 0.0)};
}

void ExpectVec(const TVector& v, float x, float y, float z, float tol = 1e-4f) {
  EXPECT_NEAR(v[0], x, tol);
  EXPECT_NEAR(v[1], y, tol);
  EXPECT_NEAR(v[2], z, tol);
}

// --- objects and transforms

TEST_F(SceneTest, NewObjectOrientationAndLocalMatrix) {
  TGLBaseSceneObject o;
  ExpectVec(o.Direction().AsVector(), 0, 0, 1);
  ExpectVec(o.Up().AsVector(), 0, 1, 0);
  EXPECT_EQ(o.LocalMatrix(), IdentityHmgMatrix);
  EXPECT_EQ(o.Changes(), ocTransformation | ocStructure);
  o.Position().SetVector(1, 2, 3);
  o.Scale().SetVector(2, 2, 2);
  EXPECT_EQ(o.LocalMatrix()[3], (TVector{1, 2, 3, 1}));
  EXPECT_EQ(o.LocalMatrix()[0], (TVector{2, 0, 0, 0}));
}

TEST_F(SceneTest, DirectionAndUpStayOrthonormal) {
  TGLBaseSceneObject o;
  // Direction along Up: the cross product is zero, so right becomes (1, 3, 3).
  o.Direction().SetVector(0, 1, 0);
  TAffineVector expected = VectorNormalize(VectorCrossProduct(TAffineVector{1, 3, 3}, TAffineVector{0, 1, 0}));
  ExpectVec(o.Up().AsVector(), expected[0], expected[1], expected[2]);
  // A zero-length direction or up vector leaves the orientation as it was (no not-a-number).
  o.Direction().SetVector(1, 0, 0);
  const TVector dir = o.Direction().AsVector(), up = o.Up().AsVector();
  o.Direction().SetVector(0, 0, 0);
  EXPECT_EQ(o.Direction().AsVector(), dir);
  EXPECT_EQ(o.Up().AsVector(), up);
  o.Up().SetVector(0, 0, 0);
  EXPECT_EQ(o.Up().AsVector(), up);
  EXPECT_EQ(o.Direction().AsVector(), dir);
  // Setting Up re-derives Direction perpendicular to it.
  o.Up().SetVector(0, 0, 5);
  ExpectVec(o.Up().AsVector(), 0, 0, 1);
  EXPECT_NEAR(VectorDotProduct(AffineVectorMake(o.Up().AsVector()), AffineVectorMake(o.Direction().AsVector())), 0,
              1e-6);
}

TEST_F(SceneTest, TurnPitchRollAngles) {
  TGLBaseSceneObject o;
  o.SetTurnAngle(90);
  // Turned about Up by DegToRad(stored - new) = -90 degrees, with the axis matrix applied to the
  // row vector: +Z goes to +X.
  ExpectVec(o.Direction().AsVector(), 1, 0, 0);
  o.SetTurnAngle(0);
  ExpectVec(o.Direction().AsVector(), 0, 0, 1);
  ExpectVec(o.Up().AsVector(), 0, 1, 0);
  o.SetTurnAngle(270);
  EXPECT_FLOAT_EQ(o.TurnAngle(), -90);
  o.SetRollAngle(30);
  ExpectVec(o.Up().AsVector(), o.Up().X(), o.Up().Y(), o.Up().Z());
  EXPECT_NEAR(VectorLength(o.Up().AsVector()), 1, 1e-6);
  TGLBaseSceneObject loading;
  loading.BeginLoading();
  loading.SetPitchAngle(45);
  EXPECT_FLOAT_EQ(loading.PitchAngle(), 45);
  ExpectVec(loading.Direction().AsVector(), 0, 0, 1);  // stored without rotating
}

TEST_F(SceneTest, TreeOperationsAndAbsolutePositions) {
  TGLScene scene;
  auto* a = scene.Objects().AddNewChild<TGLSceneObject>();
  auto* b = a->AddNewChild<TGLSceneObject>();
  a->Position().SetVector(1, 0, 0);
  b->Position().SetVector(0, 2, 0);
  EXPECT_EQ(b->Scene(), &scene);
  ExpectVec(b->AbsolutePosition(), 1, 2, 0);
  EXPECT_TRUE(b->PointInObject({1.2f, 2.3f, -0.4f}));
  EXPECT_FALSE(b->PointInObject({1.6f, 2, 0}));
  // Drawing starts below the object root (its matrix is the camera's), so queries leave the
  // root's own matrix out, for a child as for a grandchild.
  scene.Objects().Position().SetVector(5, 0, 0);
  ExpectVec(a->AbsolutePosition(), 1, 0, 0);
  ExpectVec(b->AbsolutePosition(), 1, 2, 0);
  EXPECT_TRUE(a->PointInObject({1.2f, 0.3f, 0}));
  scene.Objects().Position().SetVector(0, 0, 0);
  auto* c = scene.Objects().AddNewChild<TGLSceneObject>();
  EXPECT_EQ(c->Index(), 1);
  c->SetIndex(0);
  EXPECT_EQ(scene.Objects().Children(0), c);
  c->SetIndex(99);  // clamped
  EXPECT_EQ(c->Index(), 1);
  // Removing with keepChildren moves the grandchildren up.
  std::unique_ptr<TGLBaseSceneObject> removed = scene.Objects().Remove(a, true);
  EXPECT_EQ(removed->Count(), 0);
  EXPECT_EQ(b->Parent(), &scene.Objects());
  EXPECT_EQ(removed->Parent(), nullptr);
  // Moving under another parent, and deleting children.
  b->MoveTo(c);
  EXPECT_EQ(b->Parent(), c);
  EXPECT_EQ(c->Count(), 1);
  c->DeleteChildren();
  EXPECT_EQ(c->Count(), 0);
  // A destroyed object leaves its parent.
  auto* d = scene.Objects().AddNewChild<TGLSceneObject>();
  const int before = scene.Objects().Count();
  delete d;
  EXPECT_EQ(scene.Objects().Count(), before - 1);
  EXPECT_EQ(MessageOf([&] { c->EndUpdate(); }), "Unbalanced Begin/EndUpdate");
  EXPECT_EQ(MessageOf([&] { scene.EndUpdate(); }), "Assertion failure");
}

TEST_F(SceneTest, StoredObjectsCopiesAndLoading) {
  TGLScene scene;
  // Top-level objects of stored scene data: cameras under CameraRoot, the rest under ObjectRoot.
  TGLBaseSceneObject* cam = scene.AddObject(std::make_unique<TGLCamera>());
  TGLBaseSceneObject* obj = scene.AddObject(std::make_unique<TDirectOpenGL>());
  EXPECT_EQ(cam->Parent(), &scene.Cameras());
  EXPECT_EQ(obj->Parent(), &scene.Objects());
  EXPECT_EQ(obj->Scene(), &scene);
  EXPECT_EQ(scene.Objects().Name, "ObjectRoot");
  EXPECT_EQ(scene.Cameras().Name, "CameraRoot");
  // The parent of a loaded object: another object, or the scene (which sorts cameras apart).
  auto* loose = new TGLSceneObject;
  loose->SetParentComponent(obj);
  EXPECT_EQ(loose->Parent(), obj);
  loose->SetParentComponent(&scene);
  EXPECT_EQ(loose->Parent(), &scene.Objects());
  EXPECT_EQ(obj->Count(), 0);
  auto* looseCamera = new TGLCamera;
  looseCamera->SetParentComponent(&scene);
  EXPECT_EQ(looseCamera->Parent(), &scene.Cameras());
  TComponent plain;
  EXPECT_EQ(MessageOf([&] { loose->SetParentComponent(&plain); }), "Assertion failure");
  EXPECT_EQ(MessageOf([&] { loose->SetParentComponent(nullptr); }), "Assertion failure");
  EXPECT_EQ(loose->Parent(), &scene.Objects());  // a refused parent leaves the tree as it was
  // Under itself or its own child the subtree would own itself.
  auto* inner = loose->AddNewChild<TGLSceneObject>();
  EXPECT_EQ(MessageOf([&] { loose->SetParentComponent(inner); }), "Assertion failure");
  EXPECT_EQ(MessageOf([&] { loose->MoveTo(loose); }), "Assertion failure");
  EXPECT_EQ(MessageOf([&] { inner->Insert(0, loose); }), "Assertion failure");
  EXPECT_EQ(inner->Parent(), loose);
  EXPECT_EQ(loose->Parent(), &scene.Objects());
  // A copy takes the transform, the properties and a copy of every child of the same class.
  auto* src = scene.Objects().AddNewChild<TGLSceneObject>();
  src->Position().SetVector(1, 2, 3);
  src->SetTurnAngle(45);
  src->SetShowAxes(true);
  src->Material().SetBlendingMode(bmAdditive);
  src->AddNewChild<TDirectOpenGL>()->Position().SetVector(4, 5, 6);
  src->AddNewChild<TGLLightSource>();
  auto* dst = scene.Objects().AddNewChild<TGLSceneObject>();
  dst->AddNewChild<TGLSceneObject>();
  dst->Assign(src);
  ASSERT_EQ(dst->Count(), 2);
  EXPECT_STREQ(dst->Children(0)->ClassName(), "TDirectOpenGL");
  EXPECT_STREQ(dst->Children(1)->ClassName(), "TGLLightSource");
  ExpectVec(dst->Children(0)->Position().AsVector(), 4, 5, 6);
  EXPECT_EQ(dst->Position().AsVector(), src->Position().AsVector());
  EXPECT_EQ(dst->Direction().AsVector(), src->Direction().AsVector());
  EXPECT_FLOAT_EQ(dst->TurnAngle(), 45);
  EXPECT_TRUE(dst->ShowAxes());
  EXPECT_EQ(dst->Material().BlendingMode(), bmAdditive);
  EXPECT_EQ(dst->Changes(), ocTransformation | ocStructure);
  // The copied light got a slot of its own.
  EXPECT_NE(static_cast<TGLLightSource*>(dst->Children(1))->LightID(), 0u);
  EXPECT_NE(static_cast<TGLLightSource*>(dst->Children(1))->LightID(),
            static_cast<TGLLightSource*>(src->Children(1))->LightID());
  TPersistent other;
  EXPECT_THROW(dst->Assign(&other), EConvertError);
  // Loading: W of Position becomes 1 (a stored position may lack it), through the setter.
  TGLSceneObject loaded;
  loaded.BeginLoading();
  loaded.Position().DirectVector()[3] = 0;
  loaded.Loaded();
  EXPECT_EQ(loaded.Position().W(), 1.0f);
  EXPECT_FALSE(loaded.Loading());
}

// --- the viewer and the frame

struct DemoScene {
  TGLScene scene;
  TGLCamera* camera;
  TGLSceneObject* target;
  std::vector<TDirectOpenGL*> boxes;
  std::vector<int> drawn;
  explicit DemoScene(int n) {
    target = scene.Objects().AddNewChild<TGLSceneObject>();
    camera = scene.Cameras().AddNewChild<TGLCamera>();
    camera->Position().SetVector(0, 0, 10);
    camera->SetTargetObject(target);
    for (int i = 0; i < n; ++i) {
      auto* o = scene.Objects().AddNewChild<TDirectOpenGL>();
      o->OnRender = [this, i](TDirectOpenGL*, TRenderContextInfo&) {
        drawn.push_back(i + 1);
        GL.glBegin(GL_TRIANGLES);
        GL.glVertex3f(0, 0, 0);
        GL.glVertex3f(1, 0, 0);
        GL.glVertex3f(0, 1, 0);
        GL.glEnd();
      };
      boxes.push_back(o);
    }
  }
};

// Every box of the scene compiled into a list by one frame of the viewer.
void DrawWithLists(DemoScene& d, FakeViewer& v) {
  for (auto* b : d.boxes) b->SetUseBuildList(true);
  v.CreateContext();
  v.SetCamera(d.camera);
  v.Paint();
  for (auto* b : d.boxes) ASSERT_NE(b->ListHandle(), 0u);
}

TEST_F(SceneTest, ContextCreationRequestsEachStateOnce) {
  FakeViewer v;
  v.CreateContext();
  EXPECT_EQ(rec.Count("glEnable", GL_NORMALIZE), 1);
  EXPECT_EQ(rec.Count("glEnable", GL_DEPTH_TEST), 1);
  EXPECT_EQ(rec.Count("glEnable", GL_CULL_FACE), 1);
  EXPECT_EQ(rec.Count("glEnable", GL_LIGHTING), 1);
  EXPECT_EQ(rec.Count("glEnable", GL_FOG), 0);
  EXPECT_EQ(rec.Count("glEnable", GL_DITHER), 0);  // 24-bit screen
  EXPECT_EQ(v.LightLimit(), 8);
  EXPECT_TRUE(v.DoubleBuffered());
  EXPECT_EQ(ActivationCount(), 0);
  // Switching a capability off and on issues one call each; repeated values none.
  rec.Clear();
  v.SetDepthTest(false);
  v.SetDepthTest(false);
  v.SetDepthTest(true);
  EXPECT_EQ(rec.Count("glDisable", GL_DEPTH_TEST), 1);
  EXPECT_EQ(rec.Count("glEnable", GL_DEPTH_TEST), 1);
  // Many changes before a paint cost one repaint request.
  EXPECT_EQ(v.Invalidations, 1);
  v.SetBackgroundColor(clWhite);
  EXPECT_EQ(v.Invalidations, 1);
  v.Paint();
  v.SetLighting(false);
  v.SetFaceCulling(false);
  EXPECT_EQ(v.Invalidations, 2);

  FakeViewer sixteen;
  sixteen.Depth = 16;
  rec.Clear();
  sixteen.CreateContext();
  EXPECT_EQ(rec.Count("glEnable", GL_DITHER), 1);
}

TEST_F(SceneTest, AnotherCameraGetsAFreshContextWithTheSameStates) {
  DemoScene a(1), b(1);
  a.boxes[0]->SetUseBuildList(true);
  FakeViewer v;
  v.CreateContext();
  v.SetCamera(a.camera);
  v.SetFaceCulling(false);
  v.Paint();
  ASSERT_NE(a.boxes[0]->ListHandle(), 0u);
  void* const first = v.RenderingContext();
  const TGLStates states = v.CurrentStates;
  rec.Clear();
  v.SetCamera(b.camera);
  EXPECT_NE(v.RenderingContext(), first);
  EXPECT_EQ(LiveRenderingContexts(), 1);
  EXPECT_EQ(rec.Count("glXDestroyContext"), 2);  // the viewer's and, as it was the last, the share context
  EXPECT_EQ(v.CurrentStates, states);
  EXPECT_EQ(rec.Count("glEnable", GL_CULL_FACE), 0);
  EXPECT_EQ(rec.Count("glEnable", GL_DEPTH_TEST), 1);  // the saved set, enabled again at once
  // The old scene no longer has the viewer: its list died with the context and is rebuilt by
  // whoever draws it next.
  EXPECT_TRUE(a.scene.Viewers().empty());
  EXPECT_EQ(a.boxes[0]->ListHandle(), 0u);
  EXPECT_EQ(ActivationCount(), 0);
  v.Paint();
  EXPECT_EQ(b.scene.Viewers().size(), 1u);
  // Changing the camera while a context is active (from a handler of the frame) keeps it.
  void* const second = v.RenderingContext();
  v.BeforeRender = [&](TPersistent*) { v.SetCamera(a.camera); };
  v.Paint();
  EXPECT_EQ(v.RenderingContext(), second);
  EXPECT_EQ(v.Camera(), a.camera);
  EXPECT_EQ(ActivationCount(), 0);
}

TEST_F(SceneTest, AContextMadeAgainGetsTheWholeStateOfTheFirst) {
  DemoScene a(0), b(0);
  auto* spot = b.scene.Objects().AddNewChild<TGLLightSource>();
  spot->SetSpotCutOff(30);
  FakeViewer v;
  v.CreateContext();
  v.SetCamera(b.camera);
  v.Paint();
  EXPECT_EQ(rec.Count("glLightf", spot->LightID(), GL_SPOT_CUTOFF), 1);
  for (TGLCamera* camera : {a.camera, b.camera}) {
    rec.Clear();
    v.SetCamera(camera);
    EXPECT_EQ(rec.Count("glLightModeli", GL_LIGHT_MODEL_TWO_SIDE), 1);
    EXPECT_EQ(rec.Count("glDepthFunc", GL_LESS), 1);
    EXPECT_EQ(rec.Count("glHint", GL_PERSPECTIVE_CORRECTION_HINT), 1);
  }
  v.Paint();
  EXPECT_EQ(rec.Count("glLightf", spot->LightID(), GL_SPOT_CUTOFF), 1) << "sent to the new context again";
}

TEST_F(SceneTest, NoOpenGL11RefusesTheContext) {
  rec.Strings[GL_VERSION] = "1.0.3";
  FakeViewer v;
  EXPECT_EQ(MessageOf([&] { v.CreateContext(); }), "Need at least OpenGL version 1.1");
  EXPECT_EQ(v.RenderingContext(), nullptr);
  EXPECT_EQ(LiveRenderingContexts(), 0);
  EXPECT_EQ(ActivationCount(), 0);
}

TEST_F(SceneTest, AnUnchangedFrameIssuesNoCachedCall) {
  DemoScene d(20);
  d.boxes[3]->SetUseBuildList(true);
  FakeViewer v;
  v.CreateContext();
  v.SetCamera(d.camera);
  v.Paint();
  EXPECT_EQ(rec.Count("glNewList"), 2);  // the target and the listed object
  EXPECT_EQ(rec.Count("gluLookAt"), 1);
  rec.Clear();
  v.Paint();
  const std::string names = rec.Names();
  EXPECT_EQ(rec.Count("glNewList"), 0) << names;
  EXPECT_EQ(rec.Count("glCallList"), 2);
  EXPECT_EQ(rec.Count("gluLookAt"), 0);
  EXPECT_EQ(rec.Count("glGetFloatv"), 0);
  for (const auto& c : rec.Calls) {
    if (c.Name == "glEnable" || c.Name == "glDisable") {
      EXPECT_TRUE(c.Args[0] >= GL_LIGHT0 && c.Args[0] < GL_LIGHT0 + 8) << c.Name << " " << c.Args[0];
    }
  }
  // Direct OpenGL objects may change any colour, so the caches are reset after each of them:
  // the root's material (4 + 1), then per object after the first its material (4 + 1) and
  // every object's reset (4), besides the frame's own reset (4).
  EXPECT_EQ(rec.Count("glPolygonMode"), 1 + 19);
  EXPECT_EQ(rec.Count("glMaterialfv"), 4 + 4 + 19 * 4 + 20 * 4);
  EXPECT_EQ(rec.Count("glLoadMatrixf"), 22);  // the root, the target and the twenty objects
  EXPECT_EQ(rec.Count("glBegin"), 19);        // the listed object replays its list
  EXPECT_EQ(rec.Count("glXSwapBuffers"), 1);
  EXPECT_EQ(v.Invalidations, 1);
}

TEST_F(SceneTest, MaterialCachesSetEachValueOncePerFrame) {
  DemoScene d(0);
  for (int i = 0; i < 20; ++i) d.scene.Objects().AddNewChild<TGLSceneObject>();
  FakeViewer v;
  v.CreateContext();
  v.SetCamera(d.camera);
  v.Paint();
  rec.Clear();
  v.Paint();
  // The frame's reset, then the root's material; the other objects' equal materials cost nothing.
  EXPECT_EQ(rec.Count("glPolygonMode"), 1);
  EXPECT_EQ(rec.Count("glMaterialfv"), 8);
  EXPECT_EQ(rec.Count("glMateriali"), 22);  // shininess is not cached
  EXPECT_EQ(rec.Count("glCallList"), 21);
  EXPECT_EQ(rec.Count("glBlendFunc"), 0);
  // One transparent material switches blending on once and back off once.
  static_cast<TGLSceneObject*>(d.scene.Objects().Children(5))->Material().SetBlendingMode(bmTransparency);
  rec.Clear();
  v.Paint();
  EXPECT_EQ(rec.Count("glEnable", GL_BLEND), 1);
  EXPECT_EQ(rec.Count("glBlendFunc", GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA), 1);
  EXPECT_EQ(rec.Count("glDisable", GL_BLEND), 0);  // the transparent one is drawn last
  rec.Clear();
  v.Paint();
  EXPECT_EQ(rec.Count("glDisable", GL_BLEND), 1);  // the next frame's first opaque one
  EXPECT_EQ(rec.Count("glEnable", GL_BLEND), 1);
}

TEST_F(SceneTest, MovingOnlyTheTargetRefreshesTheView) {
  DemoScene d(1);
  FakeViewer v;
  v.CreateContext();
  v.SetCamera(d.camera);
  v.Paint();
  const TMatrix before = d.scene.Objects().AbsoluteMatrix();
  rec.Clear();
  d.target->Position().SetVector(3, 0, 0);
  v.Paint();
  EXPECT_EQ(rec.Count("gluLookAt"), 1);
  EXPECT_NE(d.scene.Objects().AbsoluteMatrix(), before);
  // The object root now holds the new view matrix: the target projects to the centre.
  const TVector eye = VectorTransform(TVector{3, 0, 0, 1}, d.scene.Objects().AbsoluteMatrix());
  EXPECT_NEAR(eye[0], 0, 1e-4);
  EXPECT_NEAR(eye[1], 0, 1e-4);
  EXPECT_LT(eye[2], 0);
  // With the target set and nothing moved, Apply calls no OpenGL function.
  rec.Clear();
  d.camera->Apply();
  EXPECT_TRUE(rec.Calls.empty()) << rec.Names();
}

TEST_F(SceneTest, ProjectionOfA330x480ViewerAt96Dpi) {
  DemoScene d(0);
  d.camera->SetFocalLength(600);
  d.camera->SetDepthOfView(10000);
  FakeViewer v;
  v.CreateContext();
  v.SetCamera(d.camera);
  v.Paint();
  ASSERT_EQ(rec.Count("glFrustum"), 1);
  const TGLCall f = Find("glFrustum");
  const double nearPlane = 600.0 * 2 * 96 / (25.4 * 480);
  EXPECT_DOUBLE_EQ(f.Args[0], -0.34375);
  EXPECT_DOUBLE_EQ(f.Args[1], 0.34375);
  EXPECT_DOUBLE_EQ(f.Args[2], -0.5);
  EXPECT_DOUBLE_EQ(f.Args[3], 0.5);
  EXPECT_NEAR(f.Args[4], nearPlane, 1e-4);
  EXPECT_NEAR(f.Args[5], nearPlane + 10000, 1e-3);
  EXPECT_NEAR(d.camera->NearPlane(), 9.449, 1e-3);
  // A viewer of zero width or height never divides by zero.
  rec.Clear();
  d.camera->ApplyPerspective({0, 0, 0, 0}, 0, 0, 96);
  for (double a : Find("glFrustum").Args) EXPECT_TRUE(std::isfinite(a));
  d.camera->SetFocalLength(0.5f);
  EXPECT_EQ(d.camera->FocalLength(), 1.0f);
  // Resizing to height 0 gives a viewport of height 1.
  rec.Clear();
  v.Resize(200, 0);
  EXPECT_EQ(rec.Count("glViewport"), 1);
  EXPECT_EQ(Find("glViewport").Args[3], 1);
  EXPECT_EQ(v.Viewport().Height, 1);
}

TEST_F(SceneTest, CameraOrbitAndDistance) {
  DemoScene d(0);
  TGLCamera& cam = *d.camera;
  cam.MoveAroundTarget(0, 0);
  ExpectVec(cam.Position().AsVector(), 0, 0, 10);
  cam.MoveAroundTarget(0, 90);
  ExpectVec(cam.Position().AsVector(), 10, 0, 0);
  cam.MoveAroundTarget(0, -90);
  ExpectVec(cam.Position().AsVector(), 0, 0, 10);
  cam.MoveAroundTarget(30, 0);  // a positive pitch moves against C, the up vector's part across v
  EXPECT_NEAR(VectorLength(AffineVectorMake(cam.Position().AsVector())), 10, 1e-4);
  EXPECT_NEAR(cam.Position().Y(), -5, 1e-4);
  cam.Position().SetVector(0, 0, 10);
  cam.AdjustDistanceToTarget(1);
  ExpectVec(cam.Position().AsVector(), 0, 0, 10);
  cam.AdjustDistanceToTarget(2);
  ExpectVec(cam.Position().AsVector(), 0, 0, 20);
  cam.AdjustDistanceToTarget(0);
  ExpectVec(cam.Position().AsVector(), 0, 0, 0);
  // On the target, and straight above it, there is nothing to turn: no not-a-number.
  cam.MoveAroundTarget(10, 10);
  ExpectVec(cam.Position().AsVector(), 0, 0, 0);
  cam.Position().SetVector(0, 5, 0);
  cam.MoveAroundTarget(10, 10);
  ExpectVec(cam.Position().AsVector(), 0, 5, 0);
  // Without a target nothing moves.
  cam.SetTargetObject(nullptr);
  cam.MoveAroundTarget(0, 90);
  cam.AdjustDistanceToTarget(3);
  ExpectVec(cam.Position().AsVector(), 0, 5, 0);
}

TEST_F(SceneTest, ResetPositionNeedsAViewer) {
  DemoScene d(0);
  d.camera->SetTargetObject(nullptr);
  d.camera->Position().SetVector(1, 2, 3);
  d.camera->ResetPosition();  // no frame yet and no viewer: nothing happens
  ExpectVec(d.camera->Position().AsVector(), 1, 2, 3);
  {
    // A viewer known to the scene but no frame drawn: its viewport is used, the near plane is
    // still 0, so the camera goes to the origin and keeps its direction.
    FakeViewer early;
    early.CreateContext();
    d.scene.AddViewer(&early);
    const TVector dir = d.camera->Direction().AsVector();
    d.camera->ResetPosition();
    ExpectVec(d.camera->Position().AsVector(), 0, 0, 0);
    EXPECT_EQ(d.camera->Direction().AsVector(), dir);
    d.scene.RemoveViewer(&early);
  }
  FakeViewer v;
  v.CreateContext();
  v.SetCamera(d.camera);
  v.Paint();
  d.camera->ResetPosition();
  const TVector p = d.camera->Position().AsVector();
  for (float c : p) EXPECT_TRUE(std::isfinite(c));
  // Looks at the origin from near-plane x a quarter of the smaller viewport side.
  EXPECT_NEAR(VectorLength(AffineVectorMake(p)), d.camera->NearPlane() * 330 * 0.25f, 1e-3);
  const TAffineVector toOrigin = VectorNormalize(VectorScale(AffineVectorMake(p), -1));
  ExpectVec(d.camera->Direction().AsVector(), toOrigin[0], toOrigin[1], toOrigin[2]);
}

TEST_F(SceneTest, SortingTiesAndBlendedLast) {
  DemoScene d(8);
  // The eight objects under one parent, all at the same distance from the camera.
  auto* group = d.scene.Objects().AddNewChild<TGLSceneObject>();
  for (TDirectOpenGL* b : d.boxes) b->MoveTo(group);
  ASSERT_EQ(group->Count(), 8);
  group->SetObjectsSorting(osRenderFarthestFirst);
  FakeViewer v;
  v.CreateContext();
  v.SetCamera(d.camera);
  v.Paint();
  EXPECT_EQ(d.drawn, (std::vector<int>{3, 4, 2, 1, 7, 8, 6, 5}));
  d.drawn.clear();
  group->SetObjectsSorting(osInherited);  // the scene's: blended last
  d.boxes[0]->Material().SetBlendingMode(bmTransparency);
  d.boxes[4]->Material().SetBlendingMode(bmAdditive);
  d.boxes[4]->Position().SetVector(0, 0, -5);  // farther: drawn first of the two
  v.Paint();
  EXPECT_EQ(d.drawn, (std::vector<int>{2, 3, 4, 6, 7, 8, 5, 1}));
  d.drawn.clear();
  group->SetObjectsSorting(osNone);
  v.Paint();
  EXPECT_EQ(d.drawn, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST_F(SceneTest, NotificationWhileUpdating) {
  DemoScene d(2);
  FakeViewer v;
  v.CreateContext();
  v.SetCamera(d.camera);
  v.Paint();
  v.Invalidations = 0;
  d.boxes[0]->BeginUpdate();
  d.boxes[0]->SetVisible(false);
  d.boxes[0]->Position().SetVector(4, 4, 4);
  EXPECT_EQ(v.Invalidations, 0);
  d.boxes[0]->EndUpdate();
  EXPECT_EQ(v.Invalidations, 1);
  v.Paint();
  d.scene.BeginUpdate();
  d.boxes[1]->SetShowAxes(true);
  EXPECT_EQ(v.Invalidations, 1);
  d.scene.EndUpdate();
  EXPECT_EQ(v.Invalidations, 2);
  d.drawn.clear();
  rec.Clear();
  v.Paint();
  EXPECT_EQ(d.drawn, (std::vector<int>{2}));  // the invisible one is skipped
  EXPECT_EQ(rec.Count("glLineStipple", 1, 0xCCCC), 1);
}

TEST_F(SceneTest, LightsFogAndSlots) {
  DemoScene d(0);
  std::vector<TGLLightSource*> lights;
  for (int i = 0; i < 9; ++i) lights.push_back(d.scene.Objects().AddNewChild<TGLLightSource>());
  EXPECT_EQ(lights[0]->LightID(), static_cast<uint32_t>(GL_LIGHT0));
  EXPECT_EQ(lights[7]->LightID(), static_cast<uint32_t>(GL_LIGHT7));
  EXPECT_EQ(lights[8]->LightID(), 0u);  // a ninth light gets no slot
  lights[1]->SetShining(false);
  lights[2]->SetLightStyle(lsOmni);
  lights[3]->SetLightStyle(lsParallel);
  lights[0]->SetSpotCutOff(30);
  FakeViewer v;
  v.CreateContext();
  v.SetCamera(d.camera);
  v.SetFogEnable(true);
  v.FogEnvironment().SetFogMode(fmExp);
  v.FogEnvironment().FogColor().SetAlpha(0.25f);
  rec.Clear();
  v.Paint();
  EXPECT_EQ(rec.Count("glDisable", GL_LIGHT1), 1);
  EXPECT_EQ(rec.Count("glEnable", GL_LIGHT0), 1);
  EXPECT_EQ(rec.Count("glLightf", GL_LIGHT0, GL_SPOT_CUTOFF), 1);
  EXPECT_EQ(rec.Count("glLightfv", GL_LIGHT0, GL_SPOT_DIRECTION), 1);
  EXPECT_EQ(rec.Count("glLightf", GL_LIGHT2, GL_SPOT_CUTOFF), 1);
  EXPECT_EQ(rec.Count("glLightfv", GL_LIGHT2, GL_SPOT_DIRECTION), 0);
  EXPECT_EQ(rec.Count("glFogf", GL_FOG_DENSITY), 1);
  for (const auto& c : rec.Calls) {
    if (c.Name == "glFogf" && c.Args[0] == GL_FOG_DENSITY) {
      EXPECT_FLOAT_EQ(c.Args[1], 0.25);
    }
  }
  rec.Clear();
  v.Paint();  // spot parameters and fog are set once, not every frame
  EXPECT_EQ(rec.Count("glLightf", GL_LIGHT0, GL_SPOT_CUTOFF), 0);
  EXPECT_EQ(rec.Count("glFogf"), 0);
  EXPECT_EQ(rec.Count("glEnable", GL_LIGHT0), 1);
  // A point light shines from its position once: the matrix loaded before GL_POSITION holds the
  // translation, so the position given is the frame's origin.
  lights[2]->Position().SetVector(5, 8, 6);
  rec.Clear();
  v.Paint();
  for (const auto& c : rec.Calls) {
    if (c.Name == "glLightfv" && c.Args[0] == GL_LIGHT2 && c.Args[1] == GL_POSITION) {
      EXPECT_EQ(std::vector<double>(c.Args.begin() + 2, c.Args.end()), (std::vector<double>{0, 0, 0, 1}));
    }
    if (c.Name == "glLightfv" && c.Args[0] == GL_LIGHT3 && c.Args[1] == GL_POSITION) {  // parallel
      EXPECT_EQ(std::vector<double>(c.Args.begin() + 2, c.Args.end()), (std::vector<double>{0, 0, -1, 0}));
    }
  }
  // ... and that origin is the light's position seen through the view matrix.
  const TVector lightEye = VectorTransform(NullHmgPoint, lights[2]->AbsoluteMatrix());
  const TVector expectedEye = VectorTransform(TVector{5, 8, 6, 1}, d.scene.Objects().AbsoluteMatrix());
  ExpectVec(lightEye, expectedEye[0], expectedEye[1], expectedEye[2]);
  // Removing a light frees its slot for the next one.
  delete lights[0];
  EXPECT_EQ(d.scene.LightSlot(0), nullptr);
  auto* late = d.scene.Objects().AddNewChild<TGLLightSource>();
  EXPECT_EQ(late->LightID(), static_cast<uint32_t>(GL_LIGHT0));
  // A scene without light sources switches every light off each frame.
  DemoScene dark(0);
  FakeViewer v2;
  v2.CreateContext();
  v2.SetCamera(dark.camera);
  rec.Clear();
  v2.Paint();
  for (int i = 0; i < 8; ++i) EXPECT_EQ(rec.Count("glDisable", GL_LIGHT0 + i), 1) << i;
}

TEST_F(SceneTest, ViewerWithoutCameraOnlyClears) {
  FakeViewer v;
  v.CreateContext();
  rec.Clear();
  v.Paint();
  EXPECT_EQ(rec.Count("glClear", GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT), 1);
  EXPECT_EQ(rec.Count("glLoadMatrixf"), 0);
  EXPECT_EQ(rec.Count("glFrustum"), 0);
  // A camera outside any scene is not accepted.
  TGLCamera loose;
  v.SetCamera(&loose);
  EXPECT_EQ(v.Camera(), nullptr);
}

TEST_F(SceneTest, FrameRateMonitor) {
  FakeViewer v;
  v.CreateContext();
  int64_t now = 0;
  v.Counter = [&] { return now += 5; };  // each reading 5 ticks later
  v.CounterFrequency = 1000;
  v.Monitor = true;
  v.Paint();
  EXPECT_EQ(v.FramesPerSecond(), 0);  // the first frame is not timed
  v.Paint();                          // counts twice: 2 frames in 2 x 5 ticks
  EXPECT_FLOAT_EQ(v.FramesPerSecond(), 2 * 1000.0f / 10);
  v.Paint();  // 3 frames in 15 ticks
  EXPECT_FLOAT_EQ(v.FramesPerSecond(), 3 * 1000.0f / 15);
  v.ResetPerformanceMonitor();
  EXPECT_EQ(v.FramesPerSecond(), 0);
  EXPECT_EQ(v.FrameCount(), 0);
}

TEST_F(SceneTest, LimitsAndFailedFramesKeepTheContextBalanced) {
  FakeViewer v;
  v.CreateContext();
  v.Activate();
  rec.Values[GL_MAX_VIEWPORT_DIMS] = {4096.4, 8191.6};
  EXPECT_EQ(v.GetLimit(10), 8192);
  EXPECT_EQ(v.GetLimit(2), 8);
  EXPECT_EQ(v.GetLimit(26), 0);
  EXPECT_EQ(v.GetLimit(-1), 0);
  v.Deactivate();
  int after = 0;
  v.AfterRender = [&](TPersistent*) { ++after; };
  v.BeforeRender = [](TPersistent*) { throw EAbort("stop"); };
  EXPECT_THROW(v.Paint(), EAbort);
  EXPECT_EQ(ActivationCount(), 0);
  EXPECT_EQ(after, 0);  // skipped after an error
  v.BeforeRender = nullptr;
  v.Paint();
  EXPECT_EQ(after, 1);
}

TEST_F(SceneTest, ViewersAndScenesMayGoInEitherOrder) {
  auto d = std::make_unique<DemoScene>(1);
  d->boxes[0]->SetUseBuildList(true);
  auto v1 = std::make_unique<FakeViewer>();
  FakeViewer v2;
  v1->CreateContext();
  v2.CreateContext();
  v1->SetCamera(d->camera);
  v2.SetCamera(d->camera);
  v1->Paint();
  v2.Paint();
  EXPECT_EQ(d->scene.Viewers().size(), 2u);
  EXPECT_EQ(d->scene.BaseContext(), v1->RenderingContext());
  EXPECT_NE(d->boxes[0]->ListHandle(), 0u);
  v1.reset();  // the second becomes the base
  EXPECT_EQ(d->scene.BaseContext(), v2.RenderingContext());
  rec.Clear();
  d->boxes[0]->DestroyHandles(false);  // no context active: the scene's first viewer lends its own
  EXPECT_EQ(rec.Count("glDeleteLists"), 1);
  EXPECT_EQ(ActivationCount(), 0);
  v2.Paint();
  // The scene goes first: the viewer drops its camera, and painting still works.
  d.reset();
  EXPECT_EQ(v2.Camera(), nullptr);
  EXPECT_NO_THROW(v2.Paint());
}

TEST_F(SceneTest, AViewerWhoseCameraIsGoneStillLeavesItsScene) {
  DemoScene d(1);
  auto v = std::make_unique<FakeViewer>();
  v->CreateContext();
  v->SetCamera(d.camera);
  v->Paint();
  ASSERT_EQ(d.scene.Viewers().size(), 1u);
  delete d.camera;
  EXPECT_EQ(v->Camera(), nullptr);
  v.reset();
  // The scene must not keep a viewer that is gone: its next change would reach it.
  EXPECT_TRUE(d.scene.Viewers().empty());
  EXPECT_NO_THROW(d.target->Position().SetX(1));
  // A camera that moves to another scene takes its viewer along.
  DemoScene a(0), b(0);
  FakeViewer w;
  w.CreateContext();
  w.SetCamera(a.camera);
  w.Paint();
  a.camera->MoveTo(&b.scene.Cameras());
  w.Paint();
  EXPECT_TRUE(a.scene.Viewers().empty());
  EXPECT_EQ(b.scene.Viewers().size(), 1u);
}

TEST_F(SceneTest, AnObjectLeavingItsSceneReleasesItsLists) {
  DemoScene d(2), other(0);
  FakeViewer v;
  DrawWithLists(d, v);
  rec.Clear();
  // Out of any scene: released under the old scene's context, lent for the time of the call.
  std::unique_ptr<TGLBaseSceneObject> loose = d.boxes[0]->MoveTo(nullptr);
  EXPECT_EQ(rec.Count("glDeleteLists"), 1);
  EXPECT_EQ(loose->ListHandle(), 0u);
  EXPECT_EQ(loose->Scene(), nullptr);
  EXPECT_EQ(ActivationCount(), 0);
  // Into another scene: the same.
  other.scene.Objects().Insert(0, d.boxes[1]);
  EXPECT_EQ(rec.Count("glDeleteLists"), 2);
  EXPECT_EQ(d.boxes[1]->ListHandle(), 0u);
  EXPECT_EQ(d.boxes[1]->Scene(), &other.scene);
  // A failing release still completes the move: the list is forgotten.
  loose->SetParentComponent(&d.scene);
  v.Paint();
  ASSERT_NE(loose->ListHandle(), 0u);
  GL.glGetError = [](void) -> GLenum { return GL_INVALID_OPERATION; };
  TGLBaseSceneObject* raw = loose.release();
  std::unique_ptr<TGLBaseSceneObject> again;
  EXPECT_NO_THROW(again = raw->MoveTo(nullptr));
  EXPECT_EQ(again->ListHandle(), 0u);
  EXPECT_EQ(again->Scene(), nullptr);
  EXPECT_EQ(ActivationCount(), 0);
}

TEST_F(SceneTest, AnOpenGLErrorOnReleaseIsReportedButNeverFromADestructor) {
  DemoScene d(2);
  FakeViewer v;
  DrawWithLists(d, v);
  GL.glGetError = [](void) -> GLenum { return GL_INVALID_VALUE; };
  v.Activate();
  EXPECT_EQ(MessageOf([&] { d.boxes[0]->DestroyHandle(false); }), std::to_string(GL_INVALID_VALUE));
  EXPECT_EQ(d.boxes[0]->ListHandle(), 0u);  // forgotten all the same
  EXPECT_NO_THROW(delete d.boxes[1]);       // a destructor swallows it
  v.Deactivate();
  EXPECT_EQ(ActivationCount(), 0);
}

TEST_F(SceneTest, DestroyingAListWithoutAContextOnlyForgetsIt) {
  DemoScene d(1);
  {
    FakeViewer v;
    DrawWithLists(d, v);
  }
  // The last viewer is gone: the lists were forgotten without OpenGL calls.
  EXPECT_EQ(d.boxes[0]->ListHandle(), 0u);
  rec.Clear();
  d.boxes[0]->SetUseBuildList(false);
  d.boxes[0]->SetUseBuildList(true);
  EXPECT_NO_THROW(delete d.boxes[0]);
  EXPECT_EQ(rec.Count("glDeleteLists"), 0);
}

}  // namespace
