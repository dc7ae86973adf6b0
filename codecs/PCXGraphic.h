#pragma once
// TPCXGraphic: ZSoft Paintbrush files (and Word 5.x screen captures): 1, 2, 4 and 8 bits in one
// plane, 16 colours in four 1-bit planes, true colour in three planes; plain or run-length.
#include "codecs/ImageFormats.h"

class TPCXGraphic : public TImageFormatGraphic {
 public:
  bool CanLoad(const uint8_t* data, size_t size) const override;
  bool ReadImageProperties(const uint8_t* data, size_t size, unsigned imageIndex) override;
  // A header that cannot be read leaves the bitmap empty without an error.
  void LoadFromMemory(const uint8_t* data, size_t size) override;
  using TImageFormatGraphic::CanLoad;
};

const TGraphicClassRef& PCXGraphicClass();
