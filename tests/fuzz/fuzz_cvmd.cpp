// Feeds arbitrary bytes to the model data file reader. Refusals must be the reader's own
// errors and leave the mesh empty; a mesh that loads must index only inside its lists, have no
// shared corners, and survive a save and a second load.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "model/crvn_cvmdformat.h"
#include "platform/Exceptions.h"

namespace {

bool Inside(int32_t index, size_t size) { return index >= 0 && static_cast<size_t>(index) < size; }

void CheckLoaded(const TObjeto3D& m) {
  std::vector<uint8_t> usedV(m.Vertices.size()), usedT(m.UVs.size()), usedN(m.Normals.size());
  auto take = [](std::vector<uint8_t>& used, int32_t i) {
    if (!Inside(i, used.size()) || used[i]) __builtin_trap();
    used[i] = 1;
  };
  for (const TObjeto3DTriangulo& t : m.Triangles) {
    for (int32_t v : {t.Vertex0, t.Vertex1, t.Vertex2}) take(usedV, v);
    for (int32_t uv : {t.UV0, t.UV1, t.UV2}) take(usedT, uv);
    for (int32_t n : {t.Normal0, t.Normal1, t.Normal2})
      if (!IsNoNormal(n)) take(usedN, n);
    if (!Inside(t.Material, m.Materials.size())) __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TObjeto3D mesh;
  bool loaded = false;
  try {
    loaded = LoadFromCVMDMemory(mesh, data, size, "fuzz.cvmd");
  } catch (const EInOutError&) {
    if (!mesh.Empty()) __builtin_trap();
    return 0;
  }
  if (!loaded) {
    if (!mesh.Empty()) __builtin_trap();
    return 0;
  }
  CheckLoaded(mesh);
  // Unwelding can take a mesh past the 16-bit limits; the writer must refuse that cleanly.
  std::vector<uint8_t> saved;
  try {
    saved = CVMDBytes(mesh, "fuzz.cvmd");
  } catch (const EInOutError&) {
    return 0;
  }
  TObjeto3D again;
  if (!LoadFromCVMDMemory(again, saved.data(), saved.size(), "fuzz.cvmd")) __builtin_trap();
  if (again.Triangles.size() != mesh.Triangles.size() || again.Materials.size() != mesh.Materials.size())
    __builtin_trap();
  return 0;
}
