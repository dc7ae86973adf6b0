#pragma once
// TFile3DS: a 3D Studio database (.3ds mesh file, .prj project, .mli material library) read
// into a tree of chunk headers; the data of a chunk is decoded on demand. What the program
// needs: loading, the triangle meshes by index and the database release.
//
// Chunk on disk: tag u16, length u32 (header, data and sub-chunks), data, sub-chunks.
// Every length is checked against its parent before the tree grows: a chunk shorter than its
// header or reaching past its parent raises E3DSError, never a read outside the file.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Exceptions.h"

CORVANE_EXCEPTION(E3DSError, Exception)

// The error texts of the reader.
extern const char* const ERR3DS_NO_MEMORY;
extern const char* const ERR3DS_INVALID_CHUNK;
extern const char* const ERR3DS_NO_DATABASE;
extern const char* const ERR3DS_WRONG_DATABASE;
extern const char* const ERR3DS_WRONG_OBJECT;
extern const char* const ERR3DS_INVALID_INDEX;  // a format with %d

// Tags the program looks at.
enum : uint16_t {
  CHUNK3DS_M3DMAGIC = 0x4D4D,   // mesh file
  CHUNK3DS_CMAGIC = 0xC23D,     // project file
  CHUNK3DS_MLIBMAGIC = 0x3DAA,  // material library
  CHUNK3DS_M3D_VERSION = 0x0002,
  CHUNK3DS_MDATA = 0x3D3D,
  CHUNK3DS_MESH_VERSION = 0x3D3E,
  CHUNK3DS_NAMED_OBJECT = 0x4000,
  CHUNK3DS_N_TRI_OBJECT = 0x4100,
  CHUNK3DS_POINT_ARRAY = 0x4110,
  CHUNK3DS_FACE_ARRAY = 0x4120,
  CHUNK3DS_MSH_MAT_GROUP = 0x4130,
  CHUNK3DS_TEX_VERTS = 0x4140,
  CHUNK3DS_SMOOTH_GROUP = 0x4150,
  CHUNK3DS_MESH_MATRIX = 0x4160,
  CHUNK3DS_MAT_ENTRY = 0xAFFF,
  CHUNK3DS_MAT_NAME = 0xA000,
  CHUNK3DS_KFDATA = 0xB000,
  CHUNK3DS_NODE_HDR = 0xB010,
  CHUNK3DS_NODE_ID = 0xB030,
};

struct TChunk3DS {
  uint16_t Tag = 0;
  uint32_t Size = 0;      // as stored: header, data and sub-chunks
  uint32_t Position = 0;  // of the header in the file
  uint32_t DataSize = 0;  // bytes of the chunk's own data (before its sub-chunks)
  std::vector<std::unique_ptr<TChunk3DS>> Children;

  uint32_t DataStart() const { return Position + 6; }
  const TChunk3DS* FindChild(uint16_t tag) const;
  // Depth first, this chunk excluded.
  const TChunk3DS* FindBelow(uint16_t tag) const;
};

struct TPoint3DS {
  float X = 0, Y = 0, Z = 0;
};
struct TTexVert3DS {
  float U = 0, V = 0;
};
struct TFace3DS {
  uint16_t V1 = 0, V2 = 0, V3 = 0, Flags = 0;
};
struct TMeshMatGroup3DS {
  std::string Name;
  std::vector<uint16_t> Faces;  // each below the mesh's face count
};

// A triangle mesh as the program reads it; every face corner is below the vertex count.
struct TMesh3DS {
  std::string Name;
  std::vector<TPoint3DS> Vertices;
  std::vector<TTexVert3DS> TexVerts;  // may be fewer than the vertices (or none)
  std::vector<TFace3DS> Faces;
  std::vector<uint32_t> SmoothGroups;
  std::vector<TMeshMatGroup3DS> MatGroups;
  float Matrix[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
};

// A key-framer node: its tag, name and node id.
struct TKFNode3DS {
  uint16_t Tag = 0;
  std::string Name;
  int32_t NodeId = -1;
};

class TFile3DS;

class TObjectList {
 public:
  explicit TObjectList(TFile3DS& owner) : FOwner(owner) {}
  // Named objects under the mesh data that hold a triangle mesh.
  int MeshCount();
  // The index-th mesh, read and kept on first use; nullptr when there is none at all.
  // An index outside 0..MeshCount()-1 raises E3DSError "Invalid index %d.".
  const TMesh3DS* Mesh(int index);
  void Clear();

 private:
  void Index();
  TFile3DS& FOwner;
  bool FIndexed = false;
  std::vector<const TChunk3DS*> FMeshChunks;
  std::vector<std::unique_ptr<TMesh3DS>> FMeshes;
};

class TFile3DS {
 public:
  TFile3DS();
  ~TFile3DS();
  TFile3DS(const TFile3DS&) = delete;
  TFile3DS& operator=(const TFile3DS&) = delete;

  // Reads the whole file and builds the chunk tree; E3DSError for a broken structure,
  // EInOutError when the file cannot be read.
  void LoadFromFile(const std::string& fileName);
  // The same over bytes (copied); FileName becomes empty.
  void LoadFromMemory(const uint8_t* data, size_t size);

  // 0, 1, 2 for releases 1, 2, 3; 3 for any other.
  int GetDatabaseRelease() const;

  const TChunk3DS* TopChunk() const { return FTop.get(); }
  const std::vector<TKFNode3DS>& KeyFramerNodes() const { return FKFNodes; }
  const std::vector<uint8_t>& Bytes() const { return FData; }

  std::string FileName;
  TObjectList Objects;
  // (position, size): once with the file size before reading, once per chunk.
  std::function<void(uint32_t position, uint32_t size)> OnProgress;

 private:
  void Build();
  void ReadChildren(TChunk3DS& chunk, int depth);
  uint32_t StepOverData(const TChunk3DS& chunk) const;
  void IndexKeyFramer();

  std::vector<uint8_t> FData;
  std::unique_ptr<TChunk3DS> FTop;
  std::vector<TKFNode3DS> FKFNodes;
};
