#pragma once
// TPCDGraphic: Kodak Photo-CD image packs, read at the base resolution (768 by 512, turned as
// the pack says); overview packs give their first thumbnail.
#include "codecs/ImageFormats.h"

class TPCDGraphic : public TImageFormatGraphic {
 public:
  bool CanLoad(const uint8_t* data, size_t size) const override;
  // imageIndex selects the resolution, 0 (192 by 128) to 5; overview packs always give 0.
  bool ReadImageProperties(const uint8_t* data, size_t size, unsigned imageIndex) override;
  // A stream too short for the header leaves the bitmap empty without an error.
  void LoadFromMemory(const uint8_t* data, size_t size) override;
  using TImageFormatGraphic::CanLoad;

  bool Overview = false;
  uint8_t Rotation = 0;  // quarter turns, 0 to 3
  uint16_t ImageCount = 0;
  unsigned Resolution = 0;
};

const TGraphicClassRef& PCDGraphicClass();
