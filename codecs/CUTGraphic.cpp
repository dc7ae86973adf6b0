// Dr. Halo CUT reading.
#include "codecs/CUTGraphic.h"

#include <cstring>
#include <filesystem>

#include "codecs/FormatSupport.h"
#include "codecs/GraphicCompression.h"
#include "platform/Streams.h"

namespace {

constexpr const char* kName = "CUT";

namespace CUTLayout {
constexpr size_t HeaderSize = 6;
constexpr size_t PaletteBlock = 512;
constexpr size_t PaletteCountAt = 12;
constexpr size_t PaletteEntriesAt = 40;
constexpr size_t PaletteBlockEnd = 506;  // past this an entry continues in the next block
}  // namespace CUTLayout

}  // namespace

std::vector<TPaletteEntry> ReadCUTPalette(const uint8_t* data, size_t size) {
  std::vector<TPaletteEntry> pal;
  if (size < CUTLayout::PaletteCountAt + 2) return pal;
  // The file counts entries less one; more than 256 would not fit an 8-bit picture.
  const size_t count =
      std::min<size_t>((data[CUTLayout::PaletteCountAt] | (data[CUTLayout::PaletteCountAt + 1] << 8)) + 1u, 256);
  size_t block = 0, pos = CUTLayout::PaletteEntriesAt;
  for (size_t i = 0; i < count; ++i) {
    if (pos > CUTLayout::PaletteBlockEnd) ++block, pos = 0;
    const size_t at = block * CUTLayout::PaletteBlock + pos;
    if (at + 6 > size) break;
    pal.push_back({data[at], data[at + 2], data[at + 4], 0});
    pos += 6;
  }
  return pal;
}

bool TCUTGraphic::CanLoad(const uint8_t*, size_t) const { return false; }

bool TCUTGraphic::ReadImageProperties(const uint8_t* data, size_t size, unsigned imageIndex) {
  TImageFormatGraphic::ReadImageProperties(data, size, imageIndex);
  if (size < CUTLayout::HeaderSize) return false;
  TImageProperties& p = ImageProperties;
  p.Width = data[0] | (data[1] << 8);
  p.Height = data[2] | (data[3] << 8);
  p.ColorScheme = csIndexed;
  p.BitsPerSample = 8;
  p.SamplesPerPixel = 1;
  p.BitsPerPixel = 8;
  p.Compression = ctRLE;
  return true;
}

void TCUTGraphic::LoadFromFile(const std::string& fileName) {
  PaletteFile = std::filesystem::path(fileName).replace_extension(".pal").string();
  TImageFormatGraphic::LoadFromFile(fileName);
}

void TCUTGraphic::LoadFromMemory(const uint8_t* data, size_t size) {
  StartLoad();
  if (!ReadImageProperties(data, size, 0)) return;
  const uint32_t w = ImageProperties.Width, h = ImageProperties.Height;
  FProgressRect = {0, 0, static_cast<int>(w), 1};
  Progress(TProgressStage::psStarting, 0, "Transfering...");
  ClearOnFailure(*this, [&] {
    if (w == 0 || h == 0) return;
    if (!ImageSizeAllowed(w, h, 8)) FormatError(kName, "picture too large");
    // Every row takes at least its byte count and an end code.
    if (static_cast<uint64_t>(h) * 3 > size - CUTLayout::HeaderSize) FormatError(kName, "image data ends early");
    // A run of two bytes gives at most 127 pixels.
    CheckProportion(kName, size - CUTLayout::HeaderSize, static_cast<uint64_t>(w) * h, 64);
    SetPixelFormat(TPixelFormat::pf8bit);
    std::vector<TPaletteEntry> pal;
    std::error_code ec;
    if (!PaletteFile.empty() && std::filesystem::is_regular_file(PaletteFile, ec)) {
      const std::vector<uint8_t> bytes = ReadWholeFile(PaletteFile);
      pal = ReadCUTPalette(bytes.data(), bytes.size());
    }
    if (pal.empty()) {
      pal.resize(256);
      for (size_t i = 0; i < 256; ++i) pal[i].peRed = pal[i].peGreen = pal[i].peBlue = static_cast<uint8_t>(i);
    }
    SetPalette(CreatePalette(std::move(pal)));
    SetSize(static_cast<int>(w), static_cast<int>(h));
    const uint8_t* s = data + CUTLayout::HeaderSize;
    const uint8_t* end = data + size;
    TCUTRLEDecoder decoder;
    for (uint32_t y = 0; y < h; ++y) {
      if (s >= end) FormatError(kName, "image data ends early");
      uint8_t* t = ScanLine(static_cast<int>(y));
      decoder.Decode(s, t, static_cast<size_t>(end - s), w);
      // A row may close early with its end code; data that runs out inside it is cut off.
      if (decoder.LastOutput < w && s >= end) FormatError(kName, "image data ends early");
      RowProgress(y, h);
    }
    Progress(TProgressStage::psEnding, 0, "");
  });
}

const TGraphicClassRef& CUTGraphicClass() {
  static const TGraphicClassRef cls = MakeFormatClass<TCUTGraphic>("TCUTGraphic");
  return cls;
}
