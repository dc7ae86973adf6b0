#pragma once
// TEditorDocument: the open project apart from any widget - the editor state (catalogue,
// current model, project file, modified mark), the skin tree with its textures and palette
// groups - and the commands that change it. Each command checks its input, applies it, marks
// the project modified, sorts the tree and builds the palettes again as needed, tells its
// observers what changed and returns what it did. It shows nothing: a refusal comes back as a
// message for the window to show; boxes due while a command reads files (a texture that does
// not fit its section, an unreadable import file) go through ShowBox.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "editor/BackgroundJob.h"
#include "editor/EditorState.h"
#include "editor/ObserverList.h"
#include "editor/PaletteGroups.h"
#include "editor/ProjectFile.h"
#include "editor/PreviewChoices.h"
#include "editor/SkinTree.h"
#include "editor/TextureFiles.h"
#include "editor/TexturePainter.h"
#include "preview/SectionTextures.h"

// What a command changed, as bits.
enum TDocumentChange : unsigned {
  dcTree = 1,        // nodes added, removed, renamed or re-ordered
  dcSelection = 2,   // the skins, teams or faces the preview chooses from, or the choices
  dcTextures = 4,    // textures added, removed or read again
  dcPalettes = 8,    // palette groups built again
  dcModified = 16,   // the project's modified mark was set
  dcPresets = 32,    // the current model's camera presets, or the one chosen among them
  dcProject = 64,    // another project (new, loaded): its caption, options, mesh and choices
  dcFileName = 128,  // the project's file name: the caption
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
  using TObservers = TObserverList<unsigned, TSkinNode*>;
  using TObserver = std::function<void(unsigned changes, TSkinNode* select)>;
  using TSubscription = TObservers::TSubscription;

  // Read-only: the commands change the state and tell the observers.
  const TEditorState& State() const { return FState; }
  TSkinTree& Tree() { return FTree; }
  const TSkinTree& Tree() const { return FTree; }

  // The observer is told until the subscription goes.
  [[nodiscard]] TSubscription AddObserver(TObserver observer) { return FObservers.Add(std::move(observer)); }
  TShowBox ShowBox;

  // The project's "Palettes generation" option, used whenever the palettes are built again.
  TPaletteMode PaletteMode() const { return PaletteModeFromIndex(FOptions.ReducePalettes); }
  void SetPaletteMode(TPaletteMode mode) { FOptions.ReducePalettes = mode; }
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
  // What the status bar says for a selected node: a texture's file, a section's description.
  std::string NodeStatus(const TSkinNode* node) const;
  TCommandResult AddTexture(TSkinNode* section, const std::string& choice, const std::string& fileName);
  TCommandResult ChangeTexture(TSkinNode* texture, const std::string& choice);
  TCommandResult DeleteTexture(TSkinNode* texture);
  // Files named by the import convention. What was imported before a file failed stays, gets
  // its palettes and is announced; the failure goes to the caller.
  TCommandResult ImportTextures(const std::vector<std::string>& files);

  // ---- the project: new, load, save, save as, close, compile. The window asks its questions
  // (save first? which model? which file?) and hands the answers to these.
  bool ProjectOpen() const { return !FTree.Empty(); }
  // The project changed, or a texture was painted and not saved: closing, New and Load ask.
  bool NeedsSaving() const;
  // The window's caption for the open project.
  std::string Caption() const;
  const TProjectOptions& Options() const { return FOptions; }
  // Options ticked by the user (the palette option goes through ChoosePaletteMode).
  TCommandResult ChooseOptions(const TProjectOptions& options);
  // ---- the session: the catalogue and the game folder. Start reads both; a broken model
  // extension file does not stop it: what was read before it stays, and its failure comes back
  // as the message ("ERROR").
  TCommandResult Start();
  // Reads the catalogue again (the current model takes its entry's new settings), told as
  // dcPresets even when a file fails, which raises then.
  void ReloadCatalogue();
  // The model position shown by the preview, and the current model's camera presets, written
  // to its model extension file; the catalogue is read again. Refused without a current model.
  TCommandResult SaveModelPosition(const TModelPosition& position);

