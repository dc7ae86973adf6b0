#pragma once
// The real preview of the main window: the preview scene drawn by a scene viewer in the
// window's 3D area, dressed with the chosen skin, team and face; the camera and the model's
// default position follow the mouse, the wheel, the keys and the presets.
#include <memory>

#include "editor/PreviewInterface.h"
#include "preview/PreviewScene.h"
#include "preview/SectionTextures.h"

class TGLSceneViewer;
class TSkinNode;

class TModelPreview : public TPreview {
 public:
  TModelPreview();
  ~TModelPreview() override;

  void Attach(Tmain_unificada* window, QWidget* viewer) override;
  void HideHUD() override;
  void SetupPreview() override;
  void UpdateCaption() override;
  void Draw3D() override;
  void ResetFrameCounter() override;
  void LoadSkins() override;
  void RefreshSelectionCombos() override;
  void SkinSelectionChange() override;
  void TeamSelectionChange() override;
  void FaceSelectionChange() override;
  void EnableMaskingClick() override;
  void RefreshClick() override;
  void CatalogueReloaded() override;

  void MouseDown(Qt::MouseButton button, Qt::MouseButtons buttons, Qt::KeyboardModifiers shift, int x, int y) override;
  void MouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers shift, int x, int y) override;
  void MouseUp(Qt::MouseButton button, Qt::MouseButtons buttons, Qt::KeyboardModifiers shift, int x, int y) override;
  void MouseWheel(int wheelDelta) override;
  void KeyPress(char key) override;

  void PresetsDblClick() override;
  void PopupPresetsPopup() override;
  void PresetNewClick() override;
  void PresetRemoveClick() override;
  void PresetRenameClick() override;
  void PresetSetClick() override;

  bool ModelPosition(TModelPosition& position) const override;
  void ShowOpenGLInformation() override;

  TPreviewScene& Scene() { return *FScene; }
  // The viewer that draws the scene (a child filling the window's 3D area).
  TGLSceneViewer* Viewer() const { return FViewer; }

  void LoadModel();
  void LoadTeams();
  void LoadFaces();
  void ApplyPreset(int index);

 private:
  // The skin chosen in skin_selection, when it is still in the tree.
  TSkinNode* ChosenSkin() const;
  TTextureSelection Selection(TPreviewSkin& view) const;
  void FillPresets();

  Tmain_unificada* W = nullptr;
  std::unique_ptr<TPreviewScene> FScene;
  TGLSceneViewer* FViewer = nullptr;
  TSlotPictureCache FPictures;
};
