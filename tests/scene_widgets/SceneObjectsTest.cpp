// Textures, meshes and primitives drawn by Mesa under Xvfb: what reaches the screen.
#include <gtest/gtest.h>

#include "platform/Bitmap.h"
#include "scene/GLMesh.h"
#include "scene/GLObjects.h"
#include "scene/GLSpaceText.h"
#include "scene/GLVectorFileObjects.h"
#include "scene/OpenGL12.h"
#include "tests/scene_widgets/ViewerSupport.h"

namespace {

bool Near(const uint8_t* p, int r, int g, int b) {
  return std::abs(p[0] - r) <= 2 && std::abs(p[1] - g) <= 2 && std::abs(p[2] - b) <= 2;
}

TEST(SceneTextures, UploadSizesReadBackFromTheImplementation) {
  Scene s;
  TGLSceneViewer v;
  v.SetCamera(s.camera);
  ASSERT_TRUE(Show(v, 64, 64)) << v.LastError;
  struct Case {
    int W, H, W2, H2;
    TGLTextureImageAlpha Alpha;
    TGLMinFilter Filter;
  } cases[] = {{100, 60, 128, 64, tiaDefault, miLinear},
               {1, 7, 1, 8, tiaDefault, miNearest},
               {1, 3, 1, 4, tiaOpaque, miLinearMipmapLinear},
               {2, 5, 2, 8, tiaDefault, miNearest},
               // Above a million pixels: in bands over frames, into storage of its own.
               {2048, 1024, 2048, 1024, tiaTransparentColor, miLinearMipmapLinear},
               {2048, 1024, 2048, 1024, tiaDefault, miLinear}};
  v.Activate();
  for (const Case& c : cases) {
    TGLTexture t(nullptr);
    TBitmap b(c.W, c.H);
    b.Fill(RGBColor(200, 100, 50));
    t.AssignBitmap(b);
    t.SetImageAlpha(c.Alpha);
    t.SetMinFilter(c.Filter);
    for (int frame = 0; frame < 1000 && (frame == 0 || t.UploadPending()); ++frame) t.Handle();
    GLint w = 0, h = 0, red = 0;
    GL.glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    GL.glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
    GL.glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_RED_SIZE, &red);
    EXPECT_EQ(w, c.W2) << c.W << "x" << c.H;
    EXPECT_EQ(h, c.H2) << c.W << "x" << c.H;
    EXPECT_GT(red, 0);
    EXPECT_EQ(GL.glGetError(), GLenum(GL_NO_ERROR));
  }
  v.Deactivate();
}

TEST(SceneObjects, HeadUpSpriteCoversItsPixelsWhateverTheCameraAndDepth) {
  Scene s;
  // A large quad right in front of the camera would hide anything depth-tested.
  auto* wall = s.scene.Objects().AddNewChild<TDirectOpenGL>();
  wall->OnRender = [](TDirectOpenGL*, TRenderContextInfo&) {
    GL.glBegin(GL_QUADS);
    GL.glVertex3f(-50, -50, 9);
    GL.glVertex3f(50, -50, 9);
    GL.glVertex3f(50, 50, 9);
    GL.glVertex3f(-50, 50, 9);
    GL.glEnd();
  };
  wall->Material().FrontProperties().Emission().SetColor({0, 0, 1, 1});
  auto* hud = s.scene.Objects().AddNewChild<THUDSprite>();
  hud->SetWidth(64);
  hud->SetHeight(64);
  hud->Position().SetVector(32, 32, 0);
  TBitmap b(8, 8);
  b.Fill(RGBColor(255, 128, 0));
  hud->Material().Texture().AssignBitmap(b);
  hud->Material().Texture().SetImageAlpha(tiaTopLeftPointColorTransparent);
  hud->Material().Texture().SetTextureMode(tmReplace);
  hud->Material().SetBlendingMode(bmTransparency);
  TGLSceneViewer v;
  v.SetCamera(s.camera);
  ASSERT_TRUE(Show(v, 200, 150)) << v.LastError;
  for (float turn : {0.0f, 70.0f}) {
    s.camera->MoveAroundTarget(0, turn);
    const auto px = Capture(v);
    ASSERT_FALSE(px.empty());
    // The picture is one colour: top-left-point transparency keys all of it away.
    EXPECT_FALSE(Near(PixelAt(v, px, 10, 10), 255, 128, 0));
  }
  hud->Material().Texture().SetImageAlpha(tiaDefault);
  hud->Material().SetBlendingMode(bmOpaque);
  for (float turn : {0.0f, 70.0f}) {
    s.camera->MoveAroundTarget(0, turn);
    const auto px = Capture(v);
    ASSERT_FALSE(px.empty());
    for (auto [x, y] : {std::pair{0, 0}, {63, 0}, {0, 63}, {63, 63}, {32, 32}})
      EXPECT_TRUE(Near(PixelAt(v, px, x, y), 255, 128, 0)) << x << "," << y;
    for (auto [x, y] : {std::pair{64, 0}, {0, 64}, {64, 64}, {100, 100}})
      EXPECT_FALSE(Near(PixelAt(v, px, x, y), 255, 128, 0)) << x << "," << y;
  }
  EXPECT_TRUE(v.LastError.empty()) << v.LastError;
}

