#pragma once
// The plain description of the open project that the texture package writer compiles, built
// from the skin tree, the current model and the project options.
#include <string>

#include "editor/ProjectFile.h"
#include "editor/SkinTree.h"
#include "packages/PackageProject.h"

// Skins, sections and textures in tree order. Texture bitmaps are referenced, not copied: the
// description lives only as long as the tree is left unchanged. The groups whose palettes were not
// built over their textures as they are now are built again first, so the package never carries
// stale ones.
TPackageProject BuildPackageProject(TSkinTree& tree, const TModelo& model, const TProjectOptions& options,
                                    const std::string& projectFileName, const std::string& gameFolder);
