#pragma once
// The model compiler's workflow without its window: the game choice and its folders, the
// external-file route (information, mesh, material order, compile) and the package route
// (scan, mesh object, frame, compile). The window only forwards to it and shows the results.
//
// Each route keeps its own state: the mesh as read stays untouched, every compile works on a
// copy, so compiling again (with another order or frame) starts from what was read, and
// compiling on one tab never uses the other tab's mesh.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/ModelCatalogue.h"
#include "model/crvn_o3d.h"
#include "modelcompiler/ModelFileReaders.h"
#include "modelcompiler/ModelWriter.h"
#include "modelcompiler/PackageModels.h"
#include "packages/ut_packages.h"

class TFile3DS;

// Game folder of the registry's shell command ("...\System\..."), without a leading quote;
// empty when the value holds no "\System\".
std::string GameFolderOfCommand(const std::string& command);

struct TGameSettings {
  std::string SystemFolder;  // Windows form: "C:\UnrealTournament\System"
  bool UseInt = false;
};
// The folders of a game from the registry (HKEY_CLASSES_ROOT), or the defaults.
TGameSettings GameSettings(TGameKind game);

// After the catalogue was reloaded: the text of a "NOTE" box when the compiled model is not the
// one the catalogue holds under its prefix (an earlier file has the same prefix); else empty.
std::string HiddenModelNote(const TModelList& models, const TCompileResult& result);

// The source kind of a model file by its extension (letter case ignored); None when unknown.
TSourceKind SourceKindOfFile(const std::string& fileName);

class TModelCompilerCore {
 public:
  TModelCompilerCore();
  ~TModelCompilerCore();

  // Where compiled models go: CustomModels under the program folder unless set.
  std::string OutputFolder;
  TGameKind Game = TGameKind::UnrealTournament;
  std::function<void(const std::string&)> Status;
  std::function<bool()> ConfirmOverwrite;

  // ---- external route
  struct TExternal {
    TSourceKind Kind = TSourceKind::None;
    std::string FileName;       // as chosen
    std::string ModelFileName;  // Unreal 3D: without "_d.3d"
    bool HaveInfo = false;
    TModelInfo Info;
    bool HaveMesh = false;
    TObjeto3D Mesh;  // as read
    std::vector<TMaterialRow> Rows;
    std::vector<std::string> Notes;
  };
  const TExternal& External() const { return FExternal; }

  // Reads the information of a model file. Returns the text of an "ERROR" box when the file is
  // refused (unknown extension, wrong Painter3D or MilkShape3D header): the route then stops.
  std::string LoadModelInfo(const std::string& fileName);
  // Reads mesh or frame number of the chosen file and builds the material rows.
  void GetMeshData(int number);
  // Swaps material row index with its neighbour (delta -1 up, +1 down); false when it cannot move.
  bool MoveMaterial(int index, int delta);
  TCompileResult CompileExternal(const std::string& name);

  // ---- package route
  struct TPackageRoute {
    std::string PackageFileName;
    std::vector<TMeshRow> Rows;
    bool HaveMesh = false;
    TPackageMesh Mesh;
    TLodMeshItem Row;           // the chosen row (its skins)
    std::string ModelFileName;  // the mesh object's name
    std::string MeshPackageName;
  };
  const TPackageRoute& PackageRoute() const { return FPackage; }
  TUTPackage& Package() { return *FUTPackage; }

  // Fills the rows; returns the text of a "NOTE" box when none was found.
  std::string ScanPackage(const std::string& chosenFile, bool useInt);
  // Reads the mesh of a row; returns the text of an "ERROR" box when the row names no mesh.
  std::string ReadMeshObject(int row);
  // The absolute frame of a sequence's frame (the sequence as offered).
  int AbsoluteFrame(int sequence, int frame) const;
  TCompileResult CompilePackage(int absoluteFrame, bool writeModelData, bool addNormals, const std::string& name);

 private:
  TCompileOptions Options(TSourceKind kind, const std::string& modelFileName, const std::string& name) const;
  TExternal FExternal;
  TPackageRoute FPackage;
  std::unique_ptr<TUTPackage> FUTPackage;
  std::unique_ptr<TFile3DS> FStudio;
};
