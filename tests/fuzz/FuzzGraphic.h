#pragma once
// One picture reader on arbitrary data: it either loads or raises one of the program's errors;
// a loaded picture is then read back pixel by pixel.
#include <cstddef>
#include <cstdint>

#include "platform/Exceptions.h"

template <class TGraphic>
int FuzzGraphic(const uint8_t* data, size_t size) {
  TGraphic g;
  try {
    g.LoadFromMemory(data, size);
  } catch (const Exception&) {
    return 0;
  }
  TColor sum = 0;
  for (int y = 0; y < g.Height(); y += 3)
    for (int x = 0; x < g.Width(); x += 3) sum += g.Pixel(x, y);
  (void)sum;
  return 0;
}
