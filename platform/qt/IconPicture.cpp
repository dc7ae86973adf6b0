#include "platform/qt/IconPicture.h"

#include <QImageReader>

#include "platform/Exceptions.h"
#include "platform/PictureLoader.h"
#include "platform/qt/BitmapImage.h"

TBitmap LoadIconFromFile(const std::string& fileName) {
  QImageReader reader(QString::fromStdString(fileName), "ico");
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
