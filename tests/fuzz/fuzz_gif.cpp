// GIF reader: any input either loads or raises the codec's error. A loaded picture of modest
// size renders its frames and writes itself again; what it writes must read back with the same
// frames.
#include <cstddef>
#include <cstdint>

#include "codecs/GIFImage.h"
#include "platform/Exceptions.h"
#include "platform/Streams.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TGIFImage g;
  try {
    TMemoryStream s(std::vector<uint8_t>(data, data + size));
    g.LoadFromStream(s);
  } catch (const GIFException&) {
    return 0;
  }
  // Rendering and writing large pictures costs time, not coverage: a few hundred bytes may
  // declare frames of a hundred million pixels, and each pixel costs the instrumented encoder
  // and decoder some hundred nanoseconds.
  constexpr uint64_t kBudget = 1u << 16;
  const uint64_t screen = static_cast<uint64_t>(g.Width()) * static_cast<uint64_t>(g.Height());
  uint64_t framePixels = 0;
  for (auto& f : g.Images) framePixels += static_cast<uint64_t>(f->Width) * f->Height;
  try {
    for (auto& f : g.Images)
      if (static_cast<uint64_t>(f->Width) * f->Height <= kBudget) f->Bitmap();
    if (screen <= kBudget) {
      TBitmap b;
      g.AssignTo(b);
    }
  } catch (const GIFException&) {
    // No colour table: reported, not a fault.
  }
  if (framePixels > kBudget) return 0;
  TMemoryStream out;
  try {
    g.SaveToStream(out);
  } catch (const GIFException&) {
    // No frames, or an index beyond the colour table.
    return 0;
  }
  TGIFImage again;
  out.SetPosition(0);
  again.LoadFromStream(out);
  size_t withPixels = 0, againWithPixels = 0;
  for (auto& f : g.Images) withPixels += !f->Empty();
  for (auto& f : again.Images) againWithPixels += !f->Empty();
  if (withPixels != againWithPixels) __builtin_trap();
  for (size_t i = 0, j = 0; i < g.Images.size() && j < again.Images.size(); ++i) {
    if (g.Images[i]->Empty()) continue;
    while (j < again.Images.size() && again.Images[j]->Empty()) ++j;
    if (j == again.Images.size() || again.Images[j]->Data != g.Images[i]->Data) __builtin_trap();
    ++j;
  }
  return 0;
}
