#pragma once
// What the preview panel offers and what is chosen there: the project's skins, the teams and
// faces of the chosen skin, the masking check box, the step sizes of the position keys and the
// camera preset chosen in the list. Kept apart from the widgets that show them, so the window
// and the preview read the same choices, and the document keeps them right as the tree changes.
#include <string>
#include <vector>

#include "preview/SectionTextures.h"

class TSkinNode;
class TSkinTree;

// The preview's view of a skin node (none for null); its textures are borrowed.
TPreviewSkin PreviewSkinOf(const TSkinNode* skin);

struct TPreviewChoices {
  // Texts in tree order; the chosen item of each, -1 for none.
  std::vector<std::string> Skins, Teams, Faces;
  int Skin = -1, Team = -1, Face = -1;
  bool Masking = true;
  int Increments = 2;  // "Big"
  int Preset = -1;     // row of the current model's presets

  // Lists the tree's skins and chooses the first one with its first team and face.
  void Load(const TSkinTree& tree);
  // Lists the skins again and chooses again the skin chosen before (none when it has left the
  // tree), whatever its text has become; its teams and faces are chosen again by their texts.
  void Refresh(const TSkinTree& tree);
  // Chooses nothing from nothing: the tree the lists came from is going away.
  void Forget();
  // Chooses a skin (-1 for none) and lists its teams and faces, the first ones chosen.
  void ChooseSkin(const TSkinTree& tree, int index);
  // The chosen skin's node; null when none is chosen or it has left the tree.
  TSkinNode* ChosenSkin(const TSkinTree& tree) const;
  std::string SkinText() const { return TextOf(Skins, Skin); }
  std::string TeamText() const { return TextOf(Teams, Team); }
  std::string FaceText() const { return TextOf(Faces, Face); }

 private:
  static std::string TextOf(const std::vector<std::string>& items, int index);
  // The chosen skin itself, so that a rename keeps it chosen. Only compared with the tree's
  // nodes, never followed: it may have been deleted.
  const TSkinNode* FSkinNode = nullptr;
};