  // For tests and benchmarks: the document as they need it without the files New, Load and Start
  // read. What is given replaces what the document holds. A model opens a project made in memory
  // of the tree built so far through Tree(), told as a Load is; otherwise the caption and the tree are
  // told, so that views show a tree built through Tree().
  struct TSetUp {
    std::unique_ptr<TModelo> Model{};
    std::optional<std::string> ProjectFileName{};
    std::optional<bool> Modified{};
    std::optional<std::string> GameFolder{};
  };
  void SetUp(TSetUp setUp);
  TCommandResult SaveModelPresets();

  // A project opened (New, Load) is told as dcProject with all it replaces: its first skin
  // chosen with that skin's first team and face, and its model's first camera preset.
  // A new, empty project for the catalogue's model `model`, to be written as fileName by the
  // first save.
  TCommandResult NewProject(size_t model, const std::string& fileName);
  // Reads a whole project before anything of the open one changes: a file that is no project,
  // or names a model not installed, is refused and the open project stays. Texture files left
  // out come back as a "WARNING". progress: see LoadProjectFile.
  TCommandResult LoadProject(const std::string& fileName, const TLoadProgress& progress = {});
  // Writes the project file; painted textures are offered to askTexture first (askBitmapName:
  // see SaveProjectFile).
  TCommandResult SaveProject(const TAskSaveTexture& askTexture, const TAskBitmapName& askBitmapName);
  // The project under another name: the caption and the root node follow, then it is saved.
  TCommandResult SaveProjectAs(const std::string& fileName, const TAskSaveTexture& askTexture,
                               const TAskBitmapName& askBitmapName);
  // Frees the project's textures and palettes.
  void CloseProject();
  // The window is going away: the catalogue and the current model go, then the project.
  void EndSession();
  // The project as a texture package and its .int file beside the project file, copied into
  // the game folder when install is set; the box to show comes back (caption "ERROR" on failure).
  TCommandResult CompilePackage(bool install);

  // ---- texture files changed on disk. Reads them again (a deleted file is reported through
  // ShowBox, once) and builds the palettes again for the new pixels; done when any texture
  // changed. A file that cannot be read raises: the files read before it are announced first,
  // as the next run will not see them again.
  TCommandResult ReloadChangedTextures();
  // A reload runs (a call made meanwhile, from its box or the message pump, does nothing).
  bool Reloading() const { return FReloader.Running(); }

