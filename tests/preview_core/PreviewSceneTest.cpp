// The preview scene as the controls and the texture choice change it, without a display.
#include <gtest/gtest.h>

#include "preview/CameraPresets.h"
#include "preview/PreviewScene.h"
#include "scene/RecordingFixture.h"

namespace {

float Distance(const TAffineVector& a, const TAffineVector& b) { return VectorLength(VectorSubtract(a, b)); }

TEST(PreviewScene, CameraFollowsDragsAndTheWheel) {
  TPreviewScene s;
  TCameraPreset front;
  front.CameraZ = 500;
  front.TargetY = 10;
  s.ApplyPreset(front);
  const TAffineVector target0 = s.TargetPosition();
  EXPECT_EQ(target0, (TAffineVector{0, 10, 0}));
  const float d0 = Distance(s.CameraPosition(), target0);

  TMouseState both;
  both.Left = both.Right = true;
  s.MouseDrag(both, 120, 0);  // 120 pixels to the left: one factor 1.1
  EXPECT_NEAR(Distance(s.CameraPosition(), target0), d0 * 1.1f, 1e-2);
  s.MouseWheel(-120);
  EXPECT_NEAR(Distance(s.CameraPosition(), target0), d0, 1e-2);

  TMouseState left;
  left.Left = true;
  s.MouseDrag(left, 30, 20);  // orbits: same distance, another place
  EXPECT_NEAR(Distance(s.CameraPosition(), target0), d0, 1e-2);
  EXPECT_GT(Distance(s.CameraPosition(), PresetCamera(front)), 1);

  const TAffineVector camera = s.CameraPosition();
  TMouseState right;
  right.Right = true;
  right.Ctrl = true;
  s.MouseDrag(right, 5, 7);
  EXPECT_EQ(s.TargetPosition(), (TAffineVector{0, 3, 5}));
  EXPECT_EQ(s.CameraPosition(), camera);
}

TEST(PreviewScene, KeysMoveThePlayerAndToggleTheAxesCube) {
  TPreviewScene s;
  TModelPosition p;
  p.ScaleX = p.ScaleY = p.ScaleZ = 1.5f;
  p.OffsetY = -10;
  p.Turn = 90;
  s.SetPlayerPosition(p);
  EXPECT_TRUE(s.KeyPress('Y', 1));
  EXPECT_TRUE(s.KeyPress('t', 2));
  EXPECT_TRUE(s.KeyPress('s', 1));
  const TModelPosition q = s.PlayerPosition();
  EXPECT_FLOAT_EQ(q.OffsetY, -5);
  EXPECT_FLOAT_EQ(q.Turn, 0);
  EXPECT_FLOAT_EQ(q.ScaleZ, 1.4f);
  EXPECT_FLOAT_EQ(s.Player->Scale().W(), 0);

  EXPECT_FALSE(s.DummyCubeVisible->VisibleAtRunTime());
  EXPECT_FALSE(s.KeyPress('a', 0));
  EXPECT_TRUE(s.DummyCubeVisible->VisibleAtRunTime());
  EXPECT_TRUE(s.DummyCubeVisible->ShowAxes());
  s.KeyPress('A', 0);
  EXPECT_FALSE(s.DummyCubeVisible->VisibleAtRunTime());
  EXPECT_FALSE(s.DummyCubeVisible->ShowAxes());
}

TEST(PreviewScene, SlotsDressTheActorsAndMaskedOnesAreDrawnLast) {
  TPreviewScene s;
  TModelo model;
  model.TalkTextureIndex = 3;
  TSlotChoices choices;
  TSlotPictures pictures;
  auto paletted = [] {
    TSlotPicture p;
    auto b = std::make_shared<TBitmap>(2, 2, TPixelFormat::pf8bit);
    b->SetPalette(CreatePalette({{0, 255, 0, 0}, {255, 0, 0, 0}}));
    p.Bitmap = b;
    p.Textured = p.Paletted = true;
    return p;
  };
  for (int n : {0, 1, 2, 3}) {
    choices[static_cast<size_t>(n)].Used = true;
    pictures[static_cast<size_t>(n)] = paletted();
  }
  choices[1].Masked = true;  // drawn last
  choices[2].Talk = true;    // lines on the mesh, picture on the sprite
  choices[3].Masked = true;  // masked, but its picture was reduced: no palette to mask with
  pictures[3].Paletted = false;
  choices[4].Used = true;  // no picture

  s.ApplySlots(model, choices, pictures, /*meshHasNormals=*/true, /*maskingEnabled=*/true);
  EXPECT_EQ(s.Player->ObjectsSorting(), osNone);
  EXPECT_EQ(s.DrawingIndex(1), 7);
  for (int n : {0, 2, 3, 4, 5, 6, 7}) EXPECT_LT(s.DrawingIndex(n), 7) << n;
  EXPECT_LT(s.DrawingIndex(0), s.DrawingIndex(2));

  TGLMaterial& masked = s.Actors[1]->Material();
  EXPECT_EQ(masked.BlendingMode(), bmTransparency);
  EXPECT_EQ(masked.Texture().ImageAlpha(), tiaTransparentColor);
  EXPECT_EQ(masked.Texture().TransparentColor().Color(), (TVector{0, 1, 0, 1}));
  EXPECT_FALSE(masked.Texture().Disabled());
  EXPECT_EQ(masked.FrontProperties().PolygonMode(), pmFill);
  EXPECT_EQ(masked.BackProperties().PolygonMode(), pmLines);
  for (int n : {0, 3}) {
    const TGLMaterial& m = s.Actors[static_cast<size_t>(n)]->Material();
    EXPECT_EQ(m.BlendingMode(), bmOpaque) << n;
    EXPECT_EQ(m.Texture().ImageAlpha(), tiaDefault) << n;
    EXPECT_FALSE(m.Texture().Disabled()) << n;
  }
  for (int n : {2, 4, 5}) {
    const TGLMaterial& m = s.Actors[static_cast<size_t>(n)]->Material();
    EXPECT_TRUE(m.Texture().Disabled()) << n;
    EXPECT_EQ(m.FrontProperties().PolygonMode(), pmLines) << n;
    EXPECT_EQ(m.BackProperties().PolygonMode(), pmLines) << n;
  }
  EXPECT_TRUE(s.HUD->Visible());

  // Masking switched off: the section is opaque again; the talk slot empty: no sprite.
  pictures[2] = TSlotPicture();
  s.ApplySlots(model, choices, pictures, /*meshHasNormals=*/false, /*maskingEnabled=*/false);
  EXPECT_EQ(s.Actors[1]->Material().BlendingMode(), bmOpaque);
  EXPECT_EQ(s.Actors[0]->Material().BackProperties().PolygonMode(), pmFill);
  EXPECT_FALSE(s.HUD->Visible());
}

}  // namespace

