// SGI image reading.
#include "codecs/SGIGraphic.h"

#include <cstring>

#include "codecs/FormatSupport.h"
#include "codecs/GraphicCompression.h"

namespace {

constexpr const char* kName = "sgi, bw or rgb(a)";

namespace SGILayout {
constexpr size_t HeaderSize = 512;
constexpr uint16_t Magic = 474;
}  // namespace SGILayout

struct TSGIHeader {
  uint8_t Storage = 0, BytesPerChannel = 0;
  uint16_t Dimension = 0, Width = 0, Height = 0, Channels = 0;
};

unsigned BE16(const uint8_t* p) { return static_cast<unsigned>(p[0] << 8 | p[1]); }

bool ReadHeader(const uint8_t* d, size_t size, TSGIHeader& h) {
  if (size < SGILayout::HeaderSize || BE16(d) != SGILayout::Magic) return false;
  h.Storage = d[2];
  h.BytesPerChannel = d[3];
  h.Dimension = static_cast<uint16_t>(BE16(d + 4));
  h.Width = static_cast<uint16_t>(BE16(d + 6));
  h.Height = static_cast<uint16_t>(BE16(d + 8));
  h.Channels = static_cast<uint16_t>(BE16(d + 10));
  // A one-dimensional image is one row of one channel, a two-dimensional one has one channel.
  if (h.Dimension == 1) h.Height = 1;
  if (h.Dimension <= 2) h.Channels = 1;
  return (h.BytesPerChannel == 1 || h.BytesPerChannel == 2) && h.Dimension >= 1 && h.Dimension <= 3;
}

}  // namespace

bool TSGIGraphic::CanLoad(const uint8_t* data, size_t size) const {
  TSGIHeader h;
  return size > SGILayout::HeaderSize && ReadHeader(data, size, h);
}

bool TSGIGraphic::ReadImageProperties(const uint8_t* data, size_t size, unsigned imageIndex) {
  TImageFormatGraphic::ReadImageProperties(data, size, imageIndex);
  TSGIHeader h;
  if (!ReadHeader(data, size, h)) return false;
  TImageProperties& p = ImageProperties;
  p.Options = ioBigEndian;
  p.BitsPerSample = static_cast<uint8_t>(8 * h.BytesPerChannel);
  p.Width = h.Width;
  p.Height = h.Height;
  p.SamplesPerPixel = static_cast<uint8_t>(h.Channels > 255 ? 255 : h.Channels);
  p.ColorScheme = h.Channels == 3 ? csRGB : h.Channels == 4 ? csRGBA : csIndexed;
  p.BitsPerPixel = static_cast<uint8_t>(p.BitsPerSample * p.SamplesPerPixel);
  p.Compression = h.Storage == 1 ? ctRLE : ctNone;
  return true;
}

void TSGIGraphic::LoadFromMemory(const uint8_t* data, size_t size) {
  StartLoad();
  if (!ReadImageProperties(data, size, 0)) GraphicErrorFmt(gesInvalidImage, kName);
  FProgressRect = {0, 0, static_cast<int>(ImageProperties.Width), 1};
  Progress(TProgressStage::psStarting, 0, "Preparing...");
  ClearOnFailure(*this, [&] {
    TSGIHeader h;
    ReadHeader(data, size, h);
    const TImageProperties& p = ImageProperties;
    // Two channels are grey with alpha, read as grey; other counts have no pixel format.
    if (h.Channels != 1 && h.Channels != 2 && h.Channels != 3 && h.Channels != 4)
      FormatError(kName, "unsupported channel count " + std::to_string(h.Channels));
    const unsigned channels = h.Channels == 2 ? 1 : h.Channels;
    const uint32_t w = h.Width, height = h.Height;
    if (!ImageSizeAllowed(w, height, p.BitsPerSample * channels)) FormatError(kName, "picture size out of range");
    const size_t bpc = h.BytesPerChannel;
    const size_t rowSize = w * bpc;

    TByteReader r = FormatReader(data, size, kName);
    std::vector<uint32_t> starts, lengths;
    const size_t tableEntries = static_cast<size_t>(height) * h.Channels;
    if (h.Storage == 1) {
      r.Seek(SGILayout::HeaderSize, "row tables");
      r.RequireCount(tableEntries, 8, "row table");
      starts.resize(tableEntries);
      lengths.resize(tableEntries);
      for (uint32_t& v : starts) v = r.U32BE("row start");
      for (uint32_t& v : lengths) v = r.U32BE("row length");
      // A run of two bytes (or words) gives at most 127 samples.
      CheckProportion(kName, size, static_cast<uint64_t>(rowSize) * tableEntries, 64);
    } else if (static_cast<uint64_t>(rowSize) * tableEntries > size - SGILayout::HeaderSize) {
      FormatError(kName, "pixel data ends early");
    }

    ColorManager.SourceOptions = bpc == 2 ? coNeedByteSwap : 0;
    ColorManager.TargetOptions = 0;
    ColorManager.SetSourceBits(p.BitsPerSample);
    ColorManager.SetTargetBits(8);
    ColorManager.SetSourceSamples(static_cast<uint8_t>(channels));
    ColorManager.SetTargetSamples(static_cast<uint8_t>(channels));
    ColorManager.SetSourceScheme(channels == 3 ? csRGB : channels == 4 ? csRGBA : csG);
    ColorManager.SetTargetScheme(channels == 3 ? csBGR : channels == 4 ? csBGRA : csG);
    SetPixelFormat(ColorManager.PixelFormatFor(1));
    if (channels == 1) SetPalette(ColorManager.MakeGreyPalette(false));
    SetSize(static_cast<int>(w), static_cast<int>(height));

    // One row of each channel at a time: verbatim rows are read where they lie, run-length rows
    // are decoded into one row's planes, or straight into the scan line when there is nothing
    // to convert (one channel of bytes).
    const bool direct = channels == 1 && bpc == 1;
    std::vector<uint8_t> planes(h.Storage == 1 && !direct ? rowSize * channels : 0);
    TSGIRLEDecoder decoder(static_cast<unsigned>(8 * bpc));
    const uint8_t* pointers[4];
    for (uint32_t y = 0; y < height; ++y) {
      uint8_t* line = ScanLine(TargetLine(y, height, false));
      for (unsigned c = 0; c < channels; ++c) {
        const size_t index = static_cast<size_t>(y) + static_cast<size_t>(c) * height;
        if (h.Storage == 1) {
          // The row length counts bytes, whatever the sample size.
          if (starts[index] > size || lengths[index] > size - starts[index])
            FormatError(kName, "row beyond the end of the file");
          const uint8_t* s = data + starts[index];
          uint8_t* t = direct ? line : planes.data() + c * rowSize;
          pointers[c] = t;
          decoder.Decode(s, t, lengths[index], rowSize);
          if (decoder.LastOutput != rowSize) FormatError(kName, "run-length row too short");
        } else {
          pointers[c] = data + SGILayout::HeaderSize + index * rowSize;
        }
      }
      if (!(direct && h.Storage == 1))
        ColorManager.ConvertRow(std::span<const uint8_t* const>(pointers, channels), line, w, 0xFF);
      RowProgress(y, height);
    }
    Progress(TProgressStage::psEnding, 0, "");
  });
}

const TGraphicClassRef& SGIGraphicClass() {
  static const TGraphicClassRef cls = MakeFormatClass<TSGIGraphic>("TSGIGraphic");
  return cls;
}
