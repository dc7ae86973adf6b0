#pragma once
// TRLAGraphic: Alias/Wavefront run-length images, 8-bit RGB with an optional matte as alpha.
#include "codecs/ImageFormats.h"

class TRLAGraphic : public TImageFormatGraphic {
 public:
  bool CanLoad(const uint8_t* data, size_t size) const override;
  bool ReadImageProperties(const uint8_t* data, size_t size, unsigned imageIndex) override;
  // A header that cannot be read leaves the bitmap empty without an error.
  void LoadFromMemory(const uint8_t* data, size_t size) override;
  using TImageFormatGraphic::CanLoad;

  bool BottomUp = false;
};

const TGraphicClassRef& RLAGraphicClass();
