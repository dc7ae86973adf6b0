#include "editor/TexturePainter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/Exceptions.h"
#include "platform/FileTimes.h"
#include "platform/Paths.h"
#include "platform/StrUtils.h"

namespace {

bool Is24(const TBitmap& b) { return b.PixelFormat() == TPixelFormat::pf24bit && !b.Empty(); }

bool SameShape(const TBitmap& a, const TBitmap& b) {
  return Is24(a) && Is24(b) && a.Width() == b.Width() && a.Height() == b.Height();
}

// HSV results are products of fractions whose exact value is often a whole number (p is the
// smallest channel, for one); a rounding error below it must not truncate to one less.
uint8_t TruncByte(double v) { return static_cast<uint8_t>(std::clamp(std::floor(v + 1e-9), 0.0, 255.0)); }

}  // namespace

TPixelRect WholeRect(const TBitmap& bitmap) { return {0, 0, bitmap.Width(), bitmap.Height()}; }

TPixelRect ClipRect(const TPixelRect& r, const TBitmap& bitmap) {
  TPixelRect c{std::max(r.Left, 0), std::max(r.Top, 0), std::min(r.Right, bitmap.Width()),
               std::min(r.Bottom, bitmap.Height())};
  return c.Empty() ? TPixelRect() : c;
}

