#pragma once
// TPSDGraphic: the merged image of Photoshop files: bitmap, grey, duotone, indexed, RGB(A),
// multichannel, CMYK and L*a*b*, 1, 8 or 16 bits per channel, raw or PackBits. Layers are not read.
#include "codecs/ImageFormats.h"

class TPSDGraphic : public TImageFormatGraphic {
 public:
  bool CanLoad(const uint8_t* data, size_t size) const override;
  bool ReadImageProperties(const uint8_t* data, size_t size, unsigned imageIndex) override;
  void LoadFromMemory(const uint8_t* data, size_t size) override;
  using TImageFormatGraphic::CanLoad;

  uint16_t Channels = 0;  // as stored; SamplesPerPixel holds the ones read
  uint16_t Mode = 0;
};

const TGraphicClassRef& PSDGraphicClass();
