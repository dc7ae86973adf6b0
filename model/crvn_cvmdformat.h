#pragma once
// The model data file (.cvmd): the writer (version 0x0200) and the reader (versions 0x0102,
// 0x0103 and 0x0200). Layout, little-endian:
//   version u16, then for 0x0200 chunks until the end: tag[4], size u32, count u16, records.
//     VERT x,y,z f32 / TEXC u,v f32 / NORM x,y,z f32   size = count * record size
//     MATS name length u8, name, flags i32             size = bytes after the size field
//     MESH v0,uv0,v1,uv1,v2,uv2,material,n0,n1,n2 u16 size = count * 20
//   0x0102 / 0x0103: counted blocks of vertices, texture coordinates, materials and 14-byte
//   triangles (no normals); 0x0102 stores texture coordinates in another mapping (FixUV).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "model/crvn_o3d.h"

// Largest count or index the format can hold: counts and indices are 16-bit, and 65535 is the
// "no normal" index.
constexpr size_t CVMD_MAX_COUNT = 65535;
constexpr size_t CVMD_MAX_NAME = 255;

// Writes Mesh as a version-0x0200 file through a temporary file and a rename. A mesh the format
// cannot hold (a count above 65535, an index outside its list) raises EInOutError before
// anything is created, so an existing file stays as it was. Names longer than 255 bytes are cut.
void SaveToCVMD(const TObjeto3D& Mesh, const std::string& FileName);
// The bytes SaveToCVMD writes; same checks, FileName only names the file in errors.
std::vector<uint8_t> CVMDBytes(const TObjeto3D& Mesh, const std::string& FileName);

// Clears Mesh and reads the file into it. False (Mesh empty) for a version other than 0x0102,
// 0x0103 and 0x0200. A file that cannot be read, is truncated, or holds a bad count, size, tag
// or index raises EInOutError naming the file and what is wrong, and leaves Mesh empty.
bool LoadFromCVMD(TObjeto3D& Mesh, const std::string& FileName);
// The same over bytes already in memory; DisplayName names them in errors.
bool LoadFromCVMDMemory(TObjeto3D& Mesh, const uint8_t* Data, size_t Size, const std::string& DisplayName);

// Version 0x0102 texture coordinates to the current mapping.
void FixUV(TObjeto3DCoordenadaUV& UV);
