#pragma once
// The plain description of the open project that the texture package writer compiles, built
// from the skin tree, the current model and the project options.
#include <string>

#include "editor/ProjectFile.h"
#include "editor/SkinTree.h"
#include "packages/PackageProject.h"

// Skins, sections and textures in tree order. Texture bitmaps are referenced, not copied: the
// description lives only as long as the tree is left unchanged. When any texture changed since
// the palettes were built, they are rebuilt first, so the package never carries stale ones.
TPackageProject BuildPackageProject(TSkinTree& tree, const TModelo& model, const TProjectOptions& options,
                                    const std::string& projectFileName, const std::string& gameFolder);
