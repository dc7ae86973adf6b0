#pragma once
// One check for every model-file loader: a refusal must be one of the program's own errors and
// add nothing to the mesh; a mesh that loads must index only inside its lists.
#include <cstddef>
#include <cstdint>

#include "platform/Exceptions.h"
#include "scene/VectorFileFormats.h"

namespace fuzzvf {

inline void CheckIndices(const TIntegerList& indices, int count) {
  for (int i = 0; i < indices.Count(); ++i)
    if (indices[i] < 0 || indices[i] >= count) __builtin_trap();
}

template <class TLoader>
int Run(const uint8_t* data, size_t size) {
  TFreeForm mesh;
  TLoader loader(&mesh);
  try {
    loader.LoadFromMemory(data, size);
  } catch (const Exception&) {
    if (mesh.MeshObjects().Count() != 0) __builtin_trap();
    return 0;
  }
  if (mesh.MeshObjects().Count() != 1) __builtin_trap();
  TMeshObject* mo = mesh.MeshObjects().Items(0);
  for (int i = 0; i < mo->FaceGroups().Count(); ++i) {
    auto* g = dynamic_cast<TFGVertexNormalTexIndexList*>(mo->FaceGroups().Items(i));
    if (!g) __builtin_trap();
    CheckIndices(g->VertexIndices, mo->Vertices.Count());
    CheckIndices(g->NormalIndices, mo->Normals.Count());
    CheckIndices(g->TexCoordIndices, mo->TexCoords.Count());
  }
  if (mo->Mode != momFaceGroups && (mo->Vertices.Count() % 3 != 0 || mo->Normals.Count() != mo->Vertices.Count()))
    __builtin_trap();
  return 0;
}

}  // namespace fuzzvf
