#pragma once
// What every model reader must leave behind: a mesh whose triangle corners index inside its
// lists (a material may be -1 or past the list: the writer gives those triangles a material of
// their own). Anything else traps.
#include "model/crvn_o3d.h"

inline void CheckFuzzedMesh(const TObjeto3D& m) {
  auto inside = [](int32_t i, size_t n) { return i >= 0 && static_cast<size_t>(i) < n; };
  for (const TObjeto3DTriangulo& t : m.Triangles) {
    for (int32_t v : {t.Vertex0, t.Vertex1, t.Vertex2})
      if (!inside(v, m.Vertices.size())) __builtin_trap();
    for (int32_t uv : {t.UV0, t.UV1, t.UV2})
      if (!inside(uv, m.UVs.size())) __builtin_trap();
    for (int32_t n : {t.Normal0, t.Normal1, t.Normal2})
      if (!IsNoNormal(n) && !inside(n, m.Normals.size())) __builtin_trap();
  }
}
