// The RLA reader on arbitrary data.
#include "codecs/RLAGraphic.h"
#include "tests/fuzz/FuzzGraphic.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return FuzzGraphic<TRLAGraphic>(data, size); }
