#include "editor/GIFClipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include "platform/qt/BitmapImage.h"

void SaveGIFToClipboard(TGIFImage& Image) {
  if (Image.Empty()) return;
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (!clipboard) GIFError("Failed to store GIF on clipboard");
  TMemoryStream s;
  Image.SaveToStream(s);
  auto* data = new QMimeData;
  if (const TBitmap* first = Image.Bitmap()) data->setImageData(BitmapToQImage(*first));
  data->setData(kGIFClipboardFormat,
                QByteArray(reinterpret_cast<const char*>(s.Memory()), static_cast<qsizetype>(s.Bytes().size())));
  clipboard->setMimeData(data);
}

void LoadGIFFromClipboard(TGIFImage& Image) {
  const QClipboard* clipboard = QGuiApplication::clipboard();
  const QMimeData* data = clipboard ? clipboard->mimeData() : nullptr;
  if (data && data->hasFormat(kGIFClipboardFormat)) {
    const QByteArray bytes = data->data(kGIFClipboardFormat);
    TMemoryStream s(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    Image.LoadFromStream(s);
    return;
  }
  if (data && data->hasImage()) {
    Image.Assign(QImageToBitmap(qvariant_cast<QImage>(data->imageData())));
    return;
  }
  throw EInvalidGraphic("Unsupported clipboard format");
}
