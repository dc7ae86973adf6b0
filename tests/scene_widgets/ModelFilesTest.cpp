// Model files drawn by Mesa under Xvfb: an MD2 skin's top row lands at the top of the model.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/Bitmap.h"
#include "scene/VectorFileFormats.h"
#include "tests/scene_widgets/ViewerSupport.h"

namespace {

// A square from (-3,-3) to (3,3) facing the camera; its skin's upper half is red, lower half blue.
std::vector<uint8_t> SquareMD2() {
  std::vector<uint8_t> d;
  auto i32 = [&](int32_t v) {
    for (int k = 0; k < 4; ++k) d.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * k)));
  };
  auto i16 = [&](int v) { d.push_back(static_cast<uint8_t>(v)), d.push_back(static_cast<uint8_t>(v >> 8)); };
  auto f32 = [&](float f) {
    int32_t v;
    std::memcpy(&v, &f, 4);
    i32(v);
  };
  const int skins = 68, tex = skins, tris = tex + 16, frames = tris + 24, frameSize = 40 + 16;
  d.insert(d.end(), {'I', 'D', 'P', '2'});
  for (int v : {8, 4, 4, frameSize, 0, 4, 4, 2, 0, 1, skins, tex, tris, frames, frames + frameSize, frames + frameSize})
    i32(v);
  for (auto [s, t] : {std::pair{0, 0}, {4, 0}, {4, 4}, {0, 4}}) i16(s), i16(t);
  // Vertices: 0 top left, 1 top right, 2 bottom right, 3 bottom left; texture corners alike.
  for (int v : {0, 1, 2, 0, 1, 2, 0, 2, 3, 0, 2, 3}) i16(v);
  for (float f : {1.0f, 1.0f, 1.0f, -3.0f, -3.0f, 0.0f}) f32(f);
  const char name[16] = "still01";
  d.insert(d.end(), name, name + 16);
  for (auto [x, y] : {std::pair{0, 6}, {6, 6}, {6, 0}, {0, 0}})
    d.insert(d.end(), {static_cast<uint8_t>(x), static_cast<uint8_t>(y), 0, 0});
  return d;
}

TEST(ModelFiles, MD2SkinIsUprightOnTheModel) {
  Scene s;
  auto* actor = s.scene.Objects().AddNewChild<TActor>();
  const auto md2 = SquareMD2();
  TGLMD2VectorFile(actor).LoadFromMemory(md2.data(), md2.size());
  ASSERT_EQ(actor->MeshObjects().Count(), 1);
  ASSERT_EQ(actor->Animations().size(), 1u);
  EXPECT_EQ(actor->Animations()[0]->Name, "still");
  TBitmap skin(4, 4);
  skin.SetPixelFormat(TPixelFormat::pf24bit);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) skin.SetPixel(x, y, y < 2 ? RGBColor(220, 0, 0) : RGBColor(0, 0, 220));
  TGLMaterial& m = actor->Material();
  m.Texture().AssignBitmap(skin);
  m.Texture().SetTextureMode(tmReplace);
  m.Texture().SetDisabled(false);
  TGLSceneViewer v;
  v.SetCamera(s.camera);
  v.SetLighting(false);
  v.SetFaceCulling(false);
  ASSERT_TRUE(Show(v, 120, 100)) << v.LastError;
  const auto px = Capture(v);
  ASSERT_FALSE(px.empty());
  const uint8_t* top = PixelAt(v, px, 60, 40);
  const uint8_t* bottom = PixelAt(v, px, 60, 60);
  EXPECT_GT(top[0], 150) << "top: " << int(top[0]) << "," << int(top[1]) << "," << int(top[2]);
  EXPECT_GT(bottom[2], 150) << "bottom: " << int(bottom[0]) << "," << int(bottom[1]) << "," << int(bottom[2]);
  SaveScreenshot(v, px, "md2-skin.png");
  EXPECT_TRUE(v.LastError.empty()) << v.LastError;
}

}  // namespace
