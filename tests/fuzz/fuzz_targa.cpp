// The Targa reader on arbitrary data.
#include "codecs/TargaGraphic.h"
#include "tests/fuzz/FuzzGraphic.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzGraphic<TTargaGraphic>(data, size);
}
