#pragma once
// The in-memory static mesh: vertices, texture coordinates, normals, triangles and the
// material list. Filled by the model compiler's readers and by LoadFromCVMD; drawn by the
// preview.
#include <cstdint>
#include <string>
#include <vector>

struct TObjeto3DVertice {
  float X = 0, Y = 0, Z = 0;
};

struct TObjeto3DCoordenadaUV {
  float U = 0, V = 0;
};

struct TObjeto3DNormal {
  float X = 0, Y = 0, Z = 0;
};

// Indices into the mesh's lists. A corner without a normal has the normal index -1 (readers,
// old files) or 65535 (what version 0x0200 files store).
struct TObjeto3DTriangulo {
  int32_t Vertex0 = 0, Vertex1 = 0, Vertex2 = 0;
  int32_t Normal0 = -1, Normal1 = -1, Normal2 = -1;
  int32_t UV0 = 0, UV1 = 0, UV2 = 0;
  int32_t Material = 0;
};

// Material flags, combined with a bitwise or.
enum : int32_t {
  MATERIAL_NORMAL = 0,
  MATERIAL_TRANSLUCENT = 2,
  MATERIAL_TWOSIDED = 3,
  MATERIAL_MASKED = 4,
  MATERIAL_WEAPON = 8,  // no texture section is made for it
};

struct TObjeto3DMaterial {
  std::string Name;
  int32_t Flags = MATERIAL_NORMAL;
};

inline bool IsNoNormal(int32_t normalIndex) { return normalIndex == -1 || normalIndex == 65535; }

class TObjeto3D {
 public:
  std::vector<TObjeto3DVertice> Vertices;
  std::vector<TObjeto3DCoordenadaUV> UVs;
  std::vector<TObjeto3DNormal> Normals;
  std::vector<TObjeto3DTriangulo> Triangles;
  std::vector<TObjeto3DMaterial> Materials;

  void Clear();
  bool Empty() const {
    return Vertices.empty() && UVs.empty() && Normals.empty() && Triangles.empty() && Materials.empty();
  }
};
