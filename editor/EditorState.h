#pragma once
// TEditorState: what the skin editor knows apart from its widgets: the model catalogue, the
// model the open project is made for, the project file, whether the project changed since it
// was last loaded or saved, and the game folder. The editor document keeps one and changes it
// through its commands, which tell its observers; the window and the preview only read it.
#include <memory>
#include <string>

#include "model/ModelCatalogue.h"

class TModelo;

// "unreal\Shell\open\command" gives no game folder: this one is used.
extern const char* const DefaultGameFolder;  // "C:\UnrealTournament"

// The game folder named by the game's registered open command: the text before
// "\System\UnrealTournament.exe", without a leading quote; empty when the text is missing.
std::string GameFolderFromCommand(const std::string& command);

// Registers the model extension file type (".cvmx" and its type's keys): an existing type name
// and values already set are kept, the type's "shell" is set to "open". A key that cannot be
// opened or written stops it without a message: the program works without it.
void RegisterModelExtensionType();

class TEditorState {
 public:
  TEditorState();
  ~TEditorState();
  TEditorState(const TEditorState&) = delete;
  TEditorState& operator=(const TEditorState&) = delete;

  // A new session: an empty catalogue, an empty current model, nothing modified, no game folder.
  void Start();
  // Frees the catalogue and the current model (the window is going away).
  void Finish();

  // The model the project is made for: never null between Start and Finish. Catalogue reloads
  // replace its parts with new objects: nothing may keep a part across a reload.
  TModelo* CurrentModel() const { return FCurrentModel.get(); }
  void SetCurrentModel(std::unique_ptr<TModelo> model);

  // The catalogue, owning its models.
  const TModelList& Models() const { return FModels; }
  // Reads the catalogue again from the model extension files in the program folder; the current
  // model takes its entry's new settings.
  void LoadModelExtensions();

  const std::string& ProjectFileName() const { return FProjectFileName; }
  void SetProjectFileName(const std::string& fileName) { FProjectFileName = fileName; }
  // The project's own data changed (painted textures are counted apart, by the tree).
  bool ProjectModified() const { return FProjectModified; }
  void SetProjectModified(bool modified) { FProjectModified = modified; }

  const std::string& GameFolder() const { return FGameFolder; }
  void SetGameFolder(const std::string& folder) { FGameFolder = folder; }
  // The folder the game's registered open command names, or DefaultGameFolder. A registry
  // store that cannot be read counts as a missing key.
  void ReadGameFolder();

 private:
  TModelList FModels;
  std::unique_ptr<TModelo> FCurrentModel;
  std::string FProjectFileName;
  bool FProjectModified = false;
  std::string FGameFolder;
};
