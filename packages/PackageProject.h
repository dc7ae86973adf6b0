#pragma once
// The plain description of a project that the texture package writer compiles: the skins in
// tree order with their sections and textures, the model's naming templates and section flags,
// and the project options. The editor document builds it from its skin tree when it compiles;
// nothing here is a widget.
#include <cstdint>
#include <string>
#include <vector>

#include "model/crvn_struc.h"  // the section flags (mpNOINT ...)
#include "platform/Bitmap.h"

struct TPackageTexture {
  std::string Identifier;           // "" default, "t_0".."t_3" team, else a face identifier
  std::string Description;          // the face's display name (the .int description)
  const TBitmap* Bitmap = nullptr;  // the texture (not owned; not changed)
  HPALETTE Palette;                 // the palette of the texture's palette group
};

struct TPackageSkinSection {
  int Section = 1;  // the section number (the model section's flags and 15)
  std::vector<TPackageTexture> Textures;
};

struct TPackageSkin {
  std::string Code;  // four-letter skin code
  std::string Description;
  std::vector<TPackageSkinSection> Sections;
};

struct TPackageModel {
  std::string FormatTeam = "%SKIN%%SECTION%T_%TEAM%";
  std::string FormatFace = "%SKIN%%SECTION%%FACE%";
  std::string FormatDefault = "%SKIN%%SECTION%";
  std::string FormatTalk = "%SKIN%%SECTION%%FACE%";
  std::vector<uint32_t> SectionFlags;  // one entry per model section, in the model's order
};

// Palettes generation: one per texture, one per skin, one for the whole package.
enum TPaletteGeneration : int { pgPerTexture = 0, pgPerSkin = 1, pgPerPackage = 2 };

struct TPackageOptions {
  bool OneMipMap = false;             // "Create just one mipmap"
  bool NotAllowDownload = false;      // "Do not allow download from server"
  bool ClientOptional = false;        // "Package is optional to clients"
  int ReducePalettes = pgPerTexture;  // "Palettes generation"
};

struct TPackageProject {
  std::string ProjectFileName;  // the .cvp path; the .utx/.int sit beside it
  std::string GameFolder;       // as stored ("C:\UnrealTournament" or a Linux path)
  TPackageModel Model;
  std::vector<TPackageSkin> Skins;
  TPackageOptions Options;
  int32_t PackageVersion = 68;
};
