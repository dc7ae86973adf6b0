#include "editor/SkinTree.h"

#include <algorithm>
#include <atomic>
#include <map>

#include "editor/SkinNaming.h"
#include "platform/Exceptions.h"
#include "platform/StrUtils.h"

namespace {
// Never reused, so a texture freed and another made at its address are told apart.
std::atomic<uint64_t> gNextSerial{1};
}  // namespace

TSkinNode::TSkinNode(std::string text, TSkinNode* parent)
    : Text(std::move(text)), FParent(parent), FSerial(gNextSerial.fetch_add(1, std::memory_order_relaxed)) {}

int TSkinNode::Level() const {
  int level = 0;
  for (const TSkinNode* p = FParent; p; p = p->FParent) ++level;
  return level;
}

TSkinNode* TSkinNode::AddChild(std::string text) {
  FChildren.push_back(std::make_unique<TSkinNode>(std::move(text), this));
  return FChildren.back().get();
}

void TSkinNode::DeleteChild(TSkinNode* child) {
  auto it = std::find_if(FChildren.begin(), FChildren.end(), [&](const auto& c) { return c.get() == child; });
  if (it == FChildren.end()) throw EListError("Tree node is not a child of this node");
  FChildren.erase(it);
}

void TSkinNode::SortRecursive() {
  std::stable_sort(FChildren.begin(), FChildren.end(),
                   [](const auto& a, const auto& b) { return ArbolTexturasCompare(*a, *b) < 0; });
  for (auto& c : FChildren) c->SortRecursive();
}

int ArbolTexturasCompare(const TSkinNode& a, const TSkinNode& b) {
  if (a.Level() == 2 && b.Level() == 2)
    return (a.SectionNumber > b.SectionNumber) - (a.SectionNumber < b.SectionNumber);
  // std::string compares as unsigned bytes: the ordinal order of the node texts.
  int c = a.Text.compare(b.Text);
  return (c > 0) - (c < 0);
}

TSkinNode* FindChildByText(const TSkinNode* node, const std::string& text) {
  if (!node) return nullptr;
  for (const auto& c : node->Children())
    if (c->Text == text) return c.get();
  return nullptr;
}

TSkinNode* FindChildByCode(const TSkinNode* node, const std::string& code) {
  if (!node) return nullptr;
  for (const auto& c : node->Children())
    if (SkinCodeOf(c->Text) == code) return c.get();
  return nullptr;
}

// ---- TSkinTree ----

TSkinNode* TSkinTree::SetRoot(std::string text) {
  Clear();
  FRoot = std::make_unique<TSkinNode>(std::move(text), nullptr);
  FRoot->Expanded = true;
  return FRoot.get();
}

void TSkinTree::Clear() {
  // Dropping the nodes frees every texture's bitmaps and its palette reference; the build's
  // own references go with the group list, so each palette is released exactly once.
  FRoot.reset();
  FGroupPalettes.clear();
  FBuiltFrom.clear();
}

std::vector<TSkinNode*> TSkinTree::Nodes() const {
  std::vector<TSkinNode*> out;
  if (!FRoot) return out;
  std::vector<TSkinNode*> stack{FRoot.get()};
  while (!stack.empty()) {
    TSkinNode* n = stack.back();
    stack.pop_back();
    out.push_back(n);
    for (size_t i = n->Count(); i-- > 0;) stack.push_back(n->Child(i));
  }
  return out;
}

std::vector<TSkinNode*> TSkinTree::TextureNodes() const {
  std::vector<TSkinNode*> out;
  for (TSkinNode* n : Nodes())
    if (n->Level() == 3 && n->Texture) out.push_back(n);
  return out;
}

void TSkinTree::Sort() {
  if (FRoot) FRoot->SortRecursive();
}

void TSkinTree::MarkTexturesChanged() {
  for (TSkinNode* n : TextureNodes()) n->PixelsChanged();
}

bool TSkinTree::PaletteCurrent(const std::vector<TSkinNode*>& nodes) const {
  if (nodes.empty()) return true;
  const HPALETTE& palette = nodes.front()->Texture->Palette;
  const auto p = std::find(FGroupPalettes.begin(), FGroupPalettes.end(), palette);
  if (!palette || p == FGroupPalettes.end()) return false;
  const std::vector<TTextureStamp>& builtFrom = FBuiltFrom[static_cast<size_t>(p - FGroupPalettes.begin())];
  if (builtFrom.size() != nodes.size()) return false;
  for (size_t i = 0; i < nodes.size(); ++i)
    if (nodes[i]->Texture->Palette != palette || nodes[i]->Stamp() != builtFrom[i]) return false;
  return true;
}

