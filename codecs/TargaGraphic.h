#pragma once
// TTargaGraphic: Truevision Targa files, colour-mapped, true colour and grey, plain or
// run-length encoded, 8, 15, 16, 24 and 32 bits; written run-length encoded.
#include "codecs/ImageFormats.h"

class TTargaGraphic : public TImageFormatGraphic {
 public:
  bool CanLoad(const uint8_t* data, size_t size) const override;
  bool ReadImageProperties(const uint8_t* data, size_t size, unsigned imageIndex) override;
  // A header that cannot be read leaves the bitmap empty without an error.
  void LoadFromMemory(const uint8_t* data, size_t size) override;
  using TImageFormatGraphic::CanLoad;

  // The bitmap as a Targa file, run-length encoded unless compressed is false. An empty bitmap
  // gives no bytes.
  std::vector<uint8_t> SaveToMemory(bool compressed = true) const;
  void SaveToStream(TStream& stream) const;
  // Written through a temporary file and a rename.
  void SaveToFile(const std::string& fileName) const;
};

const TGraphicClassRef& TargaGraphicClass();
