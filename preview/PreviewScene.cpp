#include "preview/PreviewScene.h"

#include "preview/CameraPresets.h"

namespace {
void SetWhite(TGLFaceProperties& face) {
  const TVector white{1, 1, 1, 1};
  face.Ambient().SetColor(white);
  face.Diffuse().SetColor(white);
  face.Emission().SetColor(white);
  face.Specular().SetColor(white);
}
}  // namespace

TPreviewScene::TPreviewScene() {
  // Farthest first for the scene; the Player's sections are drawn in list order, so the masked
  // ones moved to the end are really drawn last.
  GLScene1.SetObjectsSorting(osRenderFarthestFirst);
  TGLBaseSceneObject& root = GLScene1.Objects();

  HUD = root.AddNewChild<THUDSprite>();
  HUD->Name = "HUD";
  HUD->SetWidth(64);
  HUD->SetHeight(64);
  HUD->Position().SetVector(32, 32, 0);
  HUD->Material().Texture().SetImageAlpha(tiaTopLeftPointColorTransparent);
  HUD->Material().Texture().SetDisabled(false);
  HUD->SetVisible(false);

  DummyCubeVisible = root.AddNewChild<TDummyCube>();
  DummyCubeVisible->Name = "DummyCubeVisible";
  DummyCubeVisible->SetCubeSize(256);

  Player = root.AddNewChild<TActor>();
  Player->Name = "Player";
  Player->SetObjectsSorting(osNone);
  Player->Material().FrontProperties().Specular().SetColor({1, 1, 1, 1});
  Player->Material().FrontProperties().SetShininess(128);
  Player->Material().BackProperties().SetShininess(128);
  for (int i = 0; i < MaxModelSections; ++i) {
    TActor* a = Player->AddNewChild<TActor>();
    a->Name = "Actor" + std::to_string(i + 1);
    // No light in the scene: white everywhere, emission included, shows the textures as they are.
    SetWhite(a->Material().FrontProperties());
    SetWhite(a->Material().BackProperties());
    a->Material().SetBlendingMode(bmTransparency);
    TGLTexture& t = a->Material().Texture();
    t.SetDisabled(false);
    t.SetTextureMode(tmModulate);
    t.SetImageAlpha(tiaSuperBlackTransparent);
    t.SetMinFilter(miLinear);
    t.SetMagFilter(maLinear);
    Actors[static_cast<size_t>(i)] = a;
  }

  DummyCubeTarget = root.AddNewChild<TDummyCube>();
  DummyCubeTarget->Name = "DummyCubeTarget";
  DummyCubeTarget->SetCubeSize(256);

  GLCamera = GLScene1.Cameras().AddNewChild<TGLCamera>();
  GLCamera->Name = "GLCamera";
  GLCamera->Position().SetVector(0, 0, 2000);
  GLCamera->Direction().SetVector(0, 0, 1);
  GLCamera->SetDepthOfView(10000);
  GLCamera->SetFocalLength(600);
  GLCamera->SetTargetObject(DummyCubeTarget);
  // Before the first project the scene shows nothing.
  ResetPlayer(Player);
  for (TActor* a : Actors) ResetPlayer(a);
}

TPreviewScene::~TPreviewScene() = default;

void TPreviewScene::ResetPlayer(TActor* actor) {
  actor->Position().SetVector(0, 0, 0);
  actor->SetTurnAngle(0);
  actor->SetRollAngle(0);
  actor->SetPitchAngle(0);
  actor->Scale().SetVector(1, 1, 1, 0);
  actor->Material().Texture().SetDisabled(true);
  actor->SetVisible(false);
}

TModelPosition TPreviewScene::PlayerPosition() const {
  TModelPosition p;
  p.ScaleX = Player->Scale().X();
  p.ScaleY = Player->Scale().Y();
  p.ScaleZ = Player->Scale().Z();
  p.OffsetX = Player->Position().X();
  p.OffsetY = Player->Position().Y();
  p.OffsetZ = Player->Position().Z();
  p.Pitch = Player->PitchAngle();
  p.Roll = Player->RollAngle();
  p.Turn = Player->TurnAngle();
  return p;
}

void TPreviewScene::SetPlayerPosition(const TModelPosition& p) {
  Player->Scale().SetVector(p.ScaleX, p.ScaleY, p.ScaleZ, 0);
  Player->SetPitchAngle(p.Pitch);
  Player->SetRollAngle(p.Roll);
  Player->SetTurnAngle(p.Turn);
  Player->Position().SetVector(p.OffsetX, p.OffsetY, p.OffsetZ);
}

