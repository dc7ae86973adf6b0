#pragma once
// TEditorDocument: the open project apart from any widget - the editor state (catalogue,
// current model, project file, modified mark), the skin tree with its textures and palette
// groups - and the commands that change it. Each command checks its input, applies it, marks
// the project modified, sorts the tree and builds the palettes again as needed, tells its
// observers what changed and returns what it did. It shows nothing: a refusal comes back as a
// message for the window to show; boxes due while a command reads files (a texture that does
// not fit its section, an unreadable import file) go through ShowBox.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "editor/EditorState.h"
#include "editor/PaletteGroups.h"
#include "editor/PreviewChoices.h"
#include "editor/SkinTree.h"
#include "editor/TextureFiles.h"

// What a command changed, as bits.
enum TDocumentChange : unsigned {
  dcTree = 1,       // nodes added, removed, renamed or re-ordered
  dcSelection = 2,  // the skins, teams or faces the preview chooses from, or the choices
  dcTextures = 4,   // textures added, removed or read again
  dcPalettes = 8,   // palette groups built again
  dcModified = 16,  // the project's modified mark was set
  dcPresets = 32,   // the current model's camera presets, or the one chosen among them
};

struct TCommandResult {
  bool Done = false;
  std::string Caption;  // of the box to show ("ERROR"); empty when there is nothing to show
  std::string Message;
  unsigned Changes = 0;       // TDocumentChange bits
  TSkinNode* Node = nullptr;  // the skin or texture added or edited
};

class TEditorDocument {
 public:
  // changes: TDocumentChange bits; select: the node the tree view should select (null keeps
  // the view's selection).
  using TObserver = std::function<void(unsigned changes, TSkinNode* select)>;

  TEditorState& State() { return FState; }
  const TEditorState& State() const { return FState; }
  TSkinTree& Tree() { return FTree; }
  const TSkinTree& Tree() const { return FTree; }

  void AddObserver(TObserver observer) { FObservers.push_back(std::move(observer)); }
  TShowBox ShowBox;

  // The project's "Palettes generation" option, used whenever the palettes are built again.
  TPaletteMode PaletteMode() const { return FPaletteMode; }
  void SetPaletteMode(TPaletteMode mode) { FPaletteMode = mode; }
  void BuildPalettes();
  // The user chose the option: the project changed and its palettes are built again.
  TCommandResult ChoosePaletteMode(TPaletteMode mode);

  // ---- skins (the New/Edit Skin dialog gives a description and a typed code)
  TCommandResult NewSkin(const std::string& description, const std::string& typedCode);
  // typedCode: the code field when the user changed it; without it the skin keeps its code
  // (the field takes letters only and cannot show every code).
  TCommandResult EditSkin(TSkinNode* skin, const std::string& description, const std::optional<std::string>& typedCode);
  TCommandResult DeleteSkin(TSkinNode* skin);

  // ---- textures (the New/Edit Texture dialog gives a choice: "< Default >", a team or a face)
  // The section a texture command on node works in: node itself for a new texture, the
  // texture's section for an edit; null when node is not of that level or the model lacks the
  // section.
  TSkinNode* TextureSection(TSkinNode* node, bool newTexture) const;
  TTextureChoices TextureChoices(TSkinNode* section, TSkinNode* edited) const;
  TCommandResult AddTexture(TSkinNode* section, const std::string& choice, const std::string& fileName);
  TCommandResult ChangeTexture(TSkinNode* texture, const std::string& choice);
  TCommandResult DeleteTexture(TSkinNode* texture);
  // Files named by the import convention. What was imported before a file failed stays, gets
  // its palettes and is announced; the failure goes to the caller.
  TCommandResult ImportTextures(const std::vector<std::string>& files);

  // ---- the preview panel: the window shows these choices, the preview dresses the model with
  // them and moves the camera to the presets. Choices are told as dcSelection (a command that
  // tells dcSelection has listed them again first, keeping each choice by its text), presets
  // as dcPresets.
  const TPreviewChoices& Choices() const { return FChoices; }
  // A project's set-up: the first skin, with its first team and face.
  void LoadSkinChoices();
  void RefreshSkinChoices();
  void ChooseSkin(int index);  // lists that skin's teams and faces, the first ones chosen
  void ChooseTeam(int index);
  void ChooseFace(int index);
  void ChooseMasking(bool enabled);
  void ChooseIncrements(int index);  // the position keys' step sizes; nothing to redraw
  // The current model's camera presets; the edits act on the chosen one.
  void ChoosePreset(int index);
  // The presets were read again: the chosen row stays while it exists.
  void PresetsReloaded();
  bool CanRemovePreset() const;
  void AddPreset(const std::string& name, const TAffineVector& camera, const TAffineVector& target);
  bool RemovePreset();  // the first preset is chosen after
  void RenamePreset(const std::string& name);
  void SetPreset(const TAffineVector& camera, const TAffineVector& target);
  // The model whose mesh the preview holds (its Key), and whether it is loaded: opening a
  // project clears the mark, so the preview's next set-up loads the mesh again.
  const std::string& ModelKey() const { return FModelKey; }
  void SetModelKey(const std::string& key) { FModelKey = key; }
  bool PreviewModelLoaded() const { return FPreviewModelLoaded; }
  void SetPreviewModelLoaded(bool loaded) { FPreviewModelLoaded = loaded; }

 private:
  TCommandResult Refuse(const std::string& message) const;
  TCommandResult CheckTextureChoice(const TSkinNode* section, const TSkinNode* edited, const std::string& choice) const;
  TCommandResult Finish(unsigned changes, TSkinNode* node, TSkinNode* select = nullptr);
  void Notify(unsigned changes, TSkinNode* select);

  TEditorState FState;
  TSkinTree FTree;
  TPaletteMode FPaletteMode = pmPerTexture;
  std::vector<TObserver> FObservers;
  TPreviewChoices FChoices;
  std::string FModelKey;
  bool FPreviewModelLoaded = false;
};
