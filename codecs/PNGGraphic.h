#pragma once
// TPNGGraphic: Portable Network Graphics files (all five colour types, bit depths 1 to 16,
// Adam7 interlacing, palettes, gamma, background and transparency chunks).
#include "codecs/ImageFormats.h"

class TPNGGraphic : public TImageFormatGraphic {
 public:
  bool CanLoad(const uint8_t* data, size_t size) const override;
  bool ReadImageProperties(const uint8_t* data, size_t size, unsigned imageIndex) override;
  void LoadFromMemory(const uint8_t* data, size_t size) override;
  using TImageFormatGraphic::CanLoad;

  // What the background and transparency chunks said (the bitmap itself has no transparency).
  TColor BackgroundColor = 0xFFFFFF;
  TColor TransparentColor = 0x1FFFFFFF;  // none
  std::vector<uint8_t> TransparencyTable;
};

const TGraphicClassRef& PNGGraphicClass();
