#pragma once
// Compiling a project to its .utx and .int files beside the project file, and installing both
// into the game's Textures and System folders.
#include <string>

#include "packages/PackageProject.h"

// The message box the main window shows when a compile ends without an exception.
struct TCompileMessage {
  std::string Caption;  // "Compilation", or "ERROR" when an install copy failed
  std::string Text;
  bool IsError = false;
};

std::string PackageUtxFileName(const TPackageProject& Project);  // project file with ".utx"
std::string PackageIntFileName(const TPackageProject& Project);  // project file with ".int"

// Builds the package and writes the .utx and .int beside the project, and when Install is set
// into the game folder's Textures and System folders (found without regard to letter case).
// Each pair is replaced as one (WriteFilesTogether): a failure leaves the old pair in place.
// Errors while building or writing beside the project raise; a failed install is returned as
// an "ERROR" box naming the file, and then no success message is given.
TCompileMessage CompilePackageFiles(const TPackageProject& Project, bool Install);
