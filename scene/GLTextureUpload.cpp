#include "scene/GLTextureUpload.h"

#include <algorithm>
#include <cstring>

#include "platform/Bitmap.h"
#include "scene/GLMisc.h"

size_t TTexturePixels::RowBytes() const {
  const size_t raw = static_cast<size_t>(Width) * static_cast<size_t>(Components);
  return Components == 4 ? raw : (raw + 3) & ~size_t(3);
}

size_t PaddedImageBytes(int w, int h, int c, int alignment) {
  if (alignment < 1) alignment = 1;
  const size_t a = static_cast<size_t>(alignment);
  const size_t row = (static_cast<size_t>(w) * static_cast<size_t>(c) + a - 1) / a * a;
  return row * static_cast<size_t>(h);
}

int TextureTargetSize(int size, int maxSize) {
  const int p = RoundUpToPowerOf2(size);
  return maxSize > 0 && p > maxSize ? maxSize : p;
}

namespace {

// Reads rows [first, first + count) counted from the bottom, of any pixel format, as 24-bit
// blue-green-red rows, each padded to 4. Only those rows are converted: a band of a large
// picture costs a band.
void ReadBottomUp24(const TBitmap& bitmap, int first, TTexturePixels& out) {
  const int h = bitmap.Height();
  const size_t row = out.RowBytes();
  const size_t used = static_cast<size_t>(out.Width) * 3;
  out.Data.assign(row * static_cast<size_t>(out.Height), 0);
  if (bitmap.PixelFormat() == TPixelFormat::pf24bit) {
    for (int y = 0; y < out.Height; ++y)
      std::memcpy(&out.Data[row * static_cast<size_t>(y)], bitmap.ScanLine(h - 1 - first - y), used);
    return;
  }
  // The band's rows, bottom first, converted as the whole picture would be.
  TBitmap band = TBitmap::Uncleared(out.Width, out.Height, bitmap.PixelFormat());
  band.SetPalette(bitmap.Palette());
  const size_t packed = std::min(band.RowBytes(), bitmap.RowBytes());
  for (int y = 0; y < out.Height; ++y) std::memcpy(band.ScanLine(y), bitmap.ScanLine(h - 1 - first - y), packed);
  band.SetPixelFormat(TPixelFormat::pf24bit);
  for (int y = 0; y < out.Height; ++y) std::memcpy(&out.Data[row * static_cast<size_t>(y)], band.ScanLine(y), used);
}

}  // namespace

TTexturePixels PrepareTexturePixels(const TBitmap& bitmap, TGLTextureImageAlpha alpha, const TVector& transparent,
                                    bool bgr) {
  return PrepareTextureRows(bitmap, alpha, transparent, bgr, 0, bitmap.Height());
}

TTexturePixels PrepareTextureRows(const TBitmap& bitmap, TGLTextureImageAlpha alpha, const TVector& transparent,
                                  bool bgr, int firstRow, int rowCount) {
  TTexturePixels px;
  if (bitmap.Width() < 1 || bitmap.Height() < 1) return px;
  firstRow = std::clamp(firstRow, 0, bitmap.Height());
  rowCount = std::clamp(rowCount, 0, bitmap.Height() - firstRow);
  if (rowCount < 1) return px;
  px.Width = bitmap.Width();
  px.Height = rowCount;
  px.Components = 3;
  ReadBottomUp24(bitmap, firstRow, px);
  const size_t row3 = px.RowBytes();
  const size_t w = static_cast<size_t>(px.Width), h = static_cast<size_t>(px.Height);
  if (!bgr) {
    for (size_t y = 0; y < h; ++y) {
      uint8_t* p = &px.Data[row3 * y];
      for (size_t x = 0; x < w; ++x) std::swap(p[x * 3], p[x * 3 + 2]);
    }
  }
  px.BGR = bgr;
  if (alpha == tiaDefault) return px;

  // Widened into a buffer of its own: packed 4-byte pixels, no row padding.
  std::vector<uint8_t> wide(w * h * 4);
  // The reference pixel is the first of the whole picture's buffer: its bottom-left one.
  uint8_t ref[3] = {px.Data[0], px.Data[1], px.Data[2]};
  if (alpha == tiaTopLeftPointColorTransparent && firstRow > 0) {
    TTexturePixels bottom;
    bottom.Width = 1;
    bottom.Height = 1;
    ReadBottomUp24(bitmap, 0, bottom);
    std::memcpy(ref, bottom.Data.data(), 3);
    if (!bgr) std::swap(ref[0], ref[2]);
  }
  // The transparent colour in the buffer's byte order.
  const uint8_t r = static_cast<uint8_t>(Trunc(255 * transparent[0]));
  const uint8_t g = static_cast<uint8_t>(Trunc(255 * transparent[1]));
  const uint8_t b = static_cast<uint8_t>(Trunc(255 * transparent[2]));
  const uint8_t key[3] = {bgr ? b : r, g, bgr ? r : b};
  const auto& sqrt255 = GetSqrt255Array();
  for (size_t y = 0; y < h; ++y) {
    const uint8_t* s = &px.Data[row3 * y];
    uint8_t* d = &wide[w * 4 * y];
    for (size_t x = 0; x < w; ++x, s += 3, d += 4) {
      const int sum = s[0] + s[1] + s[2];
      d[0] = s[0];
      d[1] = s[1];
      d[2] = s[2];
      switch (alpha) {
        case tiaAlphaFromIntensity: d[3] = static_cast<uint8_t>(sum / 3); break;
        case tiaSuperBlackTransparent: d[3] = sum == 0 ? 0 : 255; break;
        case tiaLuminance: d[0] = d[1] = d[2] = d[3] = static_cast<uint8_t>(sum / 3); break;
        case tiaLuminanceSqrt: d[0] = d[1] = d[2] = d[3] = sqrt255[static_cast<size_t>(sum / 3)]; break;
        case tiaTopLeftPointColorTransparent: d[3] = std::memcmp(s, ref, 3) == 0 ? 0 : 255; break;
        case tiaTransparentColor: d[3] = std::memcmp(s, key, 3) == 0 ? 0 : 255; break;
        default:  // tiaOpaque
          d[3] = 255;
      }
    }
  }
  px.Data = std::move(wide);
  px.Components = 4;
  return px;
}
