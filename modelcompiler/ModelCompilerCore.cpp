#include "modelcompiler/ModelCompilerCore.h"

#include <filesystem>

#include "platform/Paths.h"
#include "platform/Registry.h"
#include "platform/StrUtils.h"
#include "platform/Streams.h"
#include "scene/File3DS.h"

std::string GameFolderOfCommand(const std::string& command) {
  const size_t at = command.find("\\System\\");
  if (at == std::string::npos) return "";
  std::string folder = command.substr(0, at);
  // Shell commands quote the program's path; the quote is not part of the folder.
  if (!folder.empty() && folder.front() == '"') folder.erase(0, 1);
  return folder;
}

TGameSettings GameSettings(TGameKind game) {
  struct TRow {
    const char* Key;
    const char* Default;
  };
  static const TRow rows[] = {{"\\unreal\\Shell\\open\\command", "C:\\UnrealTournament"},
                              {"\\deusex\\Shell\\open\\command", "C:\\DeusEx"},
                              {"\\khg\\Shell\\open\\command", "C:\\Klingon Honor Guard"}};
  TGameSettings s;
  if (game == TGameKind::Other) {
    s.SystemFolder = "C:";
    return s;
  }
  const TRow& row = rows[static_cast<int>(game)];
  std::string folder;
  TRegistry reg;
  if (reg.OpenKey(row.Key, false)) folder = GameFolderOfCommand(reg.ReadString(""));
  if (folder.empty()) folder = row.Default;
  s.SystemFolder = folder + "\\System";
  s.UseInt = game == TGameKind::UnrealTournament;
  return s;
}

std::string HiddenModelNote(const TModelList& models, const TCompileResult& result) {
  if (!result.ExtensionWritten) return "";
  for (const auto& m : models) {
    if (m->Prefix != result.Prefix) continue;
    std::error_code ec1, ec2;
    if (std::filesystem::weakly_canonical(ToNativePath(m->KeyFileName()), ec1) ==
        std::filesystem::weakly_canonical(ToNativePath(result.ExtensionFile), ec2))
      return "";
    return "The compiled model has the prefix " + result.Prefix + ", which the model read earlier from " +
           m->KeyFileName() + " already has: the new model is hidden by that one until it is renamed or removed.";
  }
  return "";
}

TSourceKind SourceKindOfFile(const std::string& fileName) {
  const std::string ext = UpperCase(ExtractFileExt(fileName));
  if (ext == ".3DS") return TSourceKind::Studio3DS;
  if (ext == ".MS3D") return TSourceKind::MilkShape3D;
  if (ext == ".P3D") return TSourceKind::Painter3D;
  if (ext == ".3D") return TSourceKind::Unreal3D;
  return TSourceKind::None;
}

TModelCompilerCore::TModelCompilerCore()
    : OutputFolder(ProgramFolder() + "CustomModels"), FUTPackage(std::make_unique<TUTPackage>()) {}
TModelCompilerCore::~TModelCompilerCore() = default;

namespace {

std::string ReadText(const std::string& fileName) {
  const TBytes bytes = ReadModelFile(fileName);
  return std::string(bytes.begin(), bytes.end());
}

std::string Unreal3DFile(const std::string& modelFileName, const char* suffix) {
  return ResolveCaseInsensitive(modelFileName + suffix);
}

}  // namespace

std::string TModelCompilerCore::LoadModelInfo(const std::string& fileName) {
  if (Status) Status("Loading model information");
  TExternal e;
  e.FileName = fileName;
  e.ModelFileName = fileName;
  e.Kind = SourceKindOfFile(fileName);
  FExternal = TExternal{};
  FStudio.reset();
  switch (e.Kind) {
    case TSourceKind::None: return "Unknown file format.";
    case TSourceKind::Unreal3D: {
      e.ModelFileName = ChangeFileExt(fileName, "");
      e.ModelFileName.resize(e.ModelFileName.size() >= 2 ? e.ModelFileName.size() - 2 : 0);
      if (Status) Status("Reading Unreal3D model information");
      // The data file first: a missing one is what the user chose, and is named.
      const TBytes data = ReadModelFile(Unreal3DFile(e.ModelFileName, "_d.3d"));
      e.Info = Read3DInfo(data, ReadModelFile(Unreal3DFile(e.ModelFileName, "_a.3d")), e.ModelFileName);
      break;
    }
    case TSourceKind::Painter3D: {
      if (Status) Status("Reading Painter3D model information");
      const std::string text = ReadText(fileName);
      if (!IsPainter3DText(text)) return fileName + " is not a valid Painter 3D file.";
      e.Info = ReadP3DInfo(text);
      break;
    }
    case TSourceKind::MilkShape3D: {
      if (Status) Status("Reading MilkShape3D model information");
      const TBytes bytes = ReadModelFile(fileName);
      if (!IsMilkShape3D(bytes)) return fileName + " is not a valid MilkShape 3D file.";
      e.Info = ReadMS3DInfo(bytes, fileName);
      break;
    }
    case TSourceKind::Studio3DS: {
      if (Status) Status("Reading 3DStudio model information");
      auto studio = std::make_unique<TFile3DS>();
      const std::string file = ResolveCaseInsensitive(ChangeFileExt(fileName, ".3ds"));
      const TBytes bytes = ReadModelFile(file);
      studio->LoadFromMemory(bytes.data(), bytes.size());
      studio->FileName = file;
      e.Info = Read3DSInfo(*studio);
      FStudio = std::move(studio);
      break;
    }
    case TSourceKind::Package: break;
  }
  e.HaveInfo = true;
  FExternal = std::move(e);
  return "";
}

