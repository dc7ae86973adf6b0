// The SGI reader on arbitrary data.
#include "codecs/SGIGraphic.h"
#include "tests/fuzz/FuzzGraphic.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return FuzzGraphic<TSGIGraphic>(data, size); }
