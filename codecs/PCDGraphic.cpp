// Photo-CD reading at resolutions 0 to 2.
#include "codecs/PCDGraphic.h"

#include <cstring>

#include "codecs/FormatSupport.h"

namespace {

constexpr const char* kName = "PCD";

namespace PCDLayout {
constexpr size_t Sector = 2048;
constexpr size_t HeaderSize = 3 * Sector;
constexpr size_t RotationByte = 0xE02;
constexpr size_t ImageCountAt = 10;
constexpr size_t FirstSector[3] = {4, 23, 96};
constexpr size_t OverviewSector = 5;
constexpr unsigned BaseResolution = 2;
}  // namespace PCDLayout

bool IsOverview(const uint8_t* d) { return std::memcmp(d, "PCD_OPA", 7) == 0; }
bool HasSignature(const uint8_t* d) { return IsOverview(d) || std::memcmp(d + PCDLayout::Sector, "PCD", 3) == 0; }

}  // namespace

bool TPCDGraphic::CanLoad(const uint8_t* data, size_t size) const {
  return size > PCDLayout::HeaderSize && HasSignature(data);
}

bool TPCDGraphic::ReadImageProperties(const uint8_t* data, size_t size, unsigned imageIndex) {
  TImageFormatGraphic::ReadImageProperties(data, size, imageIndex);
  if (size <= PCDLayout::HeaderSize) return false;
  const bool signature = HasSignature(data);
  Overview = signature && IsOverview(data);
  Rotation = signature ? data[PCDLayout::RotationByte] & 3 : 0;
  ImageCount =
      signature ? static_cast<uint16_t>(data[PCDLayout::ImageCountAt] << 8 | data[PCDLayout::ImageCountAt + 1]) : 0;
  Resolution = Overview ? 0 : std::min(imageIndex, 5u);
  TImageProperties& p = ImageProperties;
  p.Width = 192u << Resolution;
  p.Height = 128u << Resolution;
  if (Rotation & 1) std::swap(p.Width, p.Height);
  p.ColorScheme = csPhotoYCC;
  p.BitsPerSample = 8;
  p.SamplesPerPixel = 3;
  p.BitsPerPixel = 24;
  p.Compression = Resolution < 3 ? ctNone : ctPCDHuffmann;
  return true;
}

void TPCDGraphic::LoadFromMemory(const uint8_t* data, size_t size) {
  StartLoad();
  if (!ReadImageProperties(data, size, PCDLayout::BaseResolution)) return;
  FProgressRect = {0, 0, static_cast<int>(ImageProperties.Width), 1};
  Progress(TProgressStage::psStarting, 0, "Preparing...");
  ClearOnFailure(*this, [&] {
    // The stored picture is always landscape; rotation only turns it into the bitmap.
    const uint32_t w = 192u << Resolution, h = 128u << Resolution;
    ColorManager.SourceOptions = 0;
    ColorManager.TargetOptions = 0;
    ColorManager.SetSourceScheme(csPhotoYCC);
    ColorManager.SetSourceBits(8);
    ColorManager.SetSourceSamples(3);
    ColorManager.SetTargetScheme(csBGR);
    ColorManager.SetTargetBits(8);
    ColorManager.SetTargetSamples(3);
    SetPixelFormat(TPixelFormat::pf24bit);

    const size_t start =
        (Overview ? PCDLayout::OverviewSector : PCDLayout::FirstSector[Resolution]) * PCDLayout::Sector;
    TByteReader r = FormatReader(data, size, kName);
    r.Seek(std::min(start, size), "image data");
    if (start > size) FormatError(kName, "image data missing");
    r.RequireCount(h / 2, static_cast<uint64_t>(w) * 3, "image rows");

    Progress(TProgressStage::psStarting, 0, "Loading data...");
    // Chroma planes are read into the top left quarter of full-size planes and upsampled there.
    std::vector<uint8_t> luma(static_cast<size_t>(w) * h), cb(luma.size()), cr(luma.size());
    for (uint32_t y = 0; y < h; y += 2) {
      std::memcpy(&luma[static_cast<size_t>(y) * w], r.Bytes(w, "luminance"), w);
      std::memcpy(&luma[static_cast<size_t>(y + 1) * w], r.Bytes(w, "luminance"), w);
      std::memcpy(&cb[static_cast<size_t>(y / 2) * w], r.Bytes(w / 2, "chroma"), w / 2);
      std::memcpy(&cr[static_cast<size_t>(y / 2) * w], r.Bytes(w / 2, "chroma"), w / 2);
    }
    Progress(TProgressStage::psStarting, 0, "Upsampling...");
    Upsample(w / 2, h / 2, w, cb.data());
    Upsample(w / 2, h / 2, w, cr.data());

    Progress(TProgressStage::psStarting, 0, "Transfering...");
    const uint32_t bw = ImageProperties.Width, bh = ImageProperties.Height;
    SetSize(static_cast<int>(bw), static_cast<int>(bh));
    std::vector<uint8_t> row(static_cast<size_t>(w) * 3);
    for (uint32_t y = 0; y < h; ++y) {
      const size_t at = static_cast<size_t>(y) * w;
      const uint8_t* planes[3] = {&luma[at], &cb[at], &cr[at]};
      if (Rotation == 0) {
        ColorManager.ConvertRow(std::span<const uint8_t* const>(planes, 3), ScanLine(static_cast<int>(y)), w, 0xFF);
      } else {
        ColorManager.ConvertRow(std::span<const uint8_t* const>(planes, 3), row.data(), w, 0xFF);
        // Stored pixel (x, y) lands where a turn of the picture puts it.
        for (uint32_t x = 0; x < w; ++x) {
          uint32_t tx, ty;
          switch (Rotation) {
            case 1: tx = y, ty = w - 1 - x; break;
            case 2: tx = w - 1 - x, ty = h - 1 - y; break;
            default: tx = h - 1 - y, ty = x; break;
          }
          std::memcpy(ScanLine(static_cast<int>(ty)) + 3 * static_cast<size_t>(tx), &row[3 * static_cast<size_t>(x)],
                      3);
        }
      }
      RowProgress(y, h);
    }
    Progress(TProgressStage::psEnding, 0, "");
  });
}

const TGraphicClassRef& PCDGraphicClass() {
  static const TGraphicClassRef cls = MakeFormatClass<TPCDGraphic>("TPCDGraphic");
  return cls;
}
