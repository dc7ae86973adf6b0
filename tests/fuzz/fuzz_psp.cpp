// The Paintshop Pro reader on arbitrary data.
#include "codecs/PSPGraphic.h"
#include "tests/fuzz/FuzzGraphic.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return FuzzGraphic<TPSPGraphic>(data, size); }
