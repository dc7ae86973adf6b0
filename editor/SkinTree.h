#pragma once
// The project's content as a plain tree, without widgets: the root (level 0), skins (1),
// the model's sections in each skin (2) and the textures of each section (3). The window's
// tree view only shows this model; every command works on it, so it is tested without a display.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/crvn_struc.h"

// A texture as it is now: a number no other node of this run has, and how many times its pixels
// changed. Work done on copies of the pixels names the texture by it; its result holds only while
// the texture's stamp is the same.
struct TTextureStamp {
  uint64_t Serial = 0;
  uint64_t Changes = 0;
  bool operator==(const TTextureStamp&) const = default;
};

class TSkinNode {
 public:
  TSkinNode(std::string text, TSkinNode* parent);
  TSkinNode(const TSkinNode&) = delete;
  TSkinNode& operator=(const TSkinNode&) = delete;

  std::string Text;
  // Section nodes: the model section's number. The part itself is looked up in the current
  // model when needed, so a catalogue reload that replaces the model's parts leaves no node
  // pointing at a freed part.
  int SectionNumber = 0;
  // Texture nodes: the texture's data, owned by the node.
  std::unique_ptr<TObjetoTextura> Texture;
  bool Expanded = false;

  TSkinNode* Parent() const { return FParent; }
  int Level() const;
  size_t Count() const { return FChildren.size(); }
  TSkinNode* Child(size_t i) const { return FChildren.at(i).get(); }
  const std::vector<std::unique_ptr<TSkinNode>>& Children() const { return FChildren; }
  TSkinNode* AddChild(std::string text);
  // Removes a direct child with everything below it.
  void DeleteChild(TSkinNode* child);
  // Sorts the children of every node below (and of) this one with the tree's order.
  void SortRecursive();

  // Texture nodes: whoever changes the texture's pixels (paints, undoes, reverts, reads the file
  // again, resamples, puts another texture in the node) says so, or its old palette would stay.
  TTextureStamp Stamp() const { return {FSerial, FPixelChanges}; }
  void PixelsChanged() { ++FPixelChanges; }

 private:
  TSkinNode* FParent;
  uint64_t FSerial;
  uint64_t FPixelChanges = 0;
  std::vector<std::unique_ptr<TSkinNode>> FChildren;
};

// The tree's order: two section nodes compare by section number, anything else by text,
// byte by byte (so "< Default >" < "<Blue Team>" < ... < "<Red Team>" < faces). <0, 0, >0.
int ArbolTexturasCompare(const TSkinNode& a, const TSkinNode& b);

// The first child of node whose text equals text exactly; nullptr when node is null or none does.
TSkinNode* FindChildByText(const TSkinNode* node, const std::string& text);
// The first child whose skin code (SplitSkinText) equals code.
TSkinNode* FindChildByCode(const TSkinNode* node, const std::string& code);

class TSkinTree {
 public:
  TSkinTree() = default;
  TSkinTree(const TSkinTree&) = delete;
  TSkinTree& operator=(const TSkinTree&) = delete;
  TSkinTree(TSkinTree&&) = default;
  TSkinTree& operator=(TSkinTree&&) = default;

  TSkinNode* Root() const { return FRoot.get(); }
  // Empties the tree and adds a new root.
  TSkinNode* SetRoot(std::string text);
  // Frees every texture with its data and palettes and removes all nodes.
  void Clear();
  bool Empty() const { return !FRoot; }

  // Every node in tree order (root first, then depth first).
  std::vector<TSkinNode*> Nodes() const;
  std::vector<TSkinNode*> TextureNodes() const;
  void Sort();

  // Every texture's pixels changed (a tree read from files).
  void MarkTexturesChanged();

