// Feeds arbitrary bytes to the MD2 reader. A refusal must be the reader's own error and leave it
// empty; a file that loads must index only inside its vertex arrays.
#include <cstddef>
#include <cstdint>

#include "platform/Exceptions.h"
#include "scene/FileMD2.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TFileMD2 md2;
  try {
    md2.LoadFromMemory(data, size);
  } catch (const EReadError&) {
    if (md2.FrameCount() != 0 || md2.TriangleCount() != 0 || !md2.FrameNames.empty()) __builtin_trap();
    return 0;
  }
  for (int f = 0; f < md2.FrameCount(); ++f)
    if (static_cast<int>(md2.Frame(f).size()) != md2.VertexCount()) __builtin_trap();
  for (const TMD2Triangle& t : md2.Triangles())
    for (uint16_t v : t.Vertex)
      if (v >= md2.VertexCount()) __builtin_trap();
  return 0;
}
