// JPEG pictures through libjpeg with our source and error managers: any input either loads as a
// 24-bit bitmap or raises the picture error; libjpeg must never exit or read past the data.
#include <cstddef>
#include <cstdint>

#include "platform/Exceptions.h"
#include "platform/JpegImage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    TBitmap b = LoadJpegFromMemory(data, size);
    if (!b.Empty() && b.PixelFormat() != TPixelFormat::pf24bit) __builtin_trap();
    uint32_t sum = 0;
    for (int y = 0; y < b.Height(); y += 5) sum += b.ScanLine(y)[0];
    (void)sum;
  } catch (const EInvalidGraphic&) {
  }
  return 0;
}
