#pragma once
// Icon files built byte by byte, independently of any reader. Header-only and free of the test
// framework, so the benchmarks build the same inputs; the picture inside is made with Qt.
#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <cstdint>
#include <vector>

namespace testsupport {

// A 256x256 PNG picture: red rises with x, green with y, blue is (x * y) & 255.
inline std::vector<uint8_t> GradientPng() {
  QImage pic(256, 256, QImage::Format_RGB32);
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x) pic.setPixel(x, y, qRgb(x, y, (x * y) & 255));
  QByteArray png;
  QBuffer buf(&png);
  buf.open(QIODevice::WriteOnly);
  pic.save(&buf, "PNG");
  return std::vector<uint8_t>(png.begin(), png.end());
}

// An icon whose directory holds `entries` rows that all name the same 256x256 PNG picture.
inline std::vector<uint8_t> RepeatedIconFile(const std::vector<uint8_t>& png, uint32_t entries) {
  std::vector<uint8_t> file;
  auto put = [&file](uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) file.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  put(0, 2), put(1, 2), put(entries, 2);  // reserved, type icon, count
  const uint32_t offset = 6 + 16 * entries;
  for (uint32_t i = 0; i < entries; ++i) {
    put(0, 1), put(0, 1), put(0, 1), put(0, 1);  // 256 x 256, no palette, reserved
    put(1, 2), put(32, 2);                       // planes, bits
    put(static_cast<uint32_t>(png.size()), 4), put(offset, 4);
  }
  file.insert(file.end(), png.begin(), png.end());
  return file;
}

}  // namespace testsupport