namespace {

// A triangle of material 0 with one corner at (x, 0, 0).
TObjeto3D OneTriangle(float x) {
  TObjeto3D m;
  m.Vertices = {{x, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  m.UVs = {{0, 0}, {1, 0}, {0, 1}};
  m.Materials = {{"a", MATERIAL_NORMAL}};
  TObjeto3DTriangulo t;
  t.Vertex0 = t.UV0 = 0, t.Vertex1 = t.UV1 = 1, t.Vertex2 = t.UV2 = 2;
  m.Triangles = {t};
  return m;
}

class PreviewSceneDrawing : public RecordingGL {};

TEST_F(PreviewSceneDrawing, ANewMeshReplacesTheOldAtTheNextFrame) {
  TPreviewScene s;
  s.Player->SetVisible(true);
  for (TActor* a : s.Actors) a->SetVisible(true);
  s.BuildMesh(OneTriangle(7));
  FakeViewer v;
  v.CreateContext();
  v.SetCamera(s.GLCamera);
  v.Paint();
  EXPECT_EQ(rec.Count("glVertex3fv", 7, 0), 1);
  rec.Clear();
  s.BuildMesh(OneTriangle(9));
  v.Paint();
  EXPECT_EQ(rec.Count("glVertex3fv", 9, 0), 1);
  EXPECT_EQ(rec.Count("glVertex3fv", 7, 0), 0) << "the old mesh is gone";
}

TEST_F(PreviewSceneDrawing, OnlyAChangedPictureIsUploadedAgain) {
  TPreviewScene s;
  s.Player->SetVisible(true);
  for (TActor* a : s.Actors) a->SetVisible(true);
  TObjeto3D mesh = OneTriangle(1);
  mesh.Materials.push_back({"b", MATERIAL_NORMAL});
  mesh.Triangles.push_back(mesh.Triangles[0]);
  mesh.Triangles[1].Material = 1;
  s.BuildMesh(mesh);
  TModelo model;
  TSlotChoices choices;
  TSlotPictures pictures;
  auto picture = [](uint8_t index) {
    auto b = std::make_shared<TBitmap>(4, 4, TPixelFormat::pf8bit);
    b->SetPalette(CreatePalette({{0, 0, 0, 0}, {255, 0, 0, 0}}));
    b->ScanLine(0)[0] = index;
    TSlotPicture p;
    p.Bitmap = b;
    p.Textured = p.Paletted = true;
    return p;
  };
  for (size_t n : {0u, 1u}) {
    choices[n].Used = true;
    pictures[n] = picture(0);
  }
  choices[1].Masked = true;
  s.ApplySlots(model, choices, pictures, true, true);
  FakeViewer v;
  v.CreateContext();
  v.SetCamera(s.GLCamera);
  v.Paint();
  EXPECT_EQ(rec.Count("glTexImage2D"), 2);

  rec.Clear();
  s.ApplySlots(model, choices, pictures, true, true);  // nothing changed
  v.Paint();
  EXPECT_EQ(rec.Count("glTexImage2D"), 0);

  rec.Clear();
  pictures[0] = picture(1);  // a paint stroke on the first section's texture
  s.ApplySlots(model, choices, pictures, true, true);
  v.Paint();
  EXPECT_EQ(rec.Count("glTexImage2D"), 1);
}

// The axes are drawn before their object's own material, so whatever the object drawn before
// them left switched on (a masked section's texture, whose transparent texel hid them) must not
// reach them; the dummy cube's own lines likewise.
TEST_F(PreviewSceneDrawing, TheAxesAreDrawnUntexturedAfterAMaskedSection) {
  TPreviewScene s;
  s.Player->SetVisible(true);
  for (TActor* a : s.Actors) a->SetVisible(true);
  s.BuildMesh(OneTriangle(1));
  TModelo model;
  TSlotChoices choices;
  TSlotPictures pictures;
  auto b = std::make_shared<TBitmap>(4, 4, TPixelFormat::pf8bit);
  b->SetPalette(CreatePalette({{0, 0, 0, 0}, {255, 0, 0, 0}}));
  pictures[0].Bitmap = b;
  pictures[0].Textured = pictures[0].Paletted = true;
  choices[0].Used = choices[0].Masked = true;
  s.ApplySlots(model, choices, pictures, true, /*maskingEnabled=*/true);
  // Behind the axes as the camera sees them: drawn before them, farthest first.
  s.Player->Position().SetVector(0, 0, -1000);
  s.KeyPress('a', 0);
  FakeViewer v;
  v.CreateContext();
  v.SetCamera(s.GLCamera);
  for (int frame = 0; frame < 2; ++frame) {
    SCOPED_TRACE(frame);
    int stippled = 0;
    rec.OnCall = [&](const TGLCall& c) {
      if (c.Name != "glBegin" || !rec.Enabled.count(GL_LINE_STIPPLE)) return;
      ++stippled;
      EXPECT_FALSE(rec.Enabled.count(GL_TEXTURE_2D)) << "lines " << c.Args[0];
    };
    v.Paint();
    rec.OnCall = nullptr;
    EXPECT_EQ(stippled, 3);  // the axes, and the cube's strip and edges
    EXPECT_TRUE(rec.AttribStack.empty());
  }
}

}  // namespace
