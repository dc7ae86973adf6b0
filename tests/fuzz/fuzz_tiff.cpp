// The TIFF reader on arbitrary data.
#include "codecs/TIFFGraphic.h"
#include "tests/fuzz/FuzzGraphic.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzGraphic<TTIFFGraphic>(data, size);
}
