#include "platform/qt/IconPicture.h"

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
  // An icon file holds several sizes; the largest gives the most detail for a texture.
  QImage best;
  int count = reader.imageCount();
  for (int i = 0; i < (count > 0 ? count : 1); ++i) {
    if (count > 0 && !reader.jumpToImage(i)) break;
    QImage img = reader.read();
    if (!img.isNull() && (best.isNull() || img.width() * img.height() > best.width() * best.height())) best = img;
  }
  if (best.isNull())
    throw EInvalidGraphic("Icon image is not valid: " + reader.errorString().toStdString() + " (" + fileName + ")");
  return QImageToBitmap(best);
}

void RegisterQtPictureReaders() { SetIconReader(LoadIconFromFile); }
