#pragma once
// The model's mesh cut into the eight section actors of the preview: the triangles of
// material a go to the actor of section a + 1, each corner with its own vertex, normal and
// texture coordinate (the face group indexes all three alike).
#include <array>
#include <vector>

#include "model/Geometry.h"
#include "model/crvn_o3d.h"
#include "model/crvn_struc.h"

struct TSectionMesh {
  std::vector<TAffineVector> Vertices;
  std::vector<TAffineVector> Normals;    // unit length
  std::vector<TAffineVector> TexCoords;  // (u, v, 0)
};
using TSectionMeshes = std::array<TSectionMesh, MaxModelSections>;

// Whether the triangles of a material are drawn: not those of a weapon material (flag 8),
// wherever it stands. The compiler appends a nameless weapon material for triangles without
// one after the model's own, so "the last weapon material" alone would show the model's weapon.
bool DrawnMaterial(const TObjeto3D& mesh, int32_t material);
// Face culling is used only for meshes with normals.
inline bool MeshHasNormals(const TObjeto3D& mesh) { return !mesh.Normals.empty(); }

// A corner whose normal is missing (-1, 65535), out of range or of zero length takes the
// triangle's plane normal; a degenerate triangle's is (0, 0, 1). Triangles whose vertex index
// is out of range are left out; a texture coordinate out of range reads as (0, 0).
TSectionMeshes BuildSectionMeshes(const TObjeto3D& mesh);
