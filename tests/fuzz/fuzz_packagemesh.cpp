// Feeds arbitrary bytes to the package mesh object reader: the first byte chooses the game and
// the package version (61, 65, 66 or 69), the rest is the object's data. A mesh read must build
// every frame it claims inside its lists.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzMesh.h"
#include "modelcompiler/PackageModels.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static const int32_t versions[] = {61, 65, 66, 69};
  const TGameKind game = static_cast<TGameKind>(data[0] & 3);
  const int32_t version = versions[(data[0] >> 2) & 3];
  const std::vector<uint8_t> object(data + 1, data + size);
  static const std::vector<std::string> names = {"None", "Breath1", "Run", "Walk"};
  TPackageMesh mesh;
  try {
    ReadMeshObjectData(object, version, game, names, mesh, "fuzz.u");
  } catch (const EModelFileError&) {
    if (!mesh.Verts.empty()) __builtin_trap();
    return 0;
  }
  OfferedSequences(mesh);
  for (int frame = 0; frame < mesh.AnimFrames && frame < 3; ++frame) {
    TObjeto3D built;
    BuildPackageFrame(mesh, frame, frame == 1, built);
    CheckFuzzedMesh(built);
    for (const TObjeto3DTriangulo& t : built.Triangles)
      if (t.Material < 0 || t.Material >= static_cast<int32_t>(built.Materials.size())) __builtin_trap();
  }
  return 0;
}
