// JPEG pictures through libjpeg with our source and error managers: any input either loads as a
// 24-bit bitmap or raises the picture error; libjpeg must never exit or read past the data.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/Bitmap.h"
#include "platform/BmpFormat.h"
#include "platform/Exceptions.h"
#include "platform/JpegImage.h"

namespace {

constexpr uint64_t kBudget = 1u << 20;

// A few hundred bytes may declare a picture of hundreds of megapixels that the program accepts
// (a scan cut short decodes on as zeros): seconds of decoding each, and no more coverage than a
// megapixel gives. Such a frame's height is lowered to keep it near a megapixel. Sizes the
// program refuses stay as they are, so their refusal is still fuzzed. The frame header is found
// as libjpeg finds it: stray bytes before a marker and fill bytes are passed over, segments
// skipped by their length.
void LowerAcceptedHugeFrame(std::vector<uint8_t>& d) {
  size_t i = 2;
  while (i + 4 <= d.size()) {
    const uint8_t m = d[i + 1];
    if (d[i] != 0xFF || m == 0xFF) {
      ++i;
      continue;
    }
    if (m == 0x00 || (m >= 0xD0 && m <= 0xD7) || m == 0x01) {
      i += 2;  // no length follows
      continue;
    }
    if (m == 0xD8 || m == 0xD9 || m == 0xDA) return;
    const bool frame = m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC;
    if (frame && i + 9 <= d.size()) {
      const uint64_t h = uint64_t{d[i + 5]} << 8 | d[i + 6], w = uint64_t{d[i + 7]} << 8 | d[i + 8];
      const bool accepted = w * h <= kBmpMaxPixels && BytesPerScanline(w, 24) * h <= kBmpMaxBytes;
      if (w > 0 && w * h > kBudget && accepted) {
        const uint64_t lower = kBudget / w;
        d[i + 5] = static_cast<uint8_t>(lower >> 8);
        d[i + 6] = static_cast<uint8_t>(lower);
      }
      return;
    }
    i += 2 + (size_t{d[i + 2]} << 8 | d[i + 3]);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> d(data, data + size);
  LowerAcceptedHugeFrame(d);
  try {
    TBitmap b = LoadJpegFromMemory(d.data(), d.size());
    if (!b.Empty() && b.PixelFormat() != TPixelFormat::pf24bit) __builtin_trap();
    uint32_t sum = 0;
    for (int y = 0; y < b.Height(); y += 5) sum += b.ScanLine(y)[0];
    (void)sum;
  } catch (const EInvalidGraphic&) {
  }
  return 0;
}
