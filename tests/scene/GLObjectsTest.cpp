// Ready-made scene objects on the recording table.
#include <gtest/gtest.h>

#include "scene/GLObjects.h"
#include "tests/scene/RecordingFixture.h"

namespace {

class ObjectsTest : public RecordingGL {
 protected:
  void Frame() {
    rec.Clear();
    v.Paint();
  }
  TGLScene scene;
  TGLCamera* camera = scene.Cameras().AddNewChild<TGLCamera>();
  FakeViewer v;
  void SetUp() override {
    RecordingGL::SetUp();
    camera->Position().SetVector(0, 0, 10);
    v.CreateContext();
    v.SetCamera(camera);
  }
};

TEST_F(ObjectsTest, DummyCubeDrawsOnlyWhenAskedButAlwaysItsChildren) {
  auto* cube = scene.Objects().AddNewChild<TDummyCube>();
  auto* child = cube->AddNewChild<TDirectOpenGL>();
  int childDrawn = 0;
  child->OnRender = [&](TDirectOpenGL*, TRenderContextInfo&) { ++childDrawn; };
  struct Case {
    bool Visible;
    unsigned State;
    int Stipples;
  } cases[] = {{false, 0, 0}, {true, 0, 1}, {false, csDesigning, 1}};
  for (const Case& c : cases) {
    cube->SetVisibleAtRunTime(c.Visible);
    cube->ComponentState = c.State;
    childDrawn = 0;
    Frame();
    EXPECT_EQ(rec.Count("glLineStipple"), c.Stipples) << c.Visible << c.State;
    EXPECT_EQ(childDrawn, 1);
  }
  // The barycentre: its own position alone, the children's mean with children.
  cube->Position().SetVector(3, 0, 0);
  auto* lone = scene.Objects().AddNewChild<TDummyCube>();
  lone->Position().SetVector(7, 1, 0);
  EXPECT_EQ(lone->BarycenterAbsolutePosition()[0], 7);
  child->Position().SetVector(-3, 0, 0);  // absolute x = 0
  cube->AddNewChild<TDummyCube>()->Position().SetVector(7, 0, 0);  // absolute x = 10
  Frame();
  EXPECT_FLOAT_EQ(cube->BarycenterAbsolutePosition()[0], 5);
}

TEST_F(ObjectsTest, SpriteAlphaIsLimited) {
  TSprite s;
  for (auto [in, out] : {std::pair{1.5f, 1.0f}, {-0.5f, 0.0f}, {0.25f, 0.25f}}) {
    s.SetAlphaChannel(in);
    EXPECT_EQ(s.AlphaChannel(), out);
  }
  EXPECT_FALSE(s.Material().Texture().Disabled());
}

}  // namespace
