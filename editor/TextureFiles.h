#pragma once
// Texture files: reading a texture by its content, fitting it to its section's size, creating
// textures from files, importing files named by the convention, and reading again the files
// that changed on disk.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "editor/SkinTree.h"

// Shows a message box (caption, text) with an OK button. The window passes its prompter;
// tests record what would have been shown.
using TShowBox = std::function<void(const std::string& caption, const std::string& text)>;

// The "ERROR" text of a texture that does not fit a section that may not be resampled.
std::string CannotResampleMessage(const std::string& sectionName, const TModeloPart& part);

// Fits a texture to its section: 24 bits per pixel unless the section is MASKED; resampled
// (Lanczos3) to the section's fixed size, or, in a CANNOTRESAMPLE section, kept as it is with
// the "ERROR" box.
void CheckTextureSize(std::unique_ptr<TBitmap>& bitmap, const std::string& sectionName, const TModeloPart& part,
                      const TShowBox& showBox);

// A picture file read by its content as a texture bitmap; a file that gives an empty picture is
// refused with EInvalidGraphic naming it.
std::unique_ptr<TBitmap> ReadTexturePicture(const std::string& fileName);

// A texture read from a file for a section (by its content, platform/PictureLoader.h): file age
// taken before the read, so a change made while reading is seen by the next refresh. A file
// that gives an empty picture is refused with EInvalidGraphic naming it.
std::unique_ptr<TObjetoTextura> CreateTexture(const std::string& fileName, const std::string& identifier,
                                              const std::string& description, const std::string& sectionName,
                                              const TModeloPart& part, const TShowBox& showBox);

// Imports files named by the convention (abcd2t_1.bmp: skin abcd, section 2, blue team), last
// file first. Files whose section the model lacks, or whose name gives no skin code, are
// skipped (and listed in skipped, when given, in the order of files). Creates missing skins and
// section nodes, then sorts the tree and expands it all; a file that cannot be read stops the
// import there (what was added stays, sorted). A file naming a texture the section already has
// replaces that texture.
// Returns the number of textures added or replaced.
int ImportTextures(TSkinTree& tree, const TModelo& model, const std::vector<std::string>& files,
                   const TShowBox& showBox, std::vector<std::string>* skipped = nullptr);
// The "WARNING" text for files an import skipped.
std::string SkippedImportMessage(const std::vector<std::string>& files);

// Reads again the texture files whose modification time changed; a deleted file is reported
// in a "WARNING" box. The new time is stored before anything is read or shown, so each change
// is handled once. Returns true when any texture changed. A call made while one runs (from a
// box it shows, or through the message pump) does nothing and returns false.
class TTextureReloader {
 public:
  bool Run(TSkinTree& tree, const TModelo& model, const TShowBox& showBox);
  bool Running() const { return FRunning; }

 private:
  bool FRunning = false;
};

// Whether the refresh timer may reload now: not during a long operation, a message box or
// dialog, a paint stroke, or a reload already running.
bool RefreshMayRun(bool busy, bool modalOpen, bool painting, bool reloading);
