// The Autodesk reader on arbitrary data.
#include "codecs/AutodeskGraphic.h"
#include "tests/fuzz/FuzzGraphic.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzGraphic<TAutodeskGraphic>(data, size);
}
