// The Photoshop reader on arbitrary data.
#include "codecs/PSDGraphic.h"
#include "tests/fuzz/FuzzGraphic.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return FuzzGraphic<TPSDGraphic>(data, size); }
