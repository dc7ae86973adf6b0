// Windows bitmap reader: any input either loads or raises the bitmap error; a loaded bitmap is
// then read pixel by pixel and written again, which must not fail.
#include <cstddef>
#include <cstdint>

#include "platform/Bitmap.h"
#include "platform/Exceptions.h"
#include "platform/Streams.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TBitmap b;
  try {
    b.LoadFromMemory(data, size);
  } catch (const EInvalidGraphic&) {
    return 0;
  }
  TColor sum = 0;
  for (int y = 0; y < b.Height(); y += 7)
    for (int x = 0; x < b.Width(); x += 7) sum += b.Pixel(x, y);
  (void)sum;
  if (static_cast<uint64_t>(b.Width()) * static_cast<uint64_t>(b.Height()) <= (1u << 16)) {
    TMemoryStream s;
    b.SaveToStream(s);
    s.SetPosition(0);
    TBitmap again;
    again.LoadFromStream(s);
    // Every pixel keeps its colour through a save and a load.
    if (again.Width() != b.Width() || again.Height() != b.Height() || again.PixelFormat() != b.PixelFormat())
      __builtin_trap();
    for (int y = 0; y < b.Height(); ++y)
      for (int x = 0; x < b.Width(); ++x)
        if (again.Pixel(x, y) != b.Pixel(x, y)) __builtin_trap();
  }
  return 0;
}