bool TSkinTree::PalettesStale() const {
  // The textures holding each palette, in tree order.
  std::map<const TPaletteData*, std::vector<TSkinNode*>> holders;
  for (TSkinNode* n : TextureNodes()) {
    if (!n->Texture->Bitmap) continue;
    if (!n->Texture->Palette) return true;
    holders[n->Texture->Palette.get()].push_back(n);
  }
  return std::any_of(holders.begin(), holders.end(), [this](const auto& h) { return !PaletteCurrent(h.second); });
}

void TSkinTree::RecordPalette(HPALETTE palette, std::vector<TTextureStamp> builtFrom) {
  FGroupPalettes.push_back(std::move(palette));
  FBuiltFrom.push_back(std::move(builtFrom));
}

void TSkinTree::ReleaseUnusedPalettes() {
  std::vector<const TPaletteData*> used;
  for (TSkinNode* n : TextureNodes()) used.push_back(n->Texture->Palette.get());
  for (size_t i = FGroupPalettes.size(); i-- > 0;)
    if (std::find(used.begin(), used.end(), FGroupPalettes[i].get()) == used.end()) {
      FGroupPalettes.erase(FGroupPalettes.begin() + static_cast<std::ptrdiff_t>(i));
      FBuiltFrom.erase(FBuiltFrom.begin() + static_cast<std::ptrdiff_t>(i));
    }
}

// ---- Commands ----

TModeloPart* PartOfSection(const TSkinNode* section, const TModelo& model) {
  if (!section) return nullptr;
  int i = model.PartIndexOfSection(section->SectionNumber);
  return i < 0 ? nullptr : model.Part(i);
}

std::string SectionName(const TModelo& model, int sectionNumber) {
  int i = model.PartIndexOfSection(sectionNumber);
  return i < 0 ? std::string() : model.PartName(i);
}

void EnsureSectionNodes(TSkinNode* skin, const TModelo& model) {
  for (int i = 0; i < model.PartCount(); ++i) {
    int number = static_cast<int>(model.Part(i)->Section());
    bool present = false;
    for (const auto& c : skin->Children())
      if (c->SectionNumber == number) present = true;
    if (present) continue;
    TSkinNode* s = skin->AddChild(model.PartName(i));
    s->SectionNumber = number;
  }
}

TSkinNode* AddSkin(TSkinTree& tree, const std::string& description, const std::string& code, const TModelo& model) {
  if (!tree.Root()) throw EInvalidOperation("No project is open");
  std::string c = SanitizeCode(code);
  if (c.empty()) throw EConvertError("The skin code cannot be empty");
  TSkinNode* skin = tree.Root()->AddChild(SkinNodeText(description, c));
  EnsureSectionNodes(skin, model);
  skin->Expanded = true;
  return skin;
}

TSkinNode* FindSkinByCode(const TSkinTree& tree, const std::string& code, const TSkinNode* except) {
  if (!tree.Root()) return nullptr;
  for (const auto& skin : tree.Root()->Children())
    if (skin.get() != except && SameText(SkinCodeOf(skin->Text), code)) return skin.get();
  return nullptr;
}

bool SkinCodeInUse(const TSkinTree& tree, const std::string& code, const TSkinNode* except) {
  return FindSkinByCode(tree, code, except) != nullptr;
}

void EditSkin(TSkinNode* skin, const std::string& description, const std::string& code) {
  std::string c = SanitizeCode(code);
  if (c.empty()) throw EConvertError("The skin code cannot be empty");
  skin->Text = SkinNodeText(description, c);
}

void DeleteSkin(TSkinNode* skin) { skin->Parent()->DeleteChild(skin); }

std::string TextureChoiceLabel(const TObjetoTextura& t) {
  if (t.Identifier.empty()) return kDefaultTextureText;
  if (t.Description.empty()) return TeamLabel(t.Identifier);
  return t.Description;
}

