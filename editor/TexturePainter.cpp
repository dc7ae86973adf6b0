#include "editor/TexturePainter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/FileTimes.h"

namespace {

bool Is24(const TBitmap& b) { return b.PixelFormat() == TPixelFormat::pf24bit && !b.Empty(); }

bool SameShape(const TBitmap& a, const TBitmap& b) {
  return Is24(a) && Is24(b) && a.Width() == b.Width() && a.Height() == b.Height();
}

// HSV results are products of fractions whose exact value is often a whole number (p is the
// smallest channel, for one); a rounding error below it must not truncate to one less.
uint8_t TruncByte(double v) { return static_cast<uint8_t>(std::clamp(std::floor(v + 1e-9), 0.0, 255.0)); }

}  // namespace

int IntensityGrey(int intensity) {
  const int n = std::clamp(intensity, 0, 100) * 255;
  int q = n / 100;
  const int rem = n % 100;
  if (rem > 50 || (rem == 50 && (q & 1))) ++q;
  return q;
}

bool BrushDab(TBitmap& mask, int x, int y, int intensity, int size) {
  if (mask.PixelFormat() != TPixelFormat::pf24bit) return false;
  const uint8_t g = static_cast<uint8_t>(IntensityGrey(intensity));
  const int64_t r = std::max(0, size) / 2;
  // A round disc centred on the pixel: within r + 1/2 of the centre.
  const int64_t limit = r * r + r;
  const int64_t y0 = std::max<int64_t>(0, int64_t{y} - r), y1 = std::min<int64_t>(mask.Height() - 1, int64_t{y} + r);
  const int64_t x0 = std::max<int64_t>(0, int64_t{x} - r), x1 = std::min<int64_t>(mask.Width() - 1, int64_t{x} + r);
  for (int64_t py = y0; py <= y1; ++py) {
    uint8_t* row = mask.ScanLine(static_cast<int>(py));
    const int64_t dy = py - y;
    for (int64_t px = x0; px <= x1; ++px) {
      const int64_t dx = px - x;
      if (dx * dx + dy * dy > limit) continue;
      std::memset(row + 3 * px, g, 3);
    }
  }
  return true;
}

void RGBToHSV(int r, int g, int b, double& H, double& S, double& V) {
  const int mx = std::max({r, g, b}), mn = std::min({r, g, b});
  V = mx;
  S = mx == 0 ? 0.0 : double(mx - mn) / mx;
  if (S == 0) {
    H = 0;
    return;
  }
  const double d = mx - mn;
  if (r == mx)
    H = 60.0 * (g - b) / d;
  else if (g == mx)
    H = 120.0 + 60.0 * (b - r) / d;
  else
    H = 240.0 + 60.0 * (r - g) / d;
  if (H < 0) H += 360.0;
}

void HSVToRGB(double H, double S, double V, uint8_t& r, uint8_t& g, uint8_t& b) {
  if (S == 0) {
    r = g = b = TruncByte(V);
    return;
  }
  const double h = (H >= 360.0 ? 0.0 : H) / 60.0;
  const int i = static_cast<int>(h);
  const double f = h - i;
  const double p = V * (1 - S), q = V * (1 - S * f), t = V * (1 - S * (1 - f));
  double R, G, B;
  switch (i) {
    case 0: R = V, G = t, B = p; break;
    case 1: R = q, G = V, B = p; break;
    case 2: R = p, G = V, B = t; break;
    case 3: R = p, G = q, B = V; break;
    case 4: R = t, G = p, B = V; break;
    default: R = V, G = p, B = q; break;
  }
  r = TruncByte(R);
  g = TruncByte(G);
  b = TruncByte(B);
}

bool PaintPixels(const TBitmap& source, const TBitmap& mask, int tool, TBitmap& dest, TColor color) {
  if (!SameShape(source, mask) || !SameShape(source, dest)) return false;
  if (tool < ptBrush || tool > ptDarken) return true;
  // Blue, green, red: the bitmap's byte order.
  const int c[3] = {GetBValue(color), GetGValue(color), GetRValue(color)};
  double hc = 0, sc = 0, vc = 0;
  RGBToHSV(c[2], c[1], c[0], hc, sc, vc);
  const int w = source.Width();
  for (int y = 0; y < source.Height(); ++y) {
    const uint8_t* s = source.ScanLine(y);
    const uint8_t* m = mask.ScanLine(y);
    uint8_t* d = dest.ScanLine(y);
    for (int x = 0; x < w; ++x, s += 3, m += 3, d += 3) {
      const int a = m[0];  // coverage in 255ths
      if (a == 0) {
        d[0] = s[0], d[1] = s[1], d[2] = s[2];
        continue;
      }
      switch (tool) {
        case ptBrush:
          for (int k = 0; k < 3; ++k) d[k] = static_cast<uint8_t>((c[k] * a + s[k] * (255 - a)) / 255);
          break;
        case ptTint: {
          double hs, ss, vs;
          RGBToHSV(s[2], s[1], s[0], hs, ss, vs);
          uint8_t t[3];
          HSVToRGB(hc, ss, vs, t[2], t[1], t[0]);
          for (int k = 0; k < 3; ++k) d[k] = static_cast<uint8_t>((t[k] * a + s[k] * (255 - a)) / 255);
          break;
        }
        case ptLighten:
          for (int k = 0; k < 3; ++k) d[k] = static_cast<uint8_t>(std::min(255, s[k] + a));
          break;
        case ptDarken:
          for (int k = 0; k < 3; ++k) d[k] = static_cast<uint8_t>(std::max(0, s[k] - a));
          break;
      }
    }
  }
  return true;
}

