// Feeds arbitrary text to the Painter3D reader; the first byte chooses the mesh.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzMesh.h"
#include "modelcompiler/ModelFileReaders.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const int number = data[0] % 4;
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  IsPainter3DText(text);
  ReadP3DInfo(text);
  TObjeto3D mesh;
  try {
    ReadP3DMesh(text, number, mesh, "fuzz.p3d");
  } catch (const EModelFileError&) {
    if (!mesh.Empty()) __builtin_trap();
    return 0;
  }
  AssignP3DSkins(mesh);
  CheckFuzzedMesh(mesh);
  return 0;
}
