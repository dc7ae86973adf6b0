#pragma once
// The preview's scene (GLScene1): the head-up sprite for the talk texture, the axes cube, the
// Player with one actor per texture section, the camera's target and the camera; and what the
// preview's controls do to it. Qt-free: the window hands it input and a viewer draws it.
#include <array>
#include <memory>

#include "model/ModelCatalogue.h"
#include "model/crvn_struc.h"
#include "preview/PreviewControls.h"
#include "preview/SectionMesh.h"
#include "preview/SectionTextures.h"
#include "scene/GLObjects.h"
#include "scene/GLVectorFileObjects.h"
#include "scene/SceneGraph.h"

class TPreviewScene {
 public:
  TPreviewScene();
  ~TPreviewScene();
  TPreviewScene(const TPreviewScene&) = delete;
  TPreviewScene& operator=(const TPreviewScene&) = delete;

  TGLScene GLScene1;
  THUDSprite* HUD = nullptr;
  TDummyCube* DummyCubeVisible = nullptr;
  TActor* Player = nullptr;
  std::array<TActor*, MaxModelSections> Actors{};
  TDummyCube* DummyCubeTarget = nullptr;
  TGLCamera* GLCamera = nullptr;

  // Position (0, 0, 0), no rotation, scale 1, hidden.
  void ResetPlayer(TActor* actor);
  // The Player's default position: scale, position (the model's offsets) and angles.
  TModelPosition PlayerPosition() const;
  void SetPlayerPosition(const TModelPosition& position);

  // A typed character with the steps of the "Increments used" item; true when the Player's
  // position changed (the status texts must follow).
  bool KeyPress(char key, int increments);
  // A drag of (dx, dy) pixels (last position minus the new one) with these buttons and keys.
  void MouseDrag(const TMouseState& state, int dx, int dy);
  void MouseWheel(int wheelDelta);

  // The mesh cut into the section actors (an empty mesh empties them).
  void BuildMesh(const TObjeto3D& mesh);
  // Dresses actor n with slot n: faces, texture, masking; masked actors are drawn after the
  // others. The head-up sprite shows the talk slot's picture, or hides.
  // A picture the actor already shows is not handed over (and uploaded) again.
  void ApplySlots(const TModelo& model, const TSlotChoices& choices, const TSlotPictures& pictures, bool meshHasNormals,
                  bool maskingEnabled);
  // Index of actor n among the Player's children (drawing order).
  int DrawingIndex(int slot) const { return Actors[static_cast<size_t>(slot)]->Index(); }

  void ApplyPreset(const TCameraPreset& preset);
  TAffineVector CameraPosition() const { return GLCamera->Position().AsAffineVector(); }
  TAffineVector TargetPosition() const { return DummyCubeTarget->Position().AsAffineVector(); }

 private:
  // The pictures the actors' and the sprite's textures were given last.
  std::array<std::shared_ptr<const TBitmap>, MaxModelSections> FShown;
  std::shared_ptr<const TBitmap> FHUDShown;
};
