#include "platform/qt/BitmapImage.h"

#include "platform/Exceptions.h"

QImage BitmapToQImage(const TBitmap& bmp) {
  QImage img(bmp.Width(), bmp.Height(), QImage::Format_RGB32);
  if (bmp.Empty()) return img;
  // QImage refuses sizes our bitmaps allow (a width beyond its limits, or memory it cannot get)
  // by staying null; its rows would then be null pointers.
  if (img.isNull()) throw EOutOfResources("Not enough storage is available to process this command");
  const bool bgr = bmp.PixelFormat() == TPixelFormat::pf24bit || bmp.PixelFormat() == TPixelFormat::pf32bit;
  const int step = bmp.PixelFormat() == TPixelFormat::pf32bit ? 4 : 3;
  for (int y = 0; y < bmp.Height(); ++y) {
    QRgb* out = reinterpret_cast<QRgb*>(img.scanLine(y));
    if (bgr) {
      // The common case: read the row bytes directly.
      const uint8_t* in = bmp.ScanLine(y);
      for (int x = 0; x < bmp.Width(); ++x, in += step) out[x] = qRgb(in[2], in[1], in[0]);
    } else {
      for (int x = 0; x < bmp.Width(); ++x) {
        TColor c = bmp.Pixel(x, y);
        out[x] = qRgb(GetRValue(c), GetGValue(c), GetBValue(c));
      }
    }
  }
  return img;
}

TBitmap QImageToBitmap(const QImage& image) {
  QImage src = image.convertToFormat(QImage::Format_ARGB32);
  TBitmap bmp(src.width(), src.height(), TPixelFormat::pf24bit);
  for (int y = 0; y < src.height(); ++y) {
    const QRgb* in = reinterpret_cast<const QRgb*>(src.constScanLine(y));
    uint8_t* out = bmp.ScanLine(y);
    for (int x = 0; x < src.width(); ++x, out += 3) {
      QRgb p = in[x];
      int a = qAlpha(p);
      auto over = [a](int v) { return static_cast<uint8_t>((v * a + 255 * (255 - a) + 127) / 255); };
      out[0] = over(qBlue(p));
      out[1] = over(qGreen(p));
      out[2] = over(qRed(p));
    }
  }
  return bmp;
}
