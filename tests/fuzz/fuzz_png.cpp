// The PNG reader on arbitrary data.
#include "codecs/PNGGraphic.h"
#include "tests/fuzz/FuzzGraphic.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return FuzzGraphic<TPNGGraphic>(data, size); }
