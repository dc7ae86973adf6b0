#pragma once
// The real preview of the main window: the preview scene drawn by a scene viewer in the
// window's 3D area, dressed with the skin, team and face chosen in the editor document; the
// camera and the model's default position follow the mouse, the wheel, the keys and the
// document's camera presets.
#include <memory>

#include "editor/PreviewInterface.h"
#include "model/crvn_o3d.h"
#include "preview/PreviewScene.h"
#include "preview/SectionTextures.h"

class TGLSceneViewer;

class TModelPreview : public TPreview {
 public:
  TModelPreview();
  ~TModelPreview() override;

  void HideHUD() override;
  void UpdateCaption() override;
  void Draw3D() override;
  void ResetFrameCounter() override;

  void MouseDown(Qt::MouseButton button, Qt::MouseButtons buttons, Qt::KeyboardModifiers shift, int x, int y) override;
  void MouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers shift, int x, int y) override;
  void MouseUp(Qt::MouseButton button, Qt::MouseButtons buttons, Qt::KeyboardModifiers shift, int x, int y) override;
  void MouseWheel(int wheelDelta) override;
  void KeyPress(char key) override;

  void PresetsDblClick() override;
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
  void ApplyPreset(int index);

 protected:
  void AttachView(QWidget* area, TPreviewPanel panel) override;
  void ProjectOpened() override;

 private:
  QWidget* FArea = nullptr;
  TPreviewPanel FPanel;
  std::unique_ptr<TPreviewScene> FScene;
  TGLSceneViewer* FViewer = nullptr;
  TSlotPictureCache FPictures;
  // The current model's mesh, as read from its model data file.
  TObjeto3D FMesh;
  // The model whose mesh FMesh holds (its Key).
  std::string FModelKey;
  int32_t FLastMouseX = 0, FLastMouseY = 0;
};
