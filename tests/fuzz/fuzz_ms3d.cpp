// Feeds arbitrary bytes to the MilkShape3D reader.
#include <cstddef>
#include <cstdint>

#include "FuzzMesh.h"
#include "modelcompiler/ModelFileReaders.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const TBytes bytes(data, data + size);
  try {
    ReadMS3DInfo(bytes, "fuzz.ms3d");
  } catch (const EModelFileError&) {
  }
  TObjeto3D mesh;
  try {
    ReadMS3DMesh(bytes, mesh, "fuzz.ms3d");
  } catch (const EModelFileError&) {
    if (!mesh.Empty()) __builtin_trap();
    return 0;
  }
  CheckFuzzedMesh(mesh);
  for (const TObjeto3DTriangulo& t : mesh.Triangles)
    if (t.Material < -1 || t.Material >= static_cast<int32_t>(mesh.Materials.size())) __builtin_trap();
  return 0;
}
