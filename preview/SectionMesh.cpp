#include "preview/SectionMesh.h"

#include <cmath>

bool DrawnMaterial(const TObjeto3D& mesh, int32_t material) {
  if (material < 0 || material >= MaxModelSections) return false;
  return static_cast<size_t>(material) >= mesh.Materials.size() ||
         !(mesh.Materials[static_cast<size_t>(material)].Flags & MATERIAL_WEAPON);
}

namespace {
bool InRange(int32_t index, size_t size) { return index >= 0 && static_cast<size_t>(index) < size; }

TAffineVector Vertex(const TObjeto3D& mesh, int32_t i) {
  const TObjeto3DVertice& v = mesh.Vertices[static_cast<size_t>(i)];
  return AffineVectorMake(v.X, v.Y, v.Z);
}

// Unit normal of (a, b, c) with counter-clockwise front faces; (0, 0, 1) when it has no area.
TAffineVector PlaneNormal(const TAffineVector& a, const TAffineVector& b, const TAffineVector& c) {
  const TAffineVector n = VectorCrossProduct(VectorSubtract(b, a), VectorSubtract(c, a));
  const float len = VectorLength(n);
  if (!(len > 0) || !std::isfinite(len)) return AffineVectorMake(0, 0, 1);
  return VectorScale(n, 1 / len);
}
}  // namespace

TSectionMeshes BuildSectionMeshes(const TObjeto3D& mesh) {
  TSectionMeshes sections;
  for (const TObjeto3DTriangulo& t : mesh.Triangles) {
    if (!DrawnMaterial(mesh, t.Material)) continue;
    const int32_t v[3] = {t.Vertex0, t.Vertex1, t.Vertex2};
    const int32_t uv[3] = {t.UV0, t.UV1, t.UV2};
    const int32_t nm[3] = {t.Normal0, t.Normal1, t.Normal2};
    if (!InRange(v[0], mesh.Vertices.size()) || !InRange(v[1], mesh.Vertices.size()) ||
        !InRange(v[2], mesh.Vertices.size()))
      continue;
    const TAffineVector p[3] = {Vertex(mesh, v[0]), Vertex(mesh, v[1]), Vertex(mesh, v[2])};
    const TAffineVector plane = PlaneNormal(p[0], p[1], p[2]);
    TSectionMesh& s = sections[static_cast<size_t>(t.Material)];
    for (int c = 0; c < 3; ++c) {
      s.Vertices.push_back(p[c]);
      if (InRange(uv[c], mesh.UVs.size())) {
        const TObjeto3DCoordenadaUV& w = mesh.UVs[static_cast<size_t>(uv[c])];
        s.TexCoords.push_back(AffineVectorMake(w.U, w.V, 0));
      } else {
        s.TexCoords.push_back(AffineVectorMake(0, 0, 0));
      }
      TAffineVector normal = plane;
      if (!IsNoNormal(nm[c]) && InRange(nm[c], mesh.Normals.size())) {
        const TObjeto3DNormal& n = mesh.Normals[static_cast<size_t>(nm[c])];
        const TAffineVector stored = AffineVectorMake(n.X, n.Y, n.Z);
        const float len = VectorLength(stored);
        if (len > 0 && std::isfinite(len)) normal = VectorScale(stored, 1 / len);
      }
      s.Normals.push_back(normal);
    }
  }
  return sections;
}
