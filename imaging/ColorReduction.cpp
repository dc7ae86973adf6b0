#include "imaging/ColorReduction.h"

#include <algorithm>

std::unique_ptr<TBitmap> ReduceBitmapColors(TBitmap& Bitmap, TReductionMethod Method, TDitherKind Dither,
                                            int ReductionBits, const HPALETTE& CustomPalette) {
  auto result = std::make_unique<TBitmap>();
  if (Method == TReductionMethod::rdNone) {
    *result = Bitmap;
    SetBitmapPixelFormat(*result, TPixelFormat::pf24bit);
    return result;
  }
  ReductionBits = std::clamp(ReductionBits, 1, 8);
  const int width = Bitmap.Width(), height = Bitmap.Height();
  // A large picture's result starts as a 1-bit bitmap; the writer replaces it at the end, so
  // this shows only in the empty result of an unknown method or ditherer.
  if (static_cast<int64_t>(width) * height > 500000) result->SetPixelFormat(TPixelFormat::pf1bit);

  TDIBReader reader(Bitmap, TPixelFormat::pf24bit);

  HPALETTE palette;
  std::unique_ptr<TColorLookup> lookup;
  switch (Method) {
    case TReductionMethod::rdSystem20: palette = DefaultPalette20(); break;
    case TReductionMethod::rdHalftone256: palette = HalftonePalette256(); break;
    case TReductionMethod::rdGray4: palette = GrayPalette4(); break;
    case TReductionMethod::rdMonochrome:
      palette = MonochromePalette();
      lookup = std::make_unique<TMonochromeLookup>();
      break;
    case TReductionMethod::rdGray256:
      palette = GrayPalette256();
      lookup = std::make_unique<TGrayScaleLookup>();
      break;
    case TReductionMethod::rdWeb216:
      palette = WebPalette216();
      lookup = std::make_unique<TNetscapeColorLookup>();
      break;
    case TReductionMethod::rdOptimal: palette = QuantizeDIBPalette(reader, 1 << ReductionBits, 8, false); break;
    case TReductionMethod::rdOptimalSystem: palette = QuantizeBitmapPalette(Bitmap, 256, 8, true); break;
    case TReductionMethod::rdCustomPalette: palette = CustomPalette; break;
    default: return result;  // not a method we know
  }
  if (!lookup) lookup = std::make_unique<TFastColorLookup>(palette);
  if (lookup->Colors == 0) return result;

  TDIBWriter writer(*result, TPixelFormat::pf8bit, width, height, palette);
  // The common case (palettes of the package writer and the painter) takes the one-loop path.
  if (Dither == TDitherKind::dtFloydSteinberg)
    if (auto* fast = dynamic_cast<TFastColorLookup*>(lookup.get())) {
      DitherFloydSteinberg(reader, writer, width, height, *fast);
      writer.Finish();
      return result;
    }

  std::unique_ptr<TDitherEngine> ditherer;
  switch (Dither) {
    case TDitherKind::dtNearest: ditherer = std::make_unique<TDitherEngine>(width, *lookup); break;
    case TDitherKind::dtFloydSteinberg: ditherer = std::make_unique<TFloydSteinbergDitherer>(width, *lookup); break;
    case TDitherKind::dtStucki: ditherer = std::make_unique<TStuckiDitherer>(width, *lookup); break;
    case TDitherKind::dtSierra: ditherer = std::make_unique<TSierraDitherer>(width, *lookup); break;
    case TDitherKind::dtJaJuNi: ditherer = std::make_unique<TJaJuNiDitherer>(width, *lookup); break;
    case TDitherKind::dtSteveArche: ditherer = std::make_unique<TSteveArcheDitherer>(width, *lookup); break;
    case TDitherKind::dtBurkes: ditherer = std::make_unique<TBurkesDitherer>(width, *lookup); break;
    default: return result;  // not a ditherer we know
  }

  for (int y = 0; y < height; ++y) {
    const uint8_t* src = reader.ScanLine(y);
    uint8_t* dst = writer.ScanLine(y);
    uint8_t r, g, b;
    while (ditherer->Column >= 0 && ditherer->Column < width) {
      const int x = ditherer->Column;
      const uint8_t* p = src + 3 * static_cast<size_t>(x);
      dst[x] = ditherer->Dither(p[2], p[1], p[0], r, g, b);
    }
    ditherer->NextLine();
  }
  writer.Finish();
  return result;
}
