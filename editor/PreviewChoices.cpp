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

namespace {
// The position of skin among the tree's skins; -1 when it is not there.
int IndexOfSkin(const TSkinTree& tree, const TSkinNode* skin) {
  if (!skin || !tree.Root()) return -1;
  const auto& skins = tree.Root()->Children();
  for (size_t i = 0; i < skins.size(); ++i)
    if (skins[i].get() == skin) return static_cast<int>(i);
  return -1;
}
}  // namespace

TSkinNode* TPreviewChoices::ChosenSkin(const TSkinTree& tree) const {
  const int index = Skin < 0 ? -1 : IndexOfSkin(tree, FSkinNode);
  return index < 0 ? nullptr : tree.Root()->Child(static_cast<size_t>(index));
}

void TPreviewChoices::ChooseSkin(const TSkinTree& tree, int index) {
  Skin = index >= 0 && static_cast<size_t>(index) < Skins.size() ? index : -1;
  // Skins lists the tree's skins in order.
  FSkinNode = Skin >= 0 && tree.Root() && static_cast<size_t>(Skin) < tree.Root()->Count()
                  ? tree.Root()->Child(static_cast<size_t>(Skin))
                  : nullptr;
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
  const TSkinNode* skin = Skin < 0 ? nullptr : FSkinNode;
  const std::string team = TeamText(), face = FaceText();
  Load(tree);
  ChooseSkin(tree, IndexOfSkin(tree, skin));
  Team = IndexOfItem(Teams, team);
  Face = IndexOfItem(Faces, face);
}

void TPreviewChoices::Forget() {
  Skins.clear();
  Teams.clear();
  Faces.clear();
  Skin = Team = Face = -1;
  FSkinNode = nullptr;
}
