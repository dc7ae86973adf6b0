#include "editor/PicturePreview.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QPainter>

#include "codecs/GIFPainter.h"
#include "platform/PictureLoader.h"
#include "platform/qt/BitmapImage.h"

namespace {

// The picture's size scaled down (never up) to fit, centred in area.
QRect Fit(int width, int height, const QRect& area) {
  if (width <= 0 || height <= 0 || area.isEmpty()) return {};
  const double scale =
      std::min({1.0, static_cast<double>(area.width()) / width, static_cast<double>(area.height()) / height});
  const QSize s(std::max(1, static_cast<int>(width * scale)), std::max(1, static_cast<int>(height * scale)));
  return QRect(area.center() - QPoint(s.width() / 2, s.height() / 2), s);
}

}  // namespace

TPicturePreview::TPicturePreview(QWidget* parent) : TPicturePreviewPane(parent) { setMinimumWidth(120); }

TPicturePreview::~TPicturePreview() = default;

void TPicturePreview::ShowFile(const QString& fileName) {
  FGIF.reset();
  FStill.reset();
  const QFileInfo info(fileName);
  if (info.isFile()) {
    const std::string name = fileName.toStdString();
    const TPictureFormat* format = PictureLoader().FindExtension(info.suffix().toStdString());
    try {
      if (format && format->GraphicClass == GIFGraphicClass()) {
        auto gif = std::make_unique<TGIFImage>();
        gif->OnAfterPaint = [this] { update(); };
        gif->LoadFromFile(name);
        FGIF = std::move(gif);
      } else if (format) {
        FStill = BitmapToQImage(LoadTextureFile(name));
      }
    } catch (const std::exception&) {
      // A file that cannot be read shows nothing; importing it will say why.
    }
  }
  update();
}

void TPicturePreview::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), palette().window());
  const QRect area = rect().adjusted(4, 4, -4, -4);
  if (FStill) {
    p.drawImage(Fit(FStill->width(), FStill->height(), area), *FStill);
    return;
  }
  if (!FGIF || FGIF->Empty()) return;
  const QRect target = Fit(FGIF->Width(), FGIF->Height(), area);
  if (target.isEmpty()) return;
  const QColor bg = palette().window().color();
  try {
    FCanvas.SetSize(target.width(), target.height());
    FCanvas.Fill(
        RGBColor(static_cast<uint8_t>(bg.red()), static_cast<uint8_t>(bg.green()), static_cast<uint8_t>(bg.blue())));
    FGIF->Draw(FCanvas, {0, 0, target.width(), target.height()});
    p.drawImage(target, BitmapToQImage(FCanvas));
  } catch (const std::exception&) {
    // A frame without colours draws nothing.
  }
}

void InstallPicturePreview() {
  // Frames are dithered only on palette displays, which X11 true-colour screens are not.
  if (const QScreen* screen = QGuiApplication::primaryScreen()) GIFPaletteDisplay = screen->depth() < 9;
  SetPicturePreviewFactory([](QWidget* parent) -> TPicturePreviewPane* { return new TPicturePreview(parent); });
  SetGIFSynchronizeWakeHook([] {
    if (QCoreApplication* app = QCoreApplication::instance())
      QMetaObject::invokeMethod(
          app, [] { GIFCheckSynchronize(); }, Qt::QueuedConnection);
  });
}
