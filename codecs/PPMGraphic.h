#pragma once
// TPPMGraphic: portable bitmaps, grey maps and pixel maps, plain (ASCII) and raw; maximum
// values up to 65535, scaled to 8 bits.
#include "codecs/ImageFormats.h"

class TPPMGraphic : public TImageFormatGraphic {
 public:
  bool CanLoad(const uint8_t* data, size_t size) const override;
  bool ReadImageProperties(const uint8_t* data, size_t size, unsigned imageIndex) override;
  void LoadFromMemory(const uint8_t* data, size_t size) override;
  using TImageFormatGraphic::CanLoad;
};

const TGraphicClassRef& PPMGraphicClass();
