// Ready-made scene objects on the recording table.
#include <gtest/gtest.h>

#include "scene/GLMesh.h"
#include "scene/GLObjects.h"
#include "scene/GLSpaceText.h"
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
  child->Position().SetVector(-3, 0, 0);                           // absolute x = 0
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

TEST_F(ObjectsTest, MeshVertexModesAndTheirInterleavedFormats) {
  auto* mesh = scene.Objects().AddNewChild<TMesh>();
  struct Case {
    TVertexMode Mode;
    double Format;  // 0: refused
  } cases[] = {{vmV, GL_V3F}, {vmVN, GL_N3F_V3F}, {vmVNC, GL_C4F_N3F_V3F}, {vmVNCT, GL_T2F_C4F_N3F_V3F},
               {vmVNT, 0},    {vmVT, 0}};
  for (const Case& c : cases) {
    mesh->SetVertexMode(c.Mode);
    rec.Clear();
    TRenderContextInfo rci;
    if (c.Format == 0) {
      EXPECT_EQ(MessageOf<EAssertionFailed>([&] { mesh->BuildList(rci); }),
                "Interleaved Array format not supported yet. Sorry.");
      continue;
    }
    mesh->BuildList(rci);
    EXPECT_EQ(rec.Count("glInterleavedArrays", c.Format), 1) << int(c.Mode);
    EXPECT_EQ(rec.Count("glDrawArrays", GL_TRIANGLE_STRIP, 0), 1);
  }
}

TEST_F(ObjectsTest, TextObjectsShareOneListSetPerFont) {
  SetGlyphOutlineSource(nullptr);
  auto* a = scene.Objects().AddNewChild<TSpaceText>();
  a->SetText("A");
  TRenderContextInfo rci;
  v.Activate();
  EXPECT_EQ(MessageOf<EOutOfResources>([&] { a->BuildList(rci); }), "FontManager: font creation failed");
  EXPECT_EQ(FontManager().SetCount(), 0);
  SetGlyphOutlineSource([](const TSpaceTextFont&, uint8_t c, float, TGlyphOutline& g) {
    g.Contours = {{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}};
    g.Advance = c == 'A' ? 1 : 0.5f;
    return true;
  });
  auto* b = scene.Objects().AddNewChild<TSpaceText>();
  b->SetText("AB");
  rec.Clear();
  a->BuildList(rci);
  b->BuildList(rci);
  a->BuildList(rci);  // every frame: the set is found again
  EXPECT_EQ(rec.Count("glGenLists", 255), 1);
  EXPECT_EQ(FontManager().SetCount(), 1);
  EXPECT_EQ(rec.Count("glCallLists", 2), 1);
  b->SetExtrusion(0.5f);  // a set of its own
  b->BuildList(rci);
  EXPECT_EQ(FontManager().SetCount(), 2);
  rec.Clear();
  scene.Objects().Remove(a, false).reset();
  EXPECT_EQ(rec.Count("glDeleteLists", rec.NextList - 510, 255), 1);
  EXPECT_EQ(FontManager().SetCount(), 1);
  v.Deactivate();
  SetGlyphOutlineSource(nullptr);
}

}  // namespace