void TModelCompilerCore::GetMeshData(int number) {
  if (!FExternal.HaveInfo) return;
  if (Status) Status("Reading mesh");
  FExternal.HaveMesh = false;
  FExternal.Rows.clear();
  FExternal.Notes.clear();
  TObjeto3D& mesh = FExternal.Mesh;
  mesh.Clear();
  const std::string& name = FExternal.ModelFileName;
  switch (FExternal.Kind) {
    case TSourceKind::Unreal3D: {
      if (Status) Status("Reading Unreal3D mesh");
      const TBytes data = ReadModelFile(Unreal3DFile(name, "_d.3d"));
      Read3DMesh(data, ReadModelFile(Unreal3DFile(name, "_a.3d")), number, mesh, name);
      break;
    }
    case TSourceKind::Painter3D:
      if (Status) Status("Reading Painter3D mesh");
      ReadP3DMesh(ReadText(FExternal.FileName), number, mesh, FExternal.FileName);
      if (Status) Status("Recreating materials for Painter3D model");
      AssignP3DSkins(mesh);
      break;
    case TSourceKind::MilkShape3D:
      if (Status) Status("Reading MilkShape3D mesh");
      ReadMS3DMesh(ReadModelFile(FExternal.FileName), mesh, FExternal.FileName);
      break;
    case TSourceKind::Studio3DS:
      if (Status) Status("Reading 3DStudio mesh");
      Read3DSMesh(*FStudio, number, mesh, FExternal.FileName, &FExternal.Notes);
      break;
    default: return;
  }
  if (Status) Status("Obtaining materials list");
  FExternal.Rows = BuildMaterialList(mesh);
  FExternal.HaveMesh = true;
}

bool TModelCompilerCore::MoveMaterial(int index, int delta) {
  const int other = index + delta;
  const int n = static_cast<int>(FExternal.Rows.size());
  if (index < 0 || index >= n || other < 0 || other >= n) return false;
  std::swap(FExternal.Rows[static_cast<size_t>(index)], FExternal.Rows[static_cast<size_t>(other)]);
  return true;
}

TCompileOptions TModelCompilerCore::Options(TSourceKind kind, const std::string& modelFileName,
                                            const std::string& name) const {
  TCompileOptions o;
  o.Kind = kind;
  o.ModelFileName = modelFileName;
  o.Name = name;
  o.OutputFolder = OutputFolder;
  o.Status = Status;
  o.ConfirmOverwrite = ConfirmOverwrite;
  return o;
}

TCompileResult TModelCompilerCore::CompileExternal(const std::string& name) {
  if (!FExternal.HaveMesh) throw EInvalidOperation("No mesh has been read from a model file.");
  if (Status) Status("Compiling");
  TObjeto3D work = FExternal.Mesh;
  if (FExternal.Kind != TSourceKind::Painter3D) {
    if (Status) Status("Adjusting materials");
    AdjustMaterials(work, FExternal.Rows);
  }
  TCompileOptions o = Options(FExternal.Kind, FExternal.ModelFileName, name);
  return CompileModel(work, o);
}

std::string TModelCompilerCore::ScanPackage(const std::string& chosenFile, bool useInt) {
  if (Status) Status("Reading UT package, searching for models");
  FPackage = TPackageRoute{};
  TScanResult scan = ::ScanPackage(chosenFile, useInt, *FUTPackage);
  FPackage.PackageFileName = scan.PackageFileName;
  FPackage.Rows = std::move(scan.Rows);
  return scan.Note;
}

std::string TModelCompilerCore::ReadMeshObject(int row) {
  if (row < 0 || static_cast<size_t>(row) >= FPackage.Rows.size()) return "";
  TMeshObjectRead read =
      ::ReadMeshObject(*FUTPackage, FPackage.PackageFileName, FPackage.Rows[static_cast<size_t>(row)].Item, Game);
  if (!read.Error.empty()) return read.Error;
  FPackage.Row = FPackage.Rows[static_cast<size_t>(row)].Item;
  FPackage.Mesh = std::move(read.Mesh);
  FPackage.ModelFileName = FPackage.Mesh.MeshName;
  FPackage.MeshPackageName = read.MeshPackageName;
  FPackage.HaveMesh = true;
  return "";
}

int TModelCompilerCore::AbsoluteFrame(int sequence, int frame) const {
  const std::vector<TAnimSeq> seqs = OfferedSequences(FPackage.Mesh);
  if (sequence < 0 || static_cast<size_t>(sequence) >= seqs.size()) return frame;
  return seqs[static_cast<size_t>(sequence)].StartFrame + frame;
}

TCompileResult TModelCompilerCore::CompilePackage(int absoluteFrame, bool writeModelData, bool addNormals,
                                                  const std::string& name) {
  if (!FPackage.HaveMesh) throw EInvalidOperation("No mesh has been read from a package.");
  if (Status) Status("Compiling");
  TObjeto3D work;
  BuildPackageFrame(FPackage.Mesh, absoluteFrame, addNormals, work);
  TCompileOptions o = Options(TSourceKind::Package, FPackage.ModelFileName, name);
  o.WriteModelData = writeModelData;
  o.MeshPackageName = FPackage.MeshPackageName;
  o.FaceSkin = FPackage.Row.FaceSkin;
  o.FixedSkin = FPackage.Row.FixedSkin;
  o.TeamSkin1 = FPackage.Row.TeamSkin1;
  o.TeamSkin2 = FPackage.Row.TeamSkin2;
  return CompileModel(work, o);
}