TPixelRect DabBounds(const TBitmap& bitmap, int x, int y, int size) {
  const int64_t r = std::max(0, size) / 2;
  // In 64 bits: a position far outside must not wrap into the bitmap.
  const int64_t l = std::max<int64_t>(0, int64_t{x} - r), t = std::max<int64_t>(0, int64_t{y} - r);
  const int64_t rt = std::min<int64_t>(bitmap.Width(), int64_t{x} + r + 1);
  const int64_t b = std::min<int64_t>(bitmap.Height(), int64_t{y} + r + 1);
  if (rt <= l || b <= t) return {};
  return {static_cast<int>(l), static_cast<int>(t), static_cast<int>(rt), static_cast<int>(b)};
}

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
  const TPixelRect box = DabBounds(mask, x, y, size);
  for (int py = box.Top; py < box.Bottom; ++py) {
    uint8_t* row = mask.ScanLine(py);
    const int64_t dy = py - int64_t{y};
    for (int px = box.Left; px < box.Right; ++px) {
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
  return PaintPixels(source, mask, tool, dest, color, WholeRect(source));
}

bool PaintPixels(const TBitmap& source, const TBitmap& mask, int tool, TBitmap& dest, TColor color,
                 const TPixelRect& area) {
  if (!SameShape(source, mask) || !SameShape(source, dest)) return false;
  if (tool < ptBrush || tool > ptDarken) return true;
  const TPixelRect r = ClipRect(area, source);
  // Blue, green, red: the bitmap's byte order.
  const int c[3] = {GetBValue(color), GetGValue(color), GetRValue(color)};
  double hc = 0, sc = 0, vc = 0;
  RGBToHSV(c[2], c[1], c[0], hc, sc, vc);
  for (int y = r.Top; y < r.Bottom; ++y) {
    const uint8_t* s = source.ScanLine(y) + 3 * r.Left;
    const uint8_t* m = mask.ScanLine(y) + 3 * r.Left;
    uint8_t* d = dest.ScanLine(y) + 3 * r.Left;
    for (int x = r.Left; x < r.Right; ++x, s += 3, m += 3, d += 3) {
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

namespace {
uint8_t Blend(int a, int b, int w) { return static_cast<uint8_t>((a * w + b * (100 - w)) / 100); }
}  // namespace

bool BlendWire(const TBitmap& a, const TBitmap& b, TBitmap& dest, int weight) {
  if (!SameShape(a, b) || !SameShape(a, dest)) return false;
  const int w = std::clamp(weight, 0, 100);
  const size_t rowBytes = 3 * static_cast<size_t>(a.Width());
  for (int y = 0; y < a.Height(); ++y) {
    const uint8_t* pa = a.ScanLine(y);
    const uint8_t* pb = b.ScanLine(y);
    uint8_t* pd = dest.ScanLine(y);
    for (size_t i = 0; i < rowBytes; ++i) pd[i] = Blend(pa[i], pb[i], w);
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

void TEditorView::Build(const TBitmap& bitmap, const TBitmap* wire, int wirePosition, int zoom) {
  FImage = EditorImage(bitmap, wire, wirePosition, zoom);
  FWire = TBitmap();
  if (wirePosition >= 1 && wire && !wire->Empty() && !bitmap.Empty()) {
    FWire = *wire;
    FWire.SetPixelFormat(TPixelFormat::pf24bit);
  }
  FWirePosition = wirePosition;
  FZoom = (zoom == 2 || zoom == 4) ? zoom : 1;
  FWidth = bitmap.Width();
  FHeight = bitmap.Height();
}

TPixelRect TEditorView::Update(const TBitmap& bitmap, const TPixelRect& area) {
  if (bitmap.Width() != FWidth || bitmap.Height() != FHeight || !Is24(bitmap)) {
    const TBitmap wire = FWire;
    Build(bitmap, wire.Empty() ? nullptr : &wire, FWirePosition, FZoom);
    return WholeRect(FImage);
  }
  const TPixelRect r = ClipRect(area, bitmap);
  if (r.Empty()) return {};
  // Pixel for pixel as EditorImage: the nearest wire pixel (StretchPixels' mapping), blended,
  // then repeated zoom x zoom times.
  const int weight = std::clamp(100 - FWirePosition, 0, 100);
  const int z = FZoom;
  std::vector<uint8_t> row(3 * static_cast<size_t>(r.Right - r.Left));
  for (int y = r.Top; y < r.Bottom; ++y) {
    const uint8_t* s = bitmap.ScanLine(y) + 3 * r.Left;
    const uint8_t* w =
        FWire.Empty() ? nullptr : FWire.ScanLine(static_cast<int>(int64_t{y} * FWire.Height() / FHeight));
    for (int x = r.Left; x < r.Right; ++x, s += 3) {
      uint8_t* d = row.data() + 3 * (x - r.Left);
      if (!w) {
        d[0] = s[0], d[1] = s[1], d[2] = s[2];
        continue;
      }
      const uint8_t* p = w + 3 * (int64_t{x} * FWire.Width() / FWidth);
      for (int k = 0; k < 3; ++k) d[k] = Blend(s[k], p[k], weight);
    }
    for (int dy = 0; dy < z; ++dy) {
      uint8_t* out = FImage.ScanLine(y * z + dy) + 3 * static_cast<size_t>(r.Left) * z;
      if (z == 1) {
        std::memcpy(out, row.data(), row.size());
        continue;
      }
      for (size_t i = 0; i < row.size(); i += 3)
        for (int dx = 0; dx < z; ++dx, out += 3) std::memcpy(out, row.data() + i, 3);
    }
  }
  return {r.Left * z, r.Top * z, r.Right * z, r.Bottom * z};
}

void TEditorView::Clear() { *this = TEditorView(); }

bool TextureEditable(const TObjetoTextura& texture) { return texture.Bitmap && Is24(*texture.Bitmap); }

bool BeginStroke(TObjetoTextura& texture, TBitmap& mask) {
  if (!TextureEditable(texture)) return false;
  // The previous stroke's undo copy and mask are written over where they fit: on a large texture
  // fresh blocks cost the press more than the copy itself.
  if (texture.UndoBitmap && SameShape(*texture.UndoBitmap, *texture.Bitmap))
    *texture.UndoBitmap = *texture.Bitmap;
  else
    texture.UndoBitmap = std::make_unique<TBitmap>(*texture.Bitmap);
  if (SameShape(mask, *texture.Bitmap))
    std::memset(mask.ScanLine(0), 0, mask.RowBytes() * static_cast<size_t>(mask.Height()));
  else
    mask = TBitmap(texture.Bitmap->Width(), texture.Bitmap->Height(), TPixelFormat::pf24bit);  // black
  return true;
}

bool ApplyStroke(TObjetoTextura& texture, const TBitmap& mask, const TBrush& brush, const TPixelRect& area) {
  if (!texture.Bitmap || !texture.UndoBitmap) return false;
  return PaintPixels(*texture.UndoBitmap, mask, brush.Tool, *texture.Bitmap, brush.Color, area);
}

TPixelRect StrokeArea(const TBitmap& mask, int x, int y, const TBrush& brush, const TBrush* previous) {
  // Outside the dab the mask did not change, so neither did the recomputed texture, unless the
  // tool or colour did.
  const bool sameBrush = !previous || (previous->Tool == brush.Tool && previous->Color == brush.Color);
  return sameBrush ? DabBounds(mask, x, y, brush.Size) : WholeRect(mask);
}

bool StrokeDab(TObjetoTextura& texture, TBitmap& mask, int x, int y, const TBrush& brush, const TBrush* previous,
               TPixelRect* changed) {
  if (changed) *changed = {};
  if (!texture.Bitmap || !texture.UndoBitmap || !SameShape(*texture.Bitmap, *texture.UndoBitmap) ||
      !SameShape(*texture.Bitmap, mask))
    return false;
  BrushDab(mask, x, y, brush.Intensity, brush.Size);
  const TPixelRect area = StrokeArea(mask, x, y, brush, previous);
  if (!ApplyStroke(texture, mask, brush, area)) return false;
  if (changed) *changed = area;
  return true;
}

namespace {
// a / n to the nearest integer, halves upwards, for n > 0.
int64_t RoundDiv(int64_t a, int64_t n) {
  const int64_t num = 2 * a + n, den = 2 * n;
  return num >= 0 ? num / den : -((-num + den - 1) / den);
}
// No screen is this large; within it the products below stay far from overflowing.
constexpr int kFarthest = 1 << 24;
}  // namespace

std::vector<TPixelPoint> DragPixels(TPixelPoint from, TPixelPoint to, int width, int height, int size) {
  std::vector<TPixelPoint> pixels;
  const auto clamp = [](int v) { return int64_t{std::clamp(v, -kFarthest, kFarthest)}; };
  const int64_t x0 = clamp(from.X), y0 = clamp(from.Y), dx = clamp(to.X) - x0, dy = clamp(to.Y) - y0;
  const int64_t steps = std::max(std::abs(dx), std::abs(dy));
  if (steps == 0) return pixels;
  const int64_t r = std::max(0, size) / 2;
  // The longer axis moves one pixel a step: only the steps within reach of the bitmap on it.
  const bool alongX = std::abs(dx) >= std::abs(dy);
  const int64_t start = alongX ? x0 : y0, last = (alongX ? width : height) - 1 + r;
  const bool forward = (alongX ? dx : dy) > 0;
  const int64_t lo = std::max<int64_t>(1, forward ? -r - start : start - last);
  const int64_t hi = std::min(steps, forward ? last - start : start + r);
  for (int64_t i = lo; i <= hi; ++i) {
    const int64_t x = x0 + RoundDiv(dx * i, steps), y = y0 + RoundDiv(dy * i, steps);
    if (x < -r || y < -r || x >= width + r || y >= height + r) continue;
    pixels.push_back({static_cast<int>(x), static_cast<int>(y)});
  }
  return pixels;
}

bool StrokeDrag(TObjetoTextura& texture, TBitmap& mask, const TPixelPoint* from, TPixelPoint to, const TBrush& brush,
                const TBrush* previous, std::vector<TPixelRect>& changed) {
  changed.clear();
  if (!texture.Bitmap || !texture.UndoBitmap || !SameShape(*texture.Bitmap, *texture.UndoBitmap) ||
      !SameShape(*texture.Bitmap, mask))
    return false;
  std::vector<TPixelPoint> dabs =
      from ? DragPixels(*from, to, mask.Width(), mask.Height(), brush.Size) : std::vector<TPixelPoint>{to};
  if (from && dabs.empty()) dabs.push_back(to);  // no move, or out of reach: the dab at `to` still counts
  for (const TPixelPoint& p : dabs) BrushDab(mask, p.X, p.Y, brush.Intensity, brush.Size);
  if (StrokeArea(mask, to.X, to.Y, brush, previous) == WholeRect(mask)) {
    changed.push_back(WholeRect(mask));
  } else {
    // Runs of as many dabs as the brush is wide (eight at least): each run's rectangle is a few times the area
    // its dabs cover, where one rectangle round a long diagonal drag would be most of the texture.
    const size_t run = static_cast<size_t>(std::max(8, brush.Size));
    for (size_t i = 0; i < dabs.size(); i += run) {
      TPixelRect r;
      for (size_t k = i; k < std::min(dabs.size(), i + run); ++k) {
        const TPixelRect d = DabBounds(mask, dabs[k].X, dabs[k].Y, brush.Size);
        if (d.Empty()) continue;
        r = r.Empty() ? d
                      : TPixelRect{std::min(r.Left, d.Left), std::min(r.Top, d.Top), std::max(r.Right, d.Right),
                                   std::max(r.Bottom, d.Bottom)};
      }
      if (!r.Empty()) changed.push_back(r);
    }
  }
  for (const TPixelRect& r : changed)
    if (!ApplyStroke(texture, mask, brush, r)) return false;
  return true;
}

bool UndoTexture(TObjetoTextura& texture) {
  if (!texture.UndoBitmap || !texture.Bitmap) return false;
  std::swap(texture.Bitmap, texture.UndoBitmap);
  texture.Modified = true;
  return true;
}

bool SavesInPlace(const std::string& fileName) {
  if (!SameText(ExtractFileExt(fileName), ".bmp")) return false;
  std::ifstream in(fileName, std::ios::binary);
  if (!in) return !FileExists(fileName);
  uint8_t head[2] = {};
  in.read(reinterpret_cast<char*>(head), 2);
  return IsBitmapSignature(head, static_cast<size_t>(in.gcount()));
}

std::string BitmapNameFor(const std::string& fileName) { return ChangeFileExt(fileName, ".bmp"); }

TTextureSaved SaveTexture(TObjetoTextura& texture, const TAskBitmapName& askName) {
  if (!texture.Bitmap) return TTextureSaved::Cancelled;
  if (SavesInPlace(texture.Filename)) {
    texture.Bitmap->SaveToFile(texture.Filename);
    texture.FileAge = FileAge(texture.Filename);
    return TTextureSaved::InPlace;
  }
  std::string chosen;
  if (!askName || !askName(BitmapNameFor(texture.Filename), chosen) || chosen.empty()) return TTextureSaved::Cancelled;
  if (!SameText(ExtractFileExt(chosen), ".bmp")) chosen += ".bmp";
  std::error_code ec;
  if (chosen == texture.Filename || std::filesystem::equivalent(chosen, texture.Filename, ec))
    throw EInOutError("The texture file \"" + texture.Filename +
                      "\" is not a Windows bitmap and is kept as it is: choose another name to save the texture.");
  texture.Bitmap->SaveToFile(chosen);
  texture.Filename = chosen;
  texture.FileAge = FileAge(chosen);
  return TTextureSaved::NewFile;
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
