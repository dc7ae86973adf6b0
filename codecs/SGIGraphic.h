#pragma once
// TSGIGraphic: SGI images, grey, RGB and RGBA, 8 or 16 bits per channel, verbatim or
// run-length encoded.
#include "codecs/ImageFormats.h"

class TSGIGraphic : public TImageFormatGraphic {
 public:
  bool CanLoad(const uint8_t* data, size_t size) const override;
  bool ReadImageProperties(const uint8_t* data, size_t size, unsigned imageIndex) override;
  void LoadFromMemory(const uint8_t* data, size_t size) override;
  using TImageFormatGraphic::CanLoad;
};

const TGraphicClassRef& SGIGraphicClass();