TTextureChoices TextureChoicesFor(const TSkinNode* section, const TSkinNode* edited, const TModelo& model) {
  TTextureChoices r;
  r.Items.push_back(kDefaultTextureText);
  const TModeloPart* part = PartOfSection(section, model);
  uint32_t flags = part ? part->Flags : 0;
  if (flags & mpTEAM) {
    for (const char* t : {"<Blue Team>", "<Gold Team>", "<Green Team>", "<Red Team>"}) r.Items.push_back(t);
  }
  if (flags & mpFACE) {
    for (const auto& s : section->Parent()->Children())
      for (const auto& t : s->Children()) {
        const std::string& d = t->Texture ? t->Texture->Description : std::string();
        if (!d.empty() && std::find(r.Items.begin(), r.Items.end(), d) == r.Items.end()) r.Items.push_back(d);
      }
    r.Editable = true;
  }
  for (const auto& t : section->Children()) {
    if (t.get() == edited || !t->Texture) continue;
    std::string label = TextureChoiceLabel(*t->Texture);
    r.Items.erase(std::remove(r.Items.begin(), r.Items.end(), label), r.Items.end());
  }
  if (edited && edited->Texture)
    r.Preselect = TextureChoiceLabel(*edited->Texture);
  else if (!r.Items.empty())
    r.Preselect = r.Items.front();
  return r;
}

void ChoiceToIdentifier(const std::string& choice, std::string& identifier, std::string& description) {
  description.clear();
  if (choice == kDefaultTextureText) {
    identifier.clear();
    return;
  }
  identifier = TeamIdentifier(choice);
  if (!identifier.empty()) return;
  identifier = StripSpacesLower(choice);
  description = choice;
}

TSkinNode* AddTexture(TSkinNode* section, std::unique_ptr<TObjetoTextura> texture, std::string text) {
  TSkinNode* n = section->AddChild(std::move(text));
  n->Texture = std::move(texture);
  section->Expanded = true;
  return n;
}

namespace {

// A face renamed to another face is renamed in every section of the skin, so the skin's face
// stays one face. Defaults and teams are per section: turning one section's default into a
// team texture must not turn the defaults of all other sections too.
bool RenamesAcrossSkin(const std::string& oldIdentifier, const std::string& newDescription) {
  return !oldIdentifier.empty() && TeamLabel(oldIdentifier).empty() && !newDescription.empty();
}

TSkinNode* TextureOfKind(const TSkinNode* section, const std::string& identifier, const TSkinNode* except) {
  for (const auto& t : section->Children())
    if (t.get() != except && t->Texture && SameText(t->Texture->Identifier, identifier)) return t.get();
  return nullptr;
}

}  // namespace

TSkinNode* TextureKindConflict(const TSkinNode* section, const TSkinNode* edited, const std::string& choice) {
  std::string id, desc;
  ChoiceToIdentifier(choice, id, desc);
  if (TSkinNode* same = TextureOfKind(section, id, edited)) return same;
  if (!edited || !edited->Texture) return nullptr;
  const std::string& old = edited->Texture->Identifier;
  if (SameText(id, old) || !RenamesAcrossSkin(old, desc) || !section->Parent()) return nullptr;
  for (const auto& s : section->Parent()->Children()) {
    if (s.get() == section || !TextureOfKind(s.get(), old, nullptr)) continue;
    if (TSkinNode* clash = TextureOfKind(s.get(), id, nullptr)) return clash;
  }
  return nullptr;
}

bool ChangeTextureKind(TSkinNode* texture, const std::string& choice) {
  std::string id, desc;
  ChoiceToIdentifier(choice, id, desc);
  const std::string old = texture->Texture->Identifier;
  if (id == old) return false;
  if (TSkinNode* clash = TextureKindConflict(texture->Parent(), texture, choice))
    throw EInvalidOperation("The section \"" + clash->Parent()->Text + "\" already has the texture \"" + clash->Text +
                            "\".");
  std::string text = TextureNodeText(id, desc);
  auto apply = [&](TSkinNode* t) {
    t->Texture->Identifier = id;
    t->Texture->Description = desc;
    t->Text = text;
  };
  if (!RenamesAcrossSkin(old, desc)) {
    apply(texture);
    return true;
  }
  TSkinNode* skin = texture->Parent()->Parent();
  for (const auto& s : skin->Children())
    for (const auto& t : s->Children())
      if (t->Texture && t->Texture->Identifier == old) apply(t.get());
  return true;
}

void DeleteTexture(TSkinNode* texture) { texture->Parent()->DeleteChild(texture); }

int PopupItemLevel(TPopupItem item) {
  static const int kLevels[piCount] = {0, 1, 1, 2, 3, 3};
  return kLevels[item];
}

bool PopupItemVisible(TPopupItem item, const TSkinNode* node) { return node && node->Level() == PopupItemLevel(item); }
