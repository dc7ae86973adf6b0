#pragma once
// The 3D preview as the main window sees it. The preview reads the project, the chosen skin,
// team and face and the camera presets from the editor document, redraws when the document
// says the choices changed, and writes its preset edits back through the document. The window
// calls these routines at the other moments the preview must react (start-up, project opened,
// textures changed, user input over the viewer, keys).
//
// TPreview itself is the preview that draws nothing: every routine does nothing, so the
// editor runs before the 3D viewer exists. The real preview derives from it.
#include <Qt>
#include <array>
#include <functional>
#include <string>

#include "model/ModelCatalogue.h"  // TModelPosition

class TEditorDocument;
class QWidget;

// What the preview shows outside its own area; the window supplies it.
struct TPreviewPanel {
  std::function<void(const std::string& text)> ShowFrameRate;                 // "25 fps"
  std::function<void(const std::array<std::string, 3>& texts)> ShowPosition;  // scale, position, rotation
};

class TPreview {
 public:
  virtual ~TPreview() = default;

  // Called once by the window's constructor, before FormCreate; area is the widget the 3D view
  // occupies (GLSceneViewer). The document outlives the preview.
  virtual void Attach(TEditorDocument& /*document*/, QWidget* /*area*/, TPreviewPanel /*panel*/) {}

  // Start-up: hides the head-up sprite.
  virtual void HideHUD() {}
  // After New and Load: loads the current model's mesh (once per project), the skin lists,
  // textures, first camera preset.
  virtual void SetupPreview() {}
  // Shows the model's default position through the panel.
  virtual void UpdateCaption() {}
  // Dresses the section actors with the chosen skin, team and face.
  virtual void Draw3D() {}
  // A project was opened or closed: the frame rate shown starts again from this project's
  // frames.
  virtual void ResetFrameCounter() {}
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

  // Camera presets: the one chosen in the document.
  virtual void PresetsDblClick() {}
  virtual void PresetNewClick() {}
  virtual void PresetRemoveClick() {}
  virtual void PresetRenameClick() {}
  virtual void PresetSetClick() {}

  // The position of the model in the preview; false when there is none to save.
  virtual bool ModelPosition(TModelPosition& /*position*/) const { return false; }

  // Help > OpenGL Information.
  virtual void ShowOpenGLInformation() {}
};
