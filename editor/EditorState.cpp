#include "editor/EditorState.h"

#include "model/crvn_struc.h"
#include "platform/Exceptions.h"
#include "platform/Registry.h"

const char* const DefaultGameFolder = "C:\\UnrealTournament";

std::string GameFolderFromCommand(const std::string& command) {
  const size_t pos = command.find("\\System\\UnrealTournament.exe");
  if (pos == std::string::npos) return std::string();
  std::string folder = command.substr(0, pos);
  // The command is usually quoted ("C:\UT\System\UnrealTournament.exe" %1): the quote is not
  // part of the folder.
  if (!folder.empty() && folder.front() == '"') folder.erase(0, 1);
  return folder;
}

void RegisterModelExtensionType() {
  try {
    TRegistry reg;
    if (!reg.OpenKey("\\.cvmx", true)) return;
    std::string typeName = reg.ReadString("");
    if (typeName.empty()) {
      typeName = "CVMXfile";
      reg.WriteString("", typeName);
    }
    reg.CloseKey();
    if (!reg.OpenKey("\\" + typeName, true)) return;
    if (reg.ReadString("").empty()) reg.WriteString("", "Corvane Model Extension");
    reg.CloseKey();
    if (!reg.OpenKey("\\" + typeName + "\\shell", true)) return;
    reg.WriteString("", "open");
    reg.CloseKey();
    if (!reg.OpenKey("\\" + typeName + "\\shell\\open", true)) return;
    if (reg.ReadString("").empty()) reg.WriteString("", "&Open");
    reg.CloseKey();
    if (!reg.OpenKey("\\" + typeName + "\\shell\\open\\command", true)) return;
    if (reg.ReadString("").empty()) reg.WriteString("", "NOTEPAD.EXE \"%L\"");
    reg.CloseKey();
  } catch (const Exception&) {
  }
}

TEditorState::TEditorState() = default;
TEditorState::~TEditorState() = default;

void TEditorState::Start() {
  FModels.clear();
  FCurrentModel = std::make_unique<TModelo>();
  FProjectModified = false;
  FGameFolder.clear();
}

void TEditorState::Finish() {
  FCurrentModel.reset();
  FModels.clear();
}

void TEditorState::SetCurrentModel(std::unique_ptr<TModelo> model) { FCurrentModel = std::move(model); }

void TEditorState::LoadModelExtensions() { ::LoadModelExtensions(FModels, *FCurrentModel); }

void TEditorState::ReadGameFolder() {
  try {
    TRegistry reg;
    if (reg.OpenKey("\\unreal\\Shell\\open\\command", false)) {
      FGameFolder = GameFolderFromCommand(reg.ReadString(""));
      reg.CloseKey();
    }
  } catch (const Exception&) {
    FGameFolder.clear();
  }
  if (FGameFolder.empty()) FGameFolder = DefaultGameFolder;
}
