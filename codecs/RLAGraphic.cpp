// Alias/Wavefront RLA reading.
#include "codecs/RLAGraphic.h"

#include <cctype>
#include <charconv>
#include <cstring>

#include "codecs/FormatSupport.h"
#include "codecs/GraphicCompression.h"

namespace {

constexpr const char* kName = "RLA";

namespace RLALayout {
constexpr size_t HeaderSize = 740;
constexpr size_t ActiveWindowAt = 8, ChannelCountsAt = 20, RevisionAt = 26, GammaAt = 28, ChannelKindAt = 580,
                 BitsAt = 658;
constexpr uint16_t Revision = 0xFFFE;
}  // namespace RLALayout

int16_t BE16(const uint8_t* p) { return static_cast<int16_t>(p[0] << 8 | p[1]); }

// The channel kind, lower-cased, up to its terminating zero.
std::string ChannelKind(const uint8_t* d) {
  std::string kind;
  for (size_t i = 0; i < 32 && d[RLALayout::ChannelKindAt + i]; ++i)
    kind += static_cast<char>(std::tolower(d[RLALayout::ChannelKindAt + i]));
  return kind;
}

}  // namespace

bool TRLAGraphic::CanLoad(const uint8_t* data, size_t size) const {
  if (size <= RLALayout::HeaderSize) return false;
  const std::string kind = ChannelKind(data);
  return static_cast<uint16_t>(BE16(data + RLALayout::RevisionAt)) == RLALayout::Revision &&
         (kind == "rgb" || kind == "xyz");
}

bool TRLAGraphic::ReadImageProperties(const uint8_t* data, size_t size, unsigned imageIndex) {
  TImageFormatGraphic::ReadImageProperties(data, size, imageIndex);
  if (size < RLALayout::HeaderSize) return false;
  const uint8_t* a = data + RLALayout::ActiveWindowAt;
  const int left = BE16(a), right = BE16(a + 2), bottom = BE16(a + 4), top = BE16(a + 6);
  const int colours = BE16(data + RLALayout::ChannelCountsAt), mattes = BE16(data + RLALayout::ChannelCountsAt + 2);
  TImageProperties& p = ImageProperties;
  p.Options = ioBigEndian;
  p.SamplesPerPixel = static_cast<uint8_t>(std::clamp(colours + (mattes == 1 ? 1 : 0), 0, 255));
  p.BitsPerSample = static_cast<uint8_t>(std::clamp<int>(BE16(data + RLALayout::BitsAt), 0, 255));
  p.BitsPerPixel = static_cast<uint8_t>(p.SamplesPerPixel * p.BitsPerSample);
  const std::string kind = ChannelKind(data);
  if (kind == "rgb")
    p.ColorScheme = mattes == 1 ? csRGBA : csRGB;
  else if (kind == "xyz")
    p.ColorScheme = csUnknown;
  else
    return false;
  char gamma[17] = {};
  std::memcpy(gamma, data + RLALayout::GammaAt, 16);
  const char* g = gamma;
  while (*g == ' ') ++g;
  float value = 0;
  if (std::from_chars(g, gamma + std::strlen(gamma), value).ec == std::errc() && value > 0) p.FileGamma = value;
  p.Compression = ctRLE;
  // Right of left is the only way a width makes sense.
  p.Width = right >= left ? static_cast<uint32_t>(right - left + 1) : 0;
  p.Height = static_cast<uint32_t>(std::abs(bottom - top) + 1);
  BottomUp = bottom < top;
  return true;
}

void TRLAGraphic::LoadFromMemory(const uint8_t* data, size_t size) {
  StartLoad();
  if (!ReadImageProperties(data, size, 0)) return;
  const TImageProperties& p = ImageProperties;
  const uint32_t w = p.Width, h = p.Height;
  FProgressRect = {0, 0, static_cast<int>(w), 1};
  Progress(TProgressStage::psStarting, 0, "Transfering...");
  ClearOnFailure(*this, [&] {
    if (w == 0) FormatError(kName, "the right edge lies left of the left one");
    if (p.ColorScheme == csUnknown) FormatError(kName, "channel kind without a colour scheme");
    const int colours = BE16(data + RLALayout::ChannelCountsAt);
    // Channels are decoded into byte rows: other depths and channel counts have no reading.
    if (colours != 3 || p.BitsPerSample != 8) FormatError(kName, "only three 8-bit colour channels are read");
    if (!ImageSizeAllowed(w, h, p.BitsPerPixel)) FormatError(kName, "picture too large");
    const bool alpha = p.ColorScheme == csRGBA;
    const unsigned channels = alpha ? 4 : 3;
    ColorManager.SourceOptions = 0;
    ColorManager.TargetOptions = 0;
    ColorManager.SetSourceSamples(static_cast<uint8_t>(channels));
    ColorManager.SetTargetSamples(static_cast<uint8_t>(channels));
    ColorManager.SetSourceBits(8);
    ColorManager.SetTargetBits(8);
    ColorManager.SetSourceScheme(p.ColorScheme);
    ColorManager.SetTargetScheme(alpha ? csBGRA : csBGR);
    if (p.FileGamma != 1.0f) {
      ColorManager.SetGamma(2.2f, p.FileGamma);
      ColorManager.TargetOptions |= coApplyGamma;
      ImageProperties.Options |= ioUseGamma;
    }
    SetPixelFormat(ColorManager.PixelFormatFor(1));

    TByteReader r = FormatReader(data, size, kName);
    r.Seek(RLALayout::HeaderSize, "row offsets");
    r.RequireCount(h, 4, "row offset");
    // A run of two bytes gives at most 128 bytes.
    CheckProportion(kName, size, static_cast<uint64_t>(w) * h * channels, 64);
    std::vector<uint32_t> offsets(h);
    for (uint32_t& o : offsets) o = r.U32BE("row offset");
    SetSize(static_cast<int>(w), static_cast<int>(h));

    std::vector<uint8_t> planes(static_cast<size_t>(w) * channels);
    const uint8_t* pointers[4];
    TRLADecoder decoder;
    for (uint32_t y = 0; y < h; ++y) {
      r.Seek(offsets[y], "row");
      for (unsigned c = 0; c < channels; ++c) {
        uint8_t* plane = planes.data() + static_cast<size_t>(c) * w;
        pointers[c] = plane;
        const uint16_t count = static_cast<uint16_t>(BE16(r.Bytes(2, "channel length")));
        const uint8_t* s = r.Bytes(count, "channel data");
        uint8_t* t = plane;
        decoder.Decode(s, t, count, w);
        if (decoder.LastOutput != w) FormatError(kName, "channel row too short");
      }
      ColorManager.ConvertRow(std::span<const uint8_t* const>(pointers, channels),
                              ScanLine(TargetLine(y, h, !BottomUp)), w, 0xFF);
      RowProgress(y, h);
    }
    Progress(TProgressStage::psEnding, 0, "");
  });
}

const TGraphicClassRef& RLAGraphicClass() {
  static const TGraphicClassRef cls = MakeFormatClass<TRLAGraphic>("TRLAGraphic");
  return cls;
}
