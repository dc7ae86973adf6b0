// Feeds arbitrary bytes to the Unreal 3D reader: the first byte chooses the frame, the next two
// the length of the data file; the rest is the animation file.
#include <cstddef>
#include <cstdint>

#include "FuzzMesh.h"
#include "modelcompiler/ModelFileReaders.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const int frame = data[0];
  size_t split = static_cast<size_t>(data[1] | (data[2] << 8));
  data += 3, size -= 3;
  if (split > size) split = size;
  const TBytes d(data, data + split), a(data + split, data + size);
  try {
    Read3DInfo(d, a, "fuzz");
  } catch (const EModelFileError&) {
  }
  TObjeto3D mesh;
  try {
    Read3DMesh(d, a, frame, mesh, "fuzz");
  } catch (const EModelFileError&) {
    if (!mesh.Empty()) __builtin_trap();
    return 0;
  }
  CheckFuzzedMesh(mesh);
  return 0;
}
