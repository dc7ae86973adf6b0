// The portable map reader on arbitrary data.
#include "codecs/PPMGraphic.h"
#include "tests/fuzz/FuzzGraphic.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return FuzzGraphic<TPPMGraphic>(data, size); }
