// Feeds arbitrary bytes to the 3DS reader and the model compiler's 3DStudio reader. Refusals
// must be the reader's own errors; meshes read must index inside their lists.
#include <cstddef>
#include <cstdint>

#include "FuzzMesh.h"
#include "modelcompiler/ModelFileReaders.h"
#include "modelcompiler/ModelWriter.h"
#include "scene/File3DS.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TFile3DS file;
  try {
    file.LoadFromMemory(data, size);
  } catch (const E3DSError&) {
    if (file.Objects.MeshCount() != 0) __builtin_trap();
    return 0;
  }
  file.GetDatabaseRelease();
  try {
    Read3DSInfo(file);  // reads the first mesh, which may be refused
  } catch (const E3DSError&) {
  }
  const int meshes = file.Objects.MeshCount();
  for (int i = 0; i < meshes && i < 8; ++i) {
    TObjeto3D mesh;
    try {
      Read3DSMesh(file, i, mesh, "fuzz.3ds");
    } catch (const E3DSError&) {
      if (!mesh.Empty()) __builtin_trap();
      continue;
    } catch (const EModelFileError&) {
      if (!mesh.Empty()) __builtin_trap();
      continue;
    }
    CheckFuzzedMesh(mesh);
    AdjustMaterials(mesh, BuildMaterialList(mesh));
    bool drawn;
    DrawWireBitmap(mesh, 0, drawn);
  }
  return 0;
}
