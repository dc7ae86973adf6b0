#pragma once
// The readers of the external model files: Unreal 3D (_d.3d data with its _a.3d animation),
// Painter3D (.p3d text), MilkShape3D (.ms3d) and 3DStudio (.3ds). Each format has an info
// reader (the lines shown to the user and the highest mesh or frame number) and a mesh reader
// that fills a TObjeto3D. They work on bytes in memory; the workflow loads the files.
//
// Every count, index and length is checked before use: a bad file raises EModelFileError
// ("Invalid file <name>: <what>") and leaves the mesh empty.
#include <cstdint>
#include <string>
#include <vector>

#include "model/crvn_o3d.h"
#include "platform/Exceptions.h"

class TFile3DS;

CORVANE_EXCEPTION(EModelFileError, Exception)
[[noreturn]] void RaiseInvalidModelFile(const std::string& displayName, const std::string& detail);

using TBytes = std::vector<uint8_t>;

// A whole model or package file; a file that cannot be read raises EInOutError naming it (the
// platform's reader names only what went wrong, and the user may have typed the name).
TBytes ReadModelFile(const std::string& fileName);

struct TModelInfo {
  std::vector<std::string> Lines;  // for the information list
  int MaxNumber = 0;               // highest mesh or frame number the user may choose
};

// ---- Unreal 3D --------------------------------------------------------------------------------
// Only the first 16-bit value of each file: triangle count and frame count.
TModelInfo Read3DInfo(const TBytes& data, const TBytes& anim, const std::string& name);
// Frame number frame of the animation file with the triangles of the data file.
void Read3DMesh(const TBytes& data, const TBytes& anim, int frame, TObjeto3D& mesh, const std::string& name);
// A 32-bit packed vertex: bits 0-10 / 8, bits 11-21 / 8, bits 22-31 / 4, each above 128
// less 256 (exactly 128 stays).
void DecodePackedVertex(uint32_t packed, float& a, float& b, float& c);
// The signed wrap shared by every vertex decoding.
float WrapCoordinate(float v);

// ---- Painter3D ----------------------------------------------------------------------------------
bool IsPainter3DText(const std::string& text);
TModelInfo ReadP3DInfo(const std::string& text);
void ReadP3DMesh(const std::string& text, int meshNumber, TObjeto3D& mesh, const std::string& name);
// Four materials SKIN0..SKIN3, one per quarter of the texture; coordinates mapped into their quarter.
void AssignP3DSkins(TObjeto3D& mesh);

// ---- MilkShape3D ------------------------------------------------------------------------------
bool IsMilkShape3D(const TBytes& data);
TModelInfo ReadMS3DInfo(const TBytes& data, const std::string& name);
void ReadMS3DMesh(const TBytes& data, TObjeto3D& mesh, const std::string& name);

// ---- 3DStudio ---------------------------------------------------------------------------------
TModelInfo Read3DSInfo(TFile3DS& file);
// Mesh meshNumber of the file. A file without a triangle mesh raises EModelFileError; missing
// texture vertices read as (0,0) and add a line to notes.
void Read3DSMesh(TFile3DS& file, int meshNumber, TObjeto3D& mesh, const std::string& name,
                 std::vector<std::string>* notes = nullptr);
