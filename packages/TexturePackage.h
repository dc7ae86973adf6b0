#pragma once
// Compiling a project description into an Unreal texture package and its .int lines.
#include <cstdint>
#include <string>
#include <vector>

#include "packages/PackageProject.h"
#include "packages/UnrealFormat.h"

// Expands a naming template: each keyword between percent signs (letter case ignored) is
// replaced: SKIN, SECTION, TEAM ("-1" without a team), TEAMNAME (Red, Blue, Green, Gold),
// FACE; an unknown keyword expands to nothing.
std::string ExpandNameTemplate(const std::string& Template, const std::string& Skin, const std::string& Section,
                               int Team, const std::string& Face);

// The texture's object name from the model's templates: the talk template for a talk-texture
// section, the team template for identifiers t_0..t_3, the face template for any other
// identifier, else the default one. A section number the model does not have raises
// EListError.
std::string TextureObjectName(const TPackageModel& Model, const std::string& SkinCode, const std::string& SectionText,
                              const std::string& Identifier);

// Flags of the model section with that number; EListError when the model has none.
uint32_t ModelSectionFlags(const TPackageModel& Model, int Section);

// Raises EConvertError when two textures of the project get the same object name (letter case
// ignored): the game would see one object, and the .int would list it twice.
void CheckTextureNamesUnique(const TPackageProject& Project);

struct TCompiledPackage {
  std::string PackageName;            // the project file's name without folder and extension
  std::vector<uint8_t> Utx;           // the whole package file
  std::vector<std::string> IntLines;  // "[Public]" then one line per texture
  // The .int text: every line ended with CR LF.
  std::string IntText() const;
};

// Builds the package in memory. Raises (without writing anything) on a name that cannot be
// stored, two textures with one name, a texture without bitmap or palette, or a section the
// model does not have.
TCompiledPackage BuildTexturePackage(const TPackageProject& Project, const TPackageGUID& GUID);
inline TCompiledPackage BuildTexturePackage(const TPackageProject& Project) {
  return BuildTexturePackage(Project, CreateGUID());
}
