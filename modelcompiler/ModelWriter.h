#pragma once
// What the model compiler does after a mesh was read: the material rows the user puts into
// section order, the material flags, and the outputs in CustomModels: the model data file
// (.cvmd), one wire bitmap per section (256x256, 4 bits) and the model extension file (.cvmx).
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "model/crvn_o3d.h"
#include "platform/Bitmap.h"

// Where the mesh came from: decides the extension file's scale and pitch.
enum class TSourceKind : uint8_t { None = 0, Studio3DS = 1, MilkShape3D = 2, Painter3D = 3, Unreal3D = 4, Package = 5 };

// A row of the material list: the text shown and the tag (its row number when the list was built).
struct TMaterialRow {
  std::string Text;
  int Tag = 0;
};

// Upper case, up to the first '.'.
std::string MaterialBaseName(const std::string& name);
// The flags a material name gives: .WEAP 8, .TWOS 3, .TRAN 2, .MASK 4 (first that holds), else 0.
int32_t MaterialFlagsOfName(const std::string& name);

// Row 0 is the skin (SKIN or SKIN0, or "Unused material #0"), then the other distinct base
// names in the order of first use.
std::vector<TMaterialRow> BuildMaterialList(const TObjeto3D& mesh);
// Rewrites the mesh's materials and triangle material indices into the rows' order, with flags.
// Sized from the rows, so a model without a SKIN material keeps an empty material at row 0.
void AdjustMaterials(TObjeto3D& mesh, const std::vector<TMaterialRow>& rows);

constexpr int WIRE_SIZE = 256;
constexpr TColor WIRE_BRUSH = 0x808080;
constexpr TColor WIRE_PEN = 0xFFFFFF;
// The outlines of the triangles of one material on grey, in 24 bits. Coordinates are clipped
// in floating point before they become pixels, so huge or NaN values cost nothing. drawn tells
// whether any triangle had this material.
TBitmap DrawWireBitmap(const TObjeto3D& mesh, int material, bool& drawn);

struct TCompileOptions {
  bool WriteModelData = true;
  std::string Name;           // the model's display name
  std::string ModelFileName;  // the output files are named after its file name part
  TSourceKind Kind = TSourceKind::None;
  std::string MeshPackageName;  // package route: the package holding the mesh
  int32_t FaceSkin = -1, FixedSkin = -1, TeamSkin1 = -1, TeamSkin2 = -1;
  std::string OutputFolder;  // CustomModels (created when missing)
  // Step texts for the status bar.
  std::function<void(const std::string&)> Status;
  // The overwrite question for an existing .cvmx; true to overwrite.
  std::function<bool()> ConfirmOverwrite;
};

struct TCompileResult {
  std::string ModelDataFile;  // empty when not written
  std::vector<std::string> WireFiles;
  std::string ExtensionFile;
  bool ExtensionWritten = false;
  std::string Prefix;
};

// The .cvmx lines for mesh (section lines sorted without letter case).
std::vector<std::string> CVMXLines(const TObjeto3D& mesh, const TCompileOptions& options);
// Writes the outputs. A mesh the model data file cannot hold is refused (EInOutError) before
// any file is written; every file goes through a temporary file and a rename.
TCompileResult CompileModel(const TObjeto3D& mesh, const TCompileOptions& options);
// The mesh as the model data file stores it: triangles whose material is outside the list get
// a material of their own without a name and with the weapon flag (no section, no wire).
TObjeto3D MeshForModelData(const TObjeto3D& mesh);