bool TPreviewScene::KeyPress(char key, int increments) {
  TModelPosition p = PlayerPosition();
  switch (ApplyPositionKey(key, IncrementSteps(increments), p)) {
    case TKeyEffect::PositionChanged: SetPlayerPosition(p); return true;
    case TKeyEffect::ToggleAxes:
      DummyCubeVisible->SetVisibleAtRunTime(!DummyCubeVisible->VisibleAtRunTime());
      DummyCubeVisible->SetShowAxes(!DummyCubeVisible->ShowAxes());
      return false;
    case TKeyEffect::None: break;
  }
  return false;
}

void TPreviewScene::MouseDrag(const TMouseState& state, int dx, int dy) {
  switch (MouseActionFor(state)) {
    case TMouseAction::Zoom: GLCamera->AdjustDistanceToTarget(static_cast<float>(DragZoomFactor(dx, dy))); break;
    case TMouseAction::Orbit: GLCamera->MoveAroundTarget(static_cast<float>(dy), static_cast<float>(dx)); break;
    case TMouseAction::MoveTarget: {
      TAffineVector t = TargetPosition();
      MoveTarget(t, dx, dy, state.Ctrl);
      DummyCubeTarget->Position().SetAsAffineVector(t);
      GLCamera->TransformationChanged();
      break;
    }
    case TMouseAction::None: break;
  }
}

void TPreviewScene::MouseWheel(int wheelDelta) {
  GLCamera->AdjustDistanceToTarget(static_cast<float>(WheelZoomFactor(wheelDelta)));
}

void TPreviewScene::ApplyPreset(const TCameraPreset& preset) {
  GLCamera->Position().SetAsAffineVector(PresetCamera(preset));
  DummyCubeTarget->Position().SetAsAffineVector(PresetTarget(preset));
}

void TPreviewScene::BuildMesh(const TObjeto3D& mesh) {
  const TSectionMeshes sections = BuildSectionMeshes(mesh);
  for (size_t a = 0; a < Actors.size(); ++a) {
    TActor* actor = Actors[a];
    actor->MeshObjects().Clear();
    actor->StructureChanged();
    auto* object = new TMeshObject(&actor->MeshObjects());  // owned by the list
    object->Mode = momFaceGroups;
    auto* group = new TFGVertexNormalTexIndexList(&object->FaceGroups());  // owned by the groups
    const TSectionMesh& s = sections[a];
    for (size_t i = 0; i < s.Vertices.size(); ++i) {
      const int v = object->Vertices.Add(s.Vertices[i]);
      object->TexCoords.Add(s.TexCoords[i]);
      object->Normals.Add(s.Normals[i]);
      group->Add(v, v, v);
    }
    // The lists tell nobody when they change: the actor is told once they are complete, so
    // whatever it keeps of its drawing is made again from the new vertices and normals.
    actor->StructureChanged();
  }
}

void TPreviewScene::ApplySlots(const TModelo& model, const TSlotChoices& choices, const TSlotPictures& pictures,
                               bool meshHasNormals, bool maskingEnabled) {
  for (size_t n = 0; n < Actors.size(); ++n) {
    const TSlotMaterial m = SlotMaterial(choices[n], pictures[n], meshHasNormals, maskingEnabled);
    TGLMaterial& material = Actors[n]->Material();
    material.FrontProperties().SetPolygonMode(m.FrontFilled ? pmFill : pmLines);
    material.BackProperties().SetPolygonMode(m.BackFilled ? pmFill : pmLines);
    TGLTexture& texture = material.Texture();
    if (m.TextureEnabled && FShown[n] != pictures[n].Bitmap) {
      texture.AssignBitmap(*pictures[n].Bitmap);
      FShown[n] = pictures[n].Bitmap;
    }
    texture.SetDisabled(!m.TextureEnabled);
    // Both setters upload the picture again, even with the value it has: only a change may.
    if (m.Transparent && !VectorEquals(texture.TransparentColor().Color(), m.TransparentColor)) {
      TGLColor colour(nullptr, m.TransparentColor);
      texture.SetTransparentColor(colour);
    }
    material.SetBlendingMode(m.Transparent ? bmTransparency : bmOpaque);
    const TGLTextureImageAlpha alpha = m.Transparent ? tiaTransparentColor : tiaDefault;
    if (texture.ImageAlpha() != alpha) texture.SetImageAlpha(alpha);
    // Drawn after the others, so what shows through its transparent colour is already there.
    if (m.DrawLast) Actors[n]->SetIndex(Player->Count() - 1);
  }
  const int hud = HUDSlot(model, pictures);
  if (hud >= 0 && FHUDShown != pictures[static_cast<size_t>(hud)].Bitmap) {
    FHUDShown = pictures[static_cast<size_t>(hud)].Bitmap;
    HUD->Material().Texture().AssignBitmap(*FHUDShown);
  }
  HUD->SetVisible(hud >= 0);
}
