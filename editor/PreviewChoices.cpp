#include "editor/PreviewChoices.h"

#include "editor/SkinTree.h"

TPreviewSkin PreviewSkinOf(const TSkinNode* skin) {
  TPreviewSkin view;
  if (!skin) return view;
  view.Text = skin->Text;
  for (const auto& section : skin->Children()) {
    TPreviewSection s;
    s.SectionNumber = section->SectionNumber;
    for (const auto& texture : section->Children())
      if (texture->Texture) s.Textures.push_back({texture->Text, texture->Texture.get()});
    view.Sections.push_back(std::move(s));
  }
  return view;
}

std::string TPreviewChoices::TextOf(const std::vector<std::string>& items, int index) {
  return index >= 0 && static_cast<size_t>(index) < items.size() ? items[static_cast<size_t>(index)] : "";
}

TSkinNode* TPreviewChoices::ChosenSkin(const TSkinTree& tree) const {
  if (Skin < 0 || !tree.Root()) return nullptr;
  // Skin texts are unique (each holds its skin's code).
  const std::string text = SkinText();
  for (const auto& skin : tree.Root()->Children())
    if (skin->Text == text) return skin.get();
  return nullptr;
}

void TPreviewChoices::ChooseSkin(const TSkinTree& tree, int index) {
  Skin = index >= 0 && static_cast<size_t>(index) < Skins.size() ? index : -1;
  const TSkinNode* skin = ChosenSkin(tree);
  const TPreviewSkin view = PreviewSkinOf(skin);
  Teams = TeamItems(skin ? &view : nullptr);
  Faces = FaceItems(skin ? &view : nullptr);
  Team = Teams.empty() ? -1 : 0;
  Face = Faces.empty() ? -1 : 0;
}

void TPreviewChoices::Load(const TSkinTree& tree) {
  Skins.clear();
  if (tree.Root())
    for (const auto& skin : tree.Root()->Children()) Skins.push_back(skin->Text);
  ChooseSkin(tree, 0);
}

void TPreviewChoices::Refresh(const TSkinTree& tree) {
  const std::string skin = SkinText(), team = TeamText(), face = FaceText();
  Load(tree);
  ChooseSkin(tree, IndexOfItem(Skins, skin));
  Team = IndexOfItem(Teams, team);
  Face = IndexOfItem(Faces, face);
}
