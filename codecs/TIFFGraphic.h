#pragma once
// TTIFFGraphic reads the first image of a TIFF file; TEPSGraphic the TIFF preview of an
// Encapsulated PostScript file. Neither writes.
#include <memory>
#include <vector>

#include "codecs/ImageFormats.h"

class TByteReader;
class TDecoder;

class TTIFFGraphic : public TImageFormatGraphic {
 public:
  bool CanLoad(const uint8_t* data, size_t size) const override;
  bool ReadImageProperties(const uint8_t* data, size_t size, unsigned imageIndex) override;
  void LoadFromMemory(const uint8_t* data, size_t size) override;
  using TImageFormatGraphic::CanLoad;
  // TIFF is never written.
  void SaveToStream(TStream&) const {}

  struct TIFDEntry {
    uint16_t Tag = 0;
    uint16_t DataType = 0;
    uint32_t DataLength = 0;  // count of values
    uint8_t Value[4] = {};    // the value field as stored
  };

  // Tag access over the directory read last. Values that do not fit in the data are refused.
  bool FindTag(uint16_t tag, size_t& index) const;
  uint32_t GetValue(uint16_t tag, uint32_t defaultValue) const;
  std::vector<uint32_t> GetValueList(uint16_t tag) const;
  std::vector<uint8_t> GetByteList(uint16_t tag) const;
  std::vector<float> GetFloatList(uint16_t tag) const;

 protected:
  // Loads the TIFF that starts at data (offsets count from there).
  void LoadTIFF(const uint8_t* data, size_t size, const char* formatName);

  std::vector<TIFDEntry> FIFD;
  const uint8_t* FData = nullptr;
  size_t FSize = 0;
  uint32_t FPhotometric = 0;
  uint32_t FExtraSamples = 0;
  bool FFloatSamples = false;

 private:
  // The steps of LoadTIFF, in the order they run: everything that can refuse the file runs
  // before the picture is allocated.
  struct TLayout;
  struct TConversion;
  struct TBlockWork;
  void CheckFeatures() const;
  TConversion SetUpConversion();
  HPALETTE MakePalette(const char* formatName) const;
  TLayout ReadLayout(size_t size, const char* formatName);
  std::unique_ptr<TDecoder> MakeDecoder(uint32_t blockWidth);
  void CheckStoredData(const TLayout& l, bool coded, const char* formatName) const;
  bool PlainRGB(const TLayout& l, const TConversion& c) const;
  void DecodeBlocks(const TLayout& l, const TConversion& c, TDecoder* decoder, const uint8_t* data, size_t size,
                    const char* formatName);
  const uint8_t* ReadBlock(const TByteReader& block, TBlockWork& w, TDecoder* decoder, size_t want, uint32_t y0,
                           unsigned plane);
  void ConvertBlock(const TLayout& l, const TConversion& c, TBlockWork& w, uint32_t x0, uint32_t y0, uint32_t rows);
};

class TEPSGraphic : public TTIFFGraphic {
 public:
  bool CanLoad(const uint8_t* data, size_t size) const override;
  void LoadFromMemory(const uint8_t* data, size_t size) override;
  using TImageFormatGraphic::CanLoad;
};

const TGraphicClassRef& TIFFGraphicClass();
const TGraphicClassRef& EPSGraphicClass();
