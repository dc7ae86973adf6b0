#pragma once
// TAutodeskGraphic: Autodesk Animator cel and picture files (8-bit, 256-colour palette of 6-bit
// values).
#include "codecs/ImageFormats.h"

class TAutodeskGraphic : public TImageFormatGraphic {
 public:
  bool CanLoad(const uint8_t* data, size_t size) const override;
  bool ReadImageProperties(const uint8_t* data, size_t size, unsigned imageIndex) override;
  void LoadFromMemory(const uint8_t* data, size_t size) override;
  using TImageFormatGraphic::CanLoad;
};

const TGraphicClassRef& AutodeskGraphicClass();
