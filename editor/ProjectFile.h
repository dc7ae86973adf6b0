#pragma once
// The project file (.cvp): INI text naming the model by its prefix, the project options, the
// skins ([Groups], code = description) and one section per texture ("code#section#node text"
// with Identifier, Description and Filename). Reading builds a whole new project that the
// window takes over only when nothing failed; writing goes through a temporary file that is
// renamed over the old one.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "editor/SkinTree.h"
#include "editor/TextureFiles.h"
#include "editor/TexturePainter.h"
#include "platform/Exceptions.h"

struct TProjectOptions {
  bool OnlyFirstMipMap = false;   // opt_mipmaps
  int ReducePalettes = 0;         // opt_reducepalettes: 0 per texture, 1 per skin, 2 per package
  bool ClientOptional = false;    // opt_clientoptional
  bool NotAllowDownload = false;  // opt_notallowdownload, not stored in the file
};

// The project names a model that the catalogue does not hold (or names none and the catalogue
// is empty).
class EModelNotInstalled : public Exception {
 public:
  EModelNotInstalled() : Exception("The model of this project is not installed!") {}
};

// The file is no project: it has no [General] section (binary data, an empty or another text
// file). Opening it as an empty project would let a later Save overwrite it.
class ENotAProject : public Exception {
 public:
  explicit ENotAProject(const std::string& fileName)
      : Exception("\"" + fileName + "\" is not a Corvane project: it has no [General] section.") {}
};

// ---- File names in the project ----

// How a texture's file name is stored: relative (with backslashes) when it lies in the
// program folder, else relative to the project's folder when it lies there, else whole.
std::string StoredTextureName(const std::string& fileName, const std::string& programFolder,
                              const std::string& projectFolder);
// The file a stored name stands for: a drive path ("C:\...") through the Wine drive mapping, an
// absolute path as it is, a relative one under the program folder, or, when no such file is
// there, under the project's folder (files saved by this program outside the program folder).
std::string ResolveTextureName(const std::string& stored, const std::string& programFolder,
                               const std::string& projectFolder);

// "Corvane v2.4.1 - (" + model name + ") " + the project file name, only its name part when the
// project lies directly in the program folder.
std::string ProjectCaption(const std::string& modelName, const std::string& projectFileName,
                           const std::string& programFolder);
// The file's name without folder and extension.
std::string ProjectBaseName(const std::string& projectFileName);
// Root node text after New and Load: base name + " (" + prefix + ")".
std::string ProjectRootText(const std::string& projectFileName, const std::string& prefix);

// ---- Reading ----

struct TLoadedProject {
  std::unique_ptr<TModelo> Model;  // a copy of the catalogue's model
  int ModelIndex = -1;             // its place in the catalogue
  TProjectOptions Options;
  TSkinTree Tree;
  // Stored texture files that do not exist on disk; their textures were left out.
  std::vector<std::string> MissingFiles;
  // Texture files that exist but could not be read, each with the reason; left out too.
  std::vector<std::string> UnreadableFiles;
};

// Called during a load after each texture line with the lines done and their total, so the
// window can show progress and stay painted.
using TLoadProgress = std::function<void(size_t done, size_t total)>;

// The catalogue model a prefix names: compared without letter case, the last match wins;
// -1 when none.
int FindModelByPrefix(const std::vector<std::unique_ptr<TModelo>>& catalogue, const std::string& prefix);

// Reads a whole project. Raises ENotAProject, EModelNotInstalled or the INI reader's error;
// texture files that are missing or cannot be read are listed in the result and left out.
// Nothing outside the result is touched. showBox receives the boxes of the size check.
std::unique_ptr<TLoadedProject> LoadProjectFile(const std::string& fileName,
                                                const std::vector<std::unique_ptr<TModelo>>& catalogue,
                                                const std::string& programFolder, const TShowBox& showBox,
                                                const TLoadProgress& progress = {});

// The "WARNING" text listing texture files that a load left out (both lists empty: empty text).
std::string MissingFilesMessage(const std::vector<std::string>& files, const std::vector<std::string>& unreadable = {});

// ---- Writing ----

// Asked for each painted texture before the project is written: true writes the texture's
// bitmap to its file. The question is "Save modified texture <skin>/<section>/<texture> ?".
using TAskSaveTexture = std::function<bool(const std::string& question)>;

// Writes the project file through a temporary file renamed over fileName; a failure raises and
// leaves the old file as it was. Painted textures are offered to askSaveTexture first; a
// texture written (SaveTexture: a file that is no Windows bitmap is kept and the texture saved
// as the bitmap askBitmapName chooses) is no longer Modified, and the project stores its file.
void SaveProjectFile(const std::string& fileName, TSkinTree& tree, const TModelo& model, const TProjectOptions& options,
                     const std::string& programFolder, const TAskSaveTexture& askSaveTexture,
                     const TAskBitmapName& askBitmapName = nullptr);

// True when any texture was painted and not saved.
bool AnyTextureModified(const TSkinTree& tree);
