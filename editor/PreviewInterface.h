#pragma once
// The 3D preview as the main window sees it. The window calls these routines at the moments
// the preview must react (start-up, project opened, textures changed, user input over the
// viewer, keys); the preview draws the model with the chosen skin, team and face.
//
// TPreview itself is the preview that draws nothing: every routine does nothing, so the
// editor runs before the 3D viewer exists. The real preview derives from it.
#include <Qt>
#include <string>

#include "model/ModelCatalogue.h"  // TModelPosition

class Tmain_unificada;
class QWidget;

class TPreview {
 public:
  virtual ~TPreview() = default;

  // Called once by the window's constructor, before FormCreate; viewer is the widget the 3D
  // view occupies (GLSceneViewer).
  virtual void Attach(Tmain_unificada* /*window*/, QWidget* /*viewer*/) {}

  // Start-up: hides the head-up sprite.
  virtual void HideHUD() {}
  // After New and Load: loads the current model's mesh (once per project), the skin lists,
  // textures, first camera preset.
  virtual void SetupPreview() {}
  // Shows the model's default position in StatusBarPreview.
  virtual void UpdateCaption() {}
  // Dresses the section actors with the chosen skin, team and face.
  virtual void Draw3D() {}
  // A project was opened or closed: the frame rate shown starts again from this project's
  // frames.
  virtual void ResetFrameCounter() {}
  virtual void LoadSkins() {}
  // After tree commands: reloads the three combos keeping their choices, then Draw3D.
  virtual void RefreshSelectionCombos() {}
  virtual void SkinSelectionChange() {}
  virtual void TeamSelectionChange() {}
  virtual void FaceSelectionChange() {}
  virtual void EnableMaskingClick() {}
  virtual void RefreshClick() {}
  // The catalogue was read again: the current model's presets may have changed.
  virtual void CatalogueReloaded() {}

  // Mouse over the viewer, in viewer pixels.
  virtual void MouseDown(Qt::MouseButton /*button*/, Qt::MouseButtons /*buttons*/, Qt::KeyboardModifiers /*shift*/,
                         int /*x*/, int /*y*/) {}
  virtual void MouseMove(Qt::MouseButtons /*buttons*/, Qt::KeyboardModifiers /*shift*/, int /*x*/, int /*y*/) {}
  virtual void MouseUp(Qt::MouseButton /*button*/, Qt::MouseButtons /*buttons*/, Qt::KeyboardModifiers /*shift*/,
                       int /*x*/, int /*y*/) {}
  // A wheel turn anywhere on the window (120 units a notch).
  virtual void MouseWheel(int /*wheelDelta*/) {}
  // A typed character anywhere on the window (position keys).
  virtual void KeyPress(char /*key*/) {}

  // Camera presets.
  virtual void PresetsDblClick() {}
  virtual void PopupPresetsPopup() {}
  virtual void PresetNewClick() {}
  virtual void PresetRemoveClick() {}
  virtual void PresetRenameClick() {}
  virtual void PresetSetClick() {}

  // The position of the model in the preview; false when there is none to save.
  virtual bool ModelPosition(TModelPosition& /*position*/) const { return false; }

  // Help > OpenGL Information.
  virtual void ShowOpenGLInformation() {}
};
