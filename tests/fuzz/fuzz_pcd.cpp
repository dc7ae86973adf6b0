// The Photo-CD reader on arbitrary data.
#include "codecs/PCDGraphic.h"
#include "tests/fuzz/FuzzGraphic.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return FuzzGraphic<TPCDGraphic>(data, size); }
