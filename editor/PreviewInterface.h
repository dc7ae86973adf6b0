#pragma once
// The 3D preview, an observer of the editor document. It reads the project, the chosen skin,
// team and face and the camera presets from the document and writes its preset edits back
// through it. It decides its own redraws: another project loads its model (ProjectOpened), and
// each notice that changes what the model wears - another project, the choices, textures,
// palettes - dresses it once (Draw3D), however many of those the notice carries. The window
// hands it only the input meant for it: the mouse over the viewer, keys, the wheel, the preset
// pop-up and the refresh button.
//
// TPreview itself observes the document but draws nothing: its drawing steps do nothing, so the
// editor runs before the 3D viewer exists. The real preview derives from it.
#include <Qt>
#include <array>
#include <functional>
#include <string>

#include "editor/EditorDocument.h"
#include "model/ModelCatalogue.h"  // TModelPosition

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
  // occupies (GLSceneViewer). The preview observes document from then on.
  void Attach(TEditorDocument& document, QWidget* area, TPreviewPanel panel);

  // Start-up: hides the head-up sprite.
  virtual void HideHUD() {}
  // Shows the model's default position through the panel.
  virtual void UpdateCaption() {}
  // Dresses the section actors with the chosen skin, team and face.
  virtual void Draw3D() {}
  // The project was closed: the frame rate shown starts again from the next project's frames.
  virtual void ResetFrameCounter() {}
  // The refresh button: the model dressed again.
  void RefreshClick() { Redraw(); }

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

 protected:
  // The view inside area (see Attach).
  virtual void AttachView(QWidget* /*area*/, TPreviewPanel /*panel*/) {}
  // Another project: its model's mesh, position and first camera preset; Draw3D follows.
  virtual void ProjectOpened() {}
  // Null before Attach.
  TEditorDocument* Document() const { return FDocument; }

 private:
  void DocumentChanged(unsigned changes);
  void Redraw();
  TEditorDocument* FDocument = nullptr;
  TEditorDocument::TSubscription FSubscription;
};
