#pragma once
// The records that describe an installed player model (TModelo with its TModeloPart texture
// sections and TCameraPreset camera positions), the data of a texture node of the skin tree
// (TObjetoTextura) and a mesh row of the model compiler (TLodMeshItem).
//
// Wire bitmaps are shared: the catalogue part that loaded one, every copy of that part and the
// textures of its section hold the same bitmap, which goes when the last holder does.
// Parts are replaced whenever the catalogue is reloaded; keep a section number, not a
// TModeloPart pointer, across a reload (PartIndexOfSection finds the part again).
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Bitmap.h"

// Flags of a TModeloPart: the section number in bits 0-3 and the option bits.
constexpr uint32_t mpSectionMask = 0x0F;
constexpr uint32_t mpNOINT = 0x1000;
constexpr uint32_t mpTEAM = 0x2000;
constexpr uint32_t mpFACE = 0x4000;
constexpr uint32_t mpONEMIPMAP = 0x8000;
constexpr uint32_t mpLODSETWORLD = 0x10000;
constexpr uint32_t mpMASKED = 0x20000;
constexpr uint32_t mpCANNOTRESAMPLE = 0x40000;
constexpr uint32_t mpTALKTEXTURE = 0x80000;

// A model has at most this many texture sections.
constexpr int MaxModelSections = 8;

class TModeloPart {
 public:
  uint32_t Flags = 0;
  int32_t Width = 0;  // 0 = textures of any size
  int32_t Height = 0;
  std::shared_ptr<TBitmap> WireBitmap;  // as its file holds it (drawn widened); null when there is no wire file

  int Section() const { return static_cast<int>(Flags & mpSectionMask); }
  // Copies the flags, the size and the wire bitmap reference (the bitmap is shared).
  void Assign(const TModeloPart& source);
  // "Section %d, Textures are %dx%d" and a fragment per option set.
  std::string GetDescription() const;
};

struct TCameraPreset {
  std::string Name;
  float CameraX = 0, CameraY = 0, CameraZ = 0;
  float TargetX = 0, TargetY = 0, TargetZ = 0;
};

class TModelo {
 public:
  struct TPartEntry {
    std::string Name;
    std::unique_ptr<TModeloPart> Part;
  };

  TModelo() = default;
  TModelo(const TModelo&) = delete;
  TModelo& operator=(const TModelo&) = delete;

  std::string Key;  // extension file's full path + "|" + section name
  std::string Name;
  std::string Prefix;
  std::vector<TPartEntry> Parts;  // in the order read; owned
  bool HasMaskedSection = false;
  std::string File3D;
  std::string LodMesh;
  float ScaleX = 1.0f, ScaleY = 1.0f, ScaleZ = 1.0f;
  float OffsetX = 0, OffsetY = 0, OffsetZ = 0;
  float Pitch = 0, Roll = 0, Turn = 0;
  std::string FormatTeam = "%SKIN%%SECTION%T_%TEAM%";
  std::string FormatFace = "%SKIN%%SECTION%%FACE%";
  std::string FormatDefault = "%SKIN%%SECTION%";
  std::string FormatTalk = "%SKIN%%SECTION%%FACE%";
  int32_t TalkTextureIndex = 5;
  std::vector<TCameraPreset> Presets;

  // Copies everything; the copy gets presets and part objects of its own, sharing the wire
  // bitmaps with the source.
  void Assign(const TModelo& source);
  // Appends a part under name (a name already there is added again) and loads its wire bitmap
  // from the folder of Key's file: Prefix + "Wire" + section number + ".bmp". A missing wire
  // file leaves the part without one; so does one that cannot be read, and then a line naming
  // the file and the reason goes to problems (when given).
  void AddPart(const std::string& name, uint32_t flags, int width, int height,
               std::vector<std::string>* problems = nullptr);
  // Index in Parts of the first part of that section number, or -1.
  int PartIndexOfSection(int section) const;
  // Section number of the first part with exactly that name (letter case counts), or -1.
  int SectionOfPart(const std::string& name) const;

  int PartCount() const { return static_cast<int>(Parts.size()); }
  TModeloPart* Part(int index) const { return Parts.at(static_cast<size_t>(index)).Part.get(); }
  const std::string& PartName(int index) const { return Parts.at(static_cast<size_t>(index)).Name; }

  // The two halves of Key: the extension file and the section name.
  std::string KeyFileName() const;
  std::string KeySection() const;
  // The wire bitmap file of a section by the rule of AddPart (a native path).
  std::string WireFileName(int section) const;
};

class TObjetoTextura {
 public:
  std::string Identifier;   // "" default, "t_0".."t_3" teams, else the face identifier
  std::string Description;  // the face's display name
  std::string Filename;
  int64_t FileAge = -1;  // the file's modification time when last read (platform/FileTimes.h)
  std::unique_ptr<TBitmap> Bitmap;
  std::unique_ptr<TBitmap> UndoBitmap;
  std::shared_ptr<TBitmap> WireBitmap;  // the section's, shared
  HPALETTE Palette;                     // the palette group's, shared
  bool Modified = false;
};

struct TLodMeshItem {
  int32_t FaceSkin = 0;
  int32_t FixedSkin = 0;
  int32_t TeamSkin1 = 0;
  int32_t TeamSkin2 = 0;
  int32_t Mesh = 0;  // object reference: i + 1 export i, -(i + 1) import i
};
