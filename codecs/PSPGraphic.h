#pragma once
// TPSPGraphic: the composite image of Paintshop Pro files (major version 3 and later): 1, 4
// and 8-bit indexed or grey, 24-bit RGB; uncompressed, run-length or deflated channels.
#include "codecs/ImageFormats.h"

class TPSPGraphic : public TImageFormatGraphic {
 public:
  bool CanLoad(const uint8_t* data, size_t size) const override;
  bool ReadImageProperties(const uint8_t* data, size_t size, unsigned imageIndex) override;
  void LoadFromMemory(const uint8_t* data, size_t size) override;
  using TImageFormatGraphic::CanLoad;
};

const TGraphicClassRef& PSPGraphicClass();