  // The palettes in use, each with the stamps of the textures it was built over, in group order;
  // textures hold copies of these handles.
  const std::vector<HPALETTE>& GroupPalettes() const { return FGroupPalettes; }
  // The textures of nodes hold one palette that was built over exactly them, as they are now.
  bool PaletteCurrent(const std::vector<TSkinNode*>& nodes) const;
  // Some texture has no palette, or the textures holding a palette are not exactly those it was
  // built over as they are now (one added, removed, moved, or its pixels changed): whoever shows
  // or writes the palettes must build those again first (StalePaletteGroups, PaletteGroups.h).
  bool PalettesStale() const;
  // A palette given to the textures of builtFrom; those no texture holds any more are released.
  void RecordPalette(HPALETTE palette, std::vector<TTextureStamp> builtFrom);
  void ReleaseUnusedPalettes();

 private:
  std::unique_ptr<TSkinNode> FRoot;
  std::vector<HPALETTE> FGroupPalettes;
  std::vector<std::vector<TTextureStamp>> FBuiltFrom;  // of each group palette
};

// ---- Commands on the model. None of them shows anything; the window does. ----

// The model's part of a section node (nullptr when the model has no such section).
TModeloPart* PartOfSection(const TSkinNode* section, const TModelo& model);
// The section's name in the model ("" when missing).
std::string SectionName(const TModelo& model, int sectionNumber);

// Adds a skin under the root with one section node per model section. The code is sanitized;
// an empty code raises EConvertError.
TSkinNode* AddSkin(TSkinTree& tree, const std::string& description, const std::string& code, const TModelo& model);
// Adds the section nodes that a skin lacks, in the model's order.
void EnsureSectionNodes(TSkinNode* skin, const TModelo& model);
// The first skin other than `except` whose code equals code, letter case ignored: the project
// file keys skins by code without case, so two such skins would merge when the file is read
// again. nullptr when none.
TSkinNode* FindSkinByCode(const TSkinTree& tree, const std::string& code, const TSkinNode* except = nullptr);
// Whether another skin than `except` has this code (FindSkinByCode).
bool SkinCodeInUse(const TSkinTree& tree, const std::string& code, const TSkinNode* except = nullptr);
// New description and code of a skin (textures are not touched).
void EditSkin(TSkinNode* skin, const std::string& description, const std::string& code);
void DeleteSkin(TSkinNode* skin);

// The New/Edit Texture dialog's choices for a section ("< Default >", the teams of a TEAM
// section, the faces of the skin for a FACE section), without those already used in the
// section (except by `edited`, the texture being edited).
struct TTextureChoices {
  std::vector<std::string> Items;
  bool Editable = false;  // a FACE section lets the user type a new face name
  std::string Preselect;
};
TTextureChoices TextureChoicesFor(const TSkinNode* section, const TSkinNode* edited, const TModelo& model);
// The label a texture has among those choices.
std::string TextureChoiceLabel(const TObjetoTextura& t);
// The identifier and description a choice stands for.
void ChoiceToIdentifier(const std::string& choice, std::string& identifier, std::string& description);

// Adds a texture node under a section; returns it.
TSkinNode* AddTexture(TSkinNode* section, std::unique_ptr<TObjetoTextura> texture, std::string text);
// The texture that a choice would collide with: one of that kind already in the section
// (other than `edited`), or, when `edited` is a face renamed to another face (which renames
// the face in every section of the skin), one of the new kind in another section that holds
// the old face. Two textures of one kind in a section would share one section of the project
// file, and the second would replace the first when the project is read again. nullptr: none.
TSkinNode* TextureKindConflict(const TSkinNode* section, const TSkinNode* edited, const std::string& choice);
// Edit Texture: gives every texture of the skin that has the edited texture's identifier the
// new kind (identifier, description and node text). Returns false when nothing changed.
// A choice that TextureKindConflict refuses raises EInvalidOperation and changes nothing.
bool ChangeTextureKind(TSkinNode* texture, const std::string& choice);
void DeleteTexture(TSkinNode* texture);

// Pop-up menu items by the tree level they serve.
enum TPopupItem {
  piNewGroup,
  piEditGroup,
  piDeleteGroup,
  piAddTexture,
  piEditTextureDescription,
  piDeleteTexture,
  piCount
};
int PopupItemLevel(TPopupItem item);
// Whether an item shows for the node under the mouse (none when no node is there).
bool PopupItemVisible(TPopupItem item, const TSkinNode* node);