  // ---- the painter, on a texture node. A stroke is a press (BeginStroke), dabs and a release
  // (EndStroke); each dab recomputes the texture from its state before the stroke.
  bool Painting() const { return FStroke.Texture != nullptr; }
  // A stroke runs on this texture node.
  bool PaintingOn(const TSkinNode* texture) const;
  int StrokeDabs() const { return FStroke.Dabs; }
  // False (no stroke) for a texture that cannot be painted, or while a stroke runs.
  bool BeginStroke(TSkinNode* texture);
  // Dabs along the drag from the stroke's last position to texture pixel (x, y) (StrokeDrag);
  // changed receives the texture rectangles recomputed. False when the stroke cannot go on:
  // texture is not the stroke's (the selection moved) or its pixels were replaced under it; the
  // stroke is still running then, and EndStroke keeps what it painted. A call made while a dab
  // is applied does nothing.
  bool StrokeDab(TSkinNode* texture, int x, int y, const TBrush& brush, std::vector<TPixelRect>& changed);
  // The stroke's texture is marked painted (the project's own mark is not touched) and the
  // palettes are built again for it. Whatever stops a stroke (the release, the selection
  // leaving its texture, a lost mouse, a dialog) ends it here, or its paint could not be saved.
  TCommandResult EndStroke();
  // Palette groups of more than this many pixels in all get their palettes, and the preview its
  // pictures, on a thread of their own when a stroke ends: the window is not held while they are
  // built. The work gets copies of the pixels; a newer stroke's work replaces an older one's, which
  // is told to stop.
  static constexpr int64_t kPaletteWorkInline = 1024 * 1024;
  // Palettes of ended strokes are being built off the window's thread.
  bool PalettesPending() const { return FPaletteJob.Running(); }
  // Once they are ready: each palette goes to its group where the group still holds (the same
  // textures with the same pixels; the rest is dropped and those groups built again), told as
  // dcPalettes, and the preview's pictures wait in TakePreparedPictures. False while they are
  // still being built, when none are, and while a command runs (a box or dialog it shows runs
  // the event loop, and the tree may be half changed then): they wait until it is over.
  bool TakePalettes();
  // Waits for them and takes them, for whatever needs the palettes of the pixels as they are;
  // while a command runs, nothing is taken (as TakePalettes).
  void WaitForPalettes();
  // The preview pictures made with the palettes last taken (the preview takes them once).
  std::vector<TPreparedPicture> TakePreparedPictures() { return std::move(FPrepared); }
  // "Undo" swaps the texture with its state before the last stroke (again: redo).
  TCommandResult UndoStroke(TSkinNode* texture);
  // "Revert" reads the texture's file again, fitted to its section.
  TCommandResult RevertTexture(TSkinNode* texture);
  // "Save" writes the texture as a Windows bitmap; a file of another format is kept and the
  // texture saved as the bitmap askName chooses, which the project then stores (modified).
  TCommandResult SaveTexture(TSkinNode* texture, const TAskBitmapName& askName);

  // ---- the preview panel: the window shows these choices, the preview dresses the model with
  // them and moves the camera to the presets. Choices are told as dcSelection (a command that
  // tells dcSelection has listed them again first, keeping each choice by its text), presets
  // as dcPresets.
  const TPreviewChoices& Choices() const { return FChoices; }
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

 private:
  // Writes the current model's extension file through write, then reads the catalogue again;
  // refused while no installed model is current.
  TCommandResult SaveModelFile(const std::function<void(const TModelo& model)>& write);
  TCommandResult Refuse(const std::string& message) const;
  TCommandResult CheckTextureChoice(const TSkinNode* section, const TSkinNode* edited, const std::string& choice) const;
  TCommandResult Finish(unsigned changes, TSkinNode* node, TSkinNode* select = nullptr);
  void Notify(unsigned changes, TSkinNode* select);
  // The project just opened: its choices listed, the first of each chosen, and everything told.
  TCommandResult Opened();

  TEditorState FState;
  TSkinTree FTree;
  TProjectOptions FOptions;
  TTextureReloader FReloader;
  struct {
    TObjetoTextura* Texture = nullptr;  // painted by the stroke in progress
    TBitmap Mask;                       // its coverage
    TBrush Brush;                       // of its last dab
    TPixelPoint Last;                   // where its last dab was laid
    int Dabs = 0;
    bool Applying = false;
  } FStroke;
  // A command that may show a box, ask through a callback or pump messages runs: background work
  // waits until it is over.
  class TCommandScope;
  int FCommands = 0;
  bool CommandRunning() const;
  // Palettes off the window's thread: each built palette names the textures it was built over,
  // so it goes only where they still hold.
  struct TPaletteWork {
    std::vector<TBuiltPalette> Palettes;
    std::vector<TPreparedPicture> Pictures;
  };
  // Builds the stale groups' palettes: at once when they are small, else on the thread.
  void StartPaletteWork();
  // The job's result, waited for or only when ready, applied where it holds and told as
  // dcPalettes; true when there was one.
  bool ApplyJobResult(bool wait);
  TBackgroundJob<TPaletteWork> FPaletteJob;
  std::vector<TPreparedPicture> FPrepared;
  TObservers FObservers;
  TPreviewChoices FChoices;
};
