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
// The package and its description go together: both files replace their old pair, or neither.
void WritePair(const std::string& Utx, const std::string& Int, const TCompiledPackage& Package,
               const std::string& Text) {
  WriteFilesTogether({{Utx, Package.Utx.data(), Package.Utx.size()}, {Int, Text.data(), Text.size()}});
}
}  // namespace

TCompileMessage CompilePackageFiles(const TPackageProject& Project, bool Install) {
  if (Project.ProjectFileName.empty()) throw EInvalidOperation("The project has no file name yet: save it first");
  const TCompiledPackage package = BuildTexturePackage(Project);
  const std::string text = package.IntText();
  const std::string utx = PackageUtxFileName(Project), ini = PackageIntFileName(Project);
  WritePair(utx, ini, package, text);

  if (!Install) return {"Compilation", "Project compiled!", false};

  // The game folder as stored may be a Windows path ("C:\\UnrealTournament"): the message names
  // the folder the files really went to.
  std::string native = ResolveCaseInsensitive(ToNativePath(Project.GameFolder));
  while (native.size() > 1 && native.back() == '/') native.pop_back();
  const std::string game = IncludeTrailingPathDelimiter(native);
  const std::pair<const std::string*, const char*> copies[] = {{&utx, "Textures"}, {&ini, "System"}};
  std::string targets[2];
  for (int i = 0; i < 2; ++i) {
    const std::string folder = ResolveCaseInsensitive(game + copies[i].second);
    // An installed file whose name differs only in letter case is the same file to the game
    // (under Wine): replace it rather than put a second one beside it.
    targets[i] = ResolveCaseInsensitive(IncludeTrailingPathDelimiter(folder) + ExtractFileName(*copies[i].first));
    if (!DirectoryExists(folder))
      return {"ERROR",
              "Could not copy " + *copies[i].first + " to " + targets[i] + ": the folder " + folder + " does not exist",
              true};
  }
  try {
    WritePair(targets[0], targets[1], package, text);
  } catch (const Exception& e) {
    return {"ERROR", "Could not copy " + utx + " and " + ini + " into " + native + ": " + e.Message, true};
  }
  return {"Compilation", "Project compiled and installed under " + native, false};
}
