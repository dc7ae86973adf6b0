#include "platform/qt/IconPicture.h"

#include <algorithm>
#include <utility>
#include <vector>

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>

#include "platform/Exceptions.h"
#include "platform/PictureLoader.h"
#include "platform/Streams.h"
#include "platform/qt/BitmapImage.h"

TBitmap LoadIconFromFile(const std::string& fileName) {
  // Read the bytes ourselves so a missing file gives the usual input/output error.
  std::vector<uint8_t> data = ReadWholeFile(fileName);
  QByteArray bytes(reinterpret_cast<const char*>(data.data()), static_cast<qsizetype>(data.size()));
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, "ico");
  // An icon file holds several sizes; the largest gives the most detail for a texture. Choose
  // by the sizes its directory states and decode only that entry (falling back to the next
  // largest when it is broken): a directory of thousands of entries that all point at one large
  // picture would otherwise be decoded thousands of times.
  QImage best;
  const int count = reader.imageCount();
  if (count <= 0) {
    best = reader.read();
  } else {
    std::vector<std::pair<qint64, int>> entries;  // (stated area, index)
    for (int i = 0; i < count && reader.jumpToImage(i); ++i) {
      QSize s = reader.size();
      entries.emplace_back(s.isValid() ? qint64(s.width()) * s.height() : 0, i);
    }
    std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    constexpr size_t kMaxDecodes = 8;
    for (size_t k = 0; k < entries.size() && k < kMaxDecodes && best.isNull(); ++k)
      if (reader.jumpToImage(entries[k].second)) best = reader.read();
  }
  if (best.isNull())
    throw EInvalidGraphic("Icon image is not valid: " + reader.errorString().toStdString() + " (" + fileName + ")");
  return QImageToBitmap(best);
}

void RegisterQtPictureReaders() { SetIconReader(LoadIconFromFile); }
