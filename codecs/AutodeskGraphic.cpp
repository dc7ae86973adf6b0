// Autodesk Animator picture reading.
#include "codecs/AutodeskGraphic.h"

#include <algorithm>
#include <cstring>

#include "codecs/FormatSupport.h"

namespace {

constexpr const char* kName = "Autodesk";

namespace AutodeskLayout {
constexpr size_t HeaderSize = 32;
constexpr uint16_t Magic = 0x9119;
constexpr size_t PaletteSize = 768;
}  // namespace AutodeskLayout

bool HeaderFits(const uint8_t* d, size_t size) {
  return size >= AutodeskLayout::HeaderSize && (d[0] | (d[1] << 8)) == AutodeskLayout::Magic && d[10] == 8 &&
         d[11] == 0;
}

}  // namespace

bool TAutodeskGraphic::CanLoad(const uint8_t* data, size_t size) const {
  return size > AutodeskLayout::HeaderSize && HeaderFits(data, size);
}

bool TAutodeskGraphic::ReadImageProperties(const uint8_t* data, size_t size, unsigned imageIndex) {
  TImageFormatGraphic::ReadImageProperties(data, size, imageIndex);
  if (!HeaderFits(data, size)) return false;
  TImageProperties& p = ImageProperties;
  p.ColorScheme = csIndexed;
  p.Width = data[2] | (data[3] << 8);
  p.Height = data[4] | (data[5] << 8);
  p.BitsPerSample = 8;
  p.SamplesPerPixel = 1;
  p.BitsPerPixel = 8;
  p.Compression = ctNone;
  return true;
}

void TAutodeskGraphic::LoadFromMemory(const uint8_t* data, size_t size) {
  StartLoad();
  if (!ReadImageProperties(data, size, 0)) GraphicErrorFmt(gesInvalidImage, kName);
  const uint32_t w = ImageProperties.Width, h = ImageProperties.Height;
  FProgressRect = {0, 0, static_cast<int>(w), 1};
  Progress(TProgressStage::psStarting, 0, "Preparing...");
  ClearOnFailure(*this, [&] {
    TByteReader r = FormatReader(data, size, kName);
    r.Skip(AutodeskLayout::HeaderSize, "header");
    if (w == 0 || h == 0) FormatError(kName, "empty picture");
    const uint8_t* p = r.Bytes(AutodeskLayout::PaletteSize, "palette");
    std::vector<TPaletteEntry> pal(256);
    // Values are 0..63; stray larger ones saturate instead of wrapping round.
    auto level = [](uint8_t v) { return static_cast<uint8_t>(std::min(v * 4, 255)); };
    for (size_t i = 0; i < 256; ++i) pal[i] = {level(p[3 * i]), level(p[3 * i + 1]), level(p[3 * i + 2]), 0};
    r.RequireCount(h, w, "pixel rows");
    SetPixelFormat(TPixelFormat::pf8bit);
    SetPalette(CreatePalette(std::move(pal)));
    SetSize(static_cast<int>(w), static_cast<int>(h));
    for (uint32_t y = 0; y < h; ++y) {
      std::memcpy(ScanLine(static_cast<int>(y)), r.Bytes(w, "pixel row"), w);
      RowProgress(y, h);
    }
    Progress(TProgressStage::psEnding, 0, "");
  });
}

const TGraphicClassRef& AutodeskGraphicClass() {
  static const TGraphicClassRef cls = MakeFormatClass<TAutodeskGraphic>("TAutodeskGraphic");
  return cls;
}
