// The Dr. Halo CUT reader on arbitrary data.
#include "codecs/CUTGraphic.h"
#include "tests/fuzz/FuzzGraphic.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return FuzzGraphic<TCUTGraphic>(data, size); }
