#include "packages/CompilePackage.h"

#include "packages/TexturePackage.h"
#include "platform/Exceptions.h"
#include "platform/Paths.h"
#include "platform/Streams.h"

std::string PackageUtxFileName(const TPackageProject& Project) {
  return ChangeFileExt(Project.ProjectFileName, ".utx");
}
std::string PackageIntFileName(const TPackageProject& Project) {
  return ChangeFileExt(Project.ProjectFileName, ".int");
}

namespace {
// Copies Source into Folder; returns an empty string on success, else the reason.
std::string CopyInto(const std::string& Source, const std::string& Folder, std::string& Target) {
  // An installed file whose name differs only in letter case is the same file to the game
  // (under Wine): replace it rather than put a second one beside it.
  Target = ResolveCaseInsensitive(IncludeTrailingPathDelimiter(Folder) + ExtractFileName(Source));
  try {
    if (!DirectoryExists(Folder)) return "the folder " + Folder + " does not exist";
    const std::vector<uint8_t> data = ReadWholeFile(Source);
    WriteFileAtomically(Target, data.data(), data.size());
  } catch (const Exception& e) {
    return e.Message;
  }
  return {};
}
}  // namespace

TCompileMessage CompilePackageFiles(const TPackageProject& Project, bool Install) {
  if (Project.ProjectFileName.empty()) throw EInvalidOperation("The project has no file name yet: save it first");
  const TCompiledPackage package = BuildTexturePackage(Project);
  const std::string utx = PackageUtxFileName(Project), ini = PackageIntFileName(Project);
  WriteFileAtomically(utx, package.Utx.data(), package.Utx.size());
  WriteFileAtomically(ini, package.IntText());

  if (!Install) return {"Compilation", "Project compiled!", false};

  // The game folder as stored may be a Windows path ("C:\\UnrealTournament"): the message names
  // the folder the files really went to.
  std::string native = ResolveCaseInsensitive(ToNativePath(Project.GameFolder));
  while (native.size() > 1 && native.back() == '/') native.pop_back();
  const std::string game = IncludeTrailingPathDelimiter(native);
  const std::pair<const std::string*, const char*> copies[] = {{&utx, "Textures"}, {&ini, "System"}};
  for (const auto& [source, folder] : copies) {
    std::string target;
    const std::string why = CopyInto(*source, ResolveCaseInsensitive(game + folder), target);
    if (!why.empty()) return {"ERROR", "Could not copy " + *source + " to " + target + ": " + why, true};
  }
  return {"Compilation", "Project compiled and installed under " + native, false};
}