bool PickColor(const TBitmap& bitmap, int x, int y, TColor& color) {
  if (!Is24(bitmap) || x < 0 || y < 0 || x >= bitmap.Width() || y >= bitmap.Height()) return false;
  const uint8_t* p = bitmap.ScanLine(y) + 3 * x;
  color = RGBColor(p[2], p[1], p[0]);
  return true;
}

bool BlendWire(const TBitmap& a, const TBitmap& b, TBitmap& dest, int weight) {
  if (!SameShape(a, b) || !SameShape(a, dest)) return false;
  const int w = std::clamp(weight, 0, 100);
  const size_t rowBytes = 3 * static_cast<size_t>(a.Width());
  for (int y = 0; y < a.Height(); ++y) {
    const uint8_t* pa = a.ScanLine(y);
    const uint8_t* pb = b.ScanLine(y);
    uint8_t* pd = dest.ScanLine(y);
    for (size_t i = 0; i < rowBytes; ++i) pd[i] = static_cast<uint8_t>((pa[i] * w + pb[i] * (100 - w)) / 100);
  }
  return true;
}

TBitmap StretchPixels(const TBitmap& src, int width, int height) {
  TBitmap in = src;
  if (in.PixelFormat() != TPixelFormat::pf24bit) in.SetPixelFormat(TPixelFormat::pf24bit);
  TBitmap out(std::max(0, width), std::max(0, height), TPixelFormat::pf24bit);
  if (in.Empty() || out.Empty()) return out;
  std::vector<int> column(static_cast<size_t>(out.Width()));
  for (int x = 0; x < out.Width(); ++x)
    column[static_cast<size_t>(x)] = static_cast<int>(int64_t{x} * in.Width() / out.Width());
  for (int y = 0; y < out.Height(); ++y) {
    const uint8_t* s = in.ScanLine(static_cast<int>(int64_t{y} * in.Height() / out.Height()));
    uint8_t* d = out.ScanLine(y);
    for (int x = 0; x < out.Width(); ++x) std::memcpy(d + 3 * x, s + 3 * column[static_cast<size_t>(x)], 3);
  }
  return out;
}

TBitmap EditorImage(const TBitmap& bitmap, const TBitmap* wire, int wirePosition, int zoom) {
  TBitmap img = bitmap;
  if (img.PixelFormat() != TPixelFormat::pf24bit) img.SetPixelFormat(TPixelFormat::pf24bit);
  if (wirePosition >= 1 && wire && !wire->Empty() && !img.Empty()) {
    const TBitmap stretched = StretchPixels(*wire, img.Width(), img.Height());
    BlendWire(img, stretched, img, 100 - wirePosition);
  }
  if (zoom == 2 || zoom == 4) img = StretchPixels(img, img.Width() * zoom, img.Height() * zoom);
  return img;
}

bool TextureEditable(const TObjetoTextura& texture) { return texture.Bitmap && Is24(*texture.Bitmap); }

bool BeginStroke(TObjetoTextura& texture, TBitmap& mask) {
  if (!TextureEditable(texture)) return false;
  texture.UndoBitmap = std::make_unique<TBitmap>(*texture.Bitmap);
  mask = TBitmap(texture.Bitmap->Width(), texture.Bitmap->Height(), TPixelFormat::pf24bit);
  mask.Fill(clBlack);
  return true;
}

bool StrokeDab(TObjetoTextura& texture, TBitmap& mask, int x, int y, const TBrush& brush) {
  if (!texture.Bitmap || !texture.UndoBitmap || !SameShape(*texture.Bitmap, *texture.UndoBitmap) ||
      !SameShape(*texture.Bitmap, mask))
    return false;
  BrushDab(mask, x, y, brush.Intensity, brush.Size);
  return PaintPixels(*texture.UndoBitmap, mask, brush.Tool, *texture.Bitmap, brush.Color);
}

bool UndoTexture(TObjetoTextura& texture) {
  if (!texture.UndoBitmap || !texture.Bitmap) return false;
  std::swap(texture.Bitmap, texture.UndoBitmap);
  texture.Modified = true;
  return true;
}

void SaveTexture(TObjetoTextura& texture) {
  if (!texture.Bitmap) return;
  texture.Bitmap->SaveToFile(texture.Filename);
  texture.FileAge = FileAge(texture.Filename);
}

void RevertTexture(TObjetoTextura& texture, const std::string& sectionName, const TModeloPart& part,
                   const TShowBox& showBox) {
  // Read and fitted first: a file that cannot be read leaves the texture and its undo copy.
  std::unique_ptr<TBitmap> bmp = ReadTexturePicture(texture.Filename);
  CheckTextureSize(bmp, sectionName, part, showBox);
  if (texture.Bitmap) texture.UndoBitmap = std::make_unique<TBitmap>(*texture.Bitmap);
  texture.Bitmap = std::move(bmp);
  texture.Modified = false;
}