// An actor built as the preview builds its sections: one mesh object in face-group mode, one
// corner (vertex, normal, texture coordinate) per vertex, here a large triangle or a square
// around the origin facing the camera.
TEST(SceneObjects, TexturedActorTransparencyCullingAndWireFrame) {
  struct Case {
    const char* What;
    TColor Texel;
    TGLTextureImageAlpha Alpha;
    TBlendingMode Blending;
    bool Clockwise, Culling;
    TPolygonMode Polygons;
    bool ShowsTexel;  // else the silver background
  } cases[] = {
      {"texel colour", RGBColor(200, 40, 90), tiaSuperBlackTransparent, bmTransparency, false, true, pmFill, true},
      {"super-black texel", RGBColor(0, 0, 0), tiaSuperBlackTransparent, bmTransparency, false, true, pmFill, false},
      {"black without blending", RGBColor(0, 0, 0), tiaSuperBlackTransparent, bmOpaque, false, true, pmFill, true},
      {"nearly black", RGBColor(0, 0, 1), tiaSuperBlackTransparent, bmTransparency, false, true, pmFill, true},
      {"back face culled", RGBColor(30, 200, 60), tiaDefault, bmOpaque, true, true, pmFill, false},
      {"back face drawn", RGBColor(30, 200, 60), tiaDefault, bmOpaque, true, false, pmFill, true},
      {"wire frame", RGBColor(30, 200, 60), tiaDefault, bmOpaque, false, false, pmLines, false},
  };
  Scene s;
  auto* actor = s.scene.Objects().AddNewChild<TActor>();
  TGLSceneViewer v;
  v.SetCamera(s.camera);
  v.SetLighting(false);  // the texel colour modulates the plain white
  ASSERT_TRUE(Show(v, 120, 100)) << v.LastError;
  for (const Case& c : cases) {
    actor->MeshObjects().Clear();
    auto* mo = new TMeshObject(&actor->MeshObjects());
    mo->Mode = momFaceGroups;
    auto* fg = new TFGVertexNormalTexIndexList(&mo->FaceGroups());
    const float corners[3][2] = {{-3, -3}, {3, -3}, {0, 3}};
    for (int i = 0; i < 3; ++i) {
      const int k = c.Clockwise ? 2 - i : i;
      mo->Vertices.Add(corners[k][0], corners[k][1], 0);
      mo->Normals.Add(0, 0, 1);
      mo->TexCoords.AddTexPoint(0.5f, 0.5f);
      fg->Add(i, i, i);
    }
    TBitmap b(1, 1);
    b.Fill(c.Texel);
    TGLMaterial& m = actor->Material();
    m.Texture().AssignBitmap(b);
    m.Texture().SetImageAlpha(c.Alpha);
    m.Texture().SetTextureMode(tmModulate);
    m.Texture().SetDisabled(false);
    m.SetBlendingMode(c.Blending);
    m.FrontProperties().SetPolygonMode(c.Polygons);
    m.BackProperties().SetPolygonMode(c.Polygons);
    v.SetFaceCulling(c.Culling);
    const auto px = Capture(v);
    ASSERT_FALSE(px.empty());
    const uint8_t* p = PixelAt(v, px, 60, 50);
    if (c.ShowsTexel)
      EXPECT_TRUE(Near(p, GetRValue(c.Texel), GetGValue(c.Texel), GetBValue(c.Texel)))
          << c.What << ": " << int(p[0]) << "," << int(p[1]) << "," << int(p[2]);
    else
      EXPECT_TRUE(Near(p, 192, 192, 192)) << c.What << ": " << int(p[0]) << "," << int(p[1]) << "," << int(p[2]);
  }
  EXPECT_TRUE(v.LastError.empty()) << v.LastError;
}

