// Feeds arbitrary bytes to the OBJ model loader (see FuzzVectorFile.h for what must hold).
#include "tests/fuzz/FuzzVectorFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return fuzzvf::Run<TGLOBJVectorFile>(data, size);
}
