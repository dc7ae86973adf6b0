#pragma once
// TCUTGraphic: Dr. Halo CUT images with the palette file (same name, ".pal") beside them;
// without one the picture is grey.
#include "codecs/ImageFormats.h"

class TCUTGraphic : public TImageFormatGraphic {
 public:
  // The format has no signature.
  bool CanLoad(const uint8_t* data, size_t size) const override;
  bool ReadImageProperties(const uint8_t* data, size_t size, unsigned imageIndex) override;
  // Uses the palette file of the last LoadFromFile, if any; a header that cannot be read leaves
  // the bitmap empty without an error.
  void LoadFromMemory(const uint8_t* data, size_t size) override;
  // Keeps the palette file's name, then loads.
  void LoadFromFile(const std::string& fileName);
  using TImageFormatGraphic::CanLoad;

  std::string PaletteFile;
};

// The palette of a Dr. Halo palette file's bytes; at most 256 entries.
std::vector<TPaletteEntry> ReadCUTPalette(const uint8_t* data, size_t size);

const TGraphicClassRef& CUTGraphicClass();