// Every primitive of the library with a material colour of its own, placed on a grid.
std::vector<std::pair<std::string, TGLBaseSceneObject*>> AddEveryPrimitive(TGLBaseSceneObject& root) {
  std::vector<std::pair<std::string, TGLBaseSceneObject*>> all;
  int n = 0;
  auto place = [&](const char* name, TGLCustomSceneObject* o) {
    const float hue = static_cast<float>(n) / 18;
    o->Position().SetVector(static_cast<float>(n % 6) * 1.3f - 3.25f, 1.6f - static_cast<float>(n / 6) * 1.5f, 0);
    o->Material().FrontProperties().Diffuse().SetColor({0.3f + 0.7f * hue, 0.9f - 0.6f * hue, 0.4f, 1});
    o->Material().FrontProperties().Emission().SetColor({0.1f, 0.1f, 0.3f * hue, 1});
    all.emplace_back(name, o);
    ++n;
  };
  place("plane", root.AddNewChild<TPlane>());
  auto* sprite = root.AddNewChild<TSprite>();
  sprite->Material().Texture().SetDisabled(true);
  place("sprite", sprite);
  auto* lines = root.AddNewChild<TLines>();
  for (auto [x, y] : {std::pair{-0.5f, -0.4f}, {0.0f, 0.5f}, {0.5f, -0.4f}}) lines->Nodes().AddNode(x, y, 0);
  lines->SetSplineMode(lsmCubicSpline);
  lines->SetLineWidth(3);
  lines->SetNodesAspect(lnaCube);
  place("lines", lines);
  auto* cube = root.AddNewChild<TCube>();
  cube->SetTurnAngle(30);
  cube->SetPitchAngle(20);
  place("cube", cube);
  auto* sphere = root.AddNewChild<TSphere>();
  sphere->SetTop(60);
  sphere->SetTopCap(ctFlat);
  place("sphere", sphere);
  auto* disk = root.AddNewChild<TDisk>();
  disk->SetInnerRadius(0.2f);
  disk->SetSweepAngle(270);
  place("disk", disk);
  auto* cone = root.AddNewChild<TCone>();
  cone->SetPitchAngle(20);
  place("cone", cone);
  auto* cylinder = root.AddNewChild<TCylinder>();
  cylinder->SetTopRadius(0.3f);
  cylinder->SetPitchAngle(20);
  place("cylinder", cylinder);
  auto* annulus = root.AddNewChild<TAnnulus>();
  annulus->SetPitchAngle(40);
  place("annulus", annulus);
  auto* torus = root.AddNewChild<TTorus>();
  torus->SetPitchAngle(30);
  place("torus", torus);
  place("teapot", root.AddNewChild<TTeapot>());
  auto* text = root.AddNewChild<TSpaceText>();
  text->SetText("Cv");
  text->SetExtrusion(0.2f);
  text->SetTurnAngle(20);
  place("space text", text);
  auto* arrow = root.AddNewChild<TArrowLine>();
  arrow->SetParts(alLine | alTopArrow | alBottomArrow);
  arrow->SetRollAngle(30);
  place("arrow line", arrow);
  auto* dodecahedron = root.AddNewChild<TDodecahedron>();
  dodecahedron->Scale().SetVector(0.5f, 0.5f, 0.5f);
  place("dodecahedron", dodecahedron);
  auto* polygon = root.AddNewChild<TPolygon>();
  for (auto [x, y] : {std::pair{-0.5f, -0.5f}, {0.5f, -0.5f}, {0.0f, 0.0f}, {0.5f, 0.5f}, {-0.5f, 0.5f}})
    polygon->Nodes().AddNode(x, y, 0);
  place("polygon", polygon);
  auto* mesh = root.AddNewChild<TMesh>();
  mesh->SetMode(mmTriangles);
  mesh->Scale().SetVector(0.7f, 0.7f, 0.7f);
  place("mesh", mesh);
  auto* dummy = root.AddNewChild<TDummyCube>();
  dummy->SetVisibleAtRunTime(true);
  dummy->SetCubeSize(0.8f);
  place("dummy cube", dummy);
  return all;
}

TEST(SceneObjects, EveryPrimitiveDrawsAndOneSceneHoldsThemAll) {
  Scene s;
  s.camera->Position().SetVector(0, 0, 9);
  s.camera->SetFocalLength(45);
  auto* light = s.scene.Objects().AddNewChild<TGLLightSource>();
  light->Position().SetVector(3, 5, 8);
  light->SetLightStyle(lsOmni);
  auto all = AddEveryPrimitive(s.scene.Objects());
  auto* hud = s.scene.Objects().AddNewChild<THUDSprite>();
  hud->SetWidth(48);
  hud->SetHeight(24);
  hud->Position().SetVector(600, 20, 0);
  TBitmap b(2, 2);
  b.Fill(RGBColor(250, 220, 40));
  hud->Material().Texture().AssignBitmap(b);
  all.emplace_back("head-up sprite", hud);
  TGLSceneViewer v;
  v.SetCamera(s.camera);
  ASSERT_TRUE(Show(v, 640, 400)) << v.LastError;
  const auto px = Capture(v);
  SaveScreenshot(v, px, "every-primitive.png");
  EXPECT_TRUE(v.LastError.empty()) << v.LastError;
  // Each alone, centred: it must cover some of the view.
  for (auto& [name, object] : all) {
    for (auto& [other, o] : all) o->SetVisible(o == object);
    const TVector saved = object->Position().AsVector();
    if (object != hud) object->Position().SetVector(0, 0, 0);
    const auto alone = Capture(v);
    if (name == "space text") SaveScreenshot(v, alone, "space-text.png");
    object->Position().SetAsVector(saved);
    int covered = 0;
    for (size_t i = 0; i + 3 < alone.size(); i += 4) covered += !Near(&alone[i], 192, 192, 192);
    EXPECT_GT(covered, 200) << name;
    EXPECT_TRUE(v.LastError.empty()) << name << ": " << v.LastError;
  }
}

}  // namespace
