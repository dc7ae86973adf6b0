#pragma once
// The open-picture dialog's preview pane: the file under the cursor, fitted into the pane. A GIF
// is drawn by its own class, so an animated one plays (its painter thread hands the frames to
// the GUI thread); selecting another file or closing the dialog frees the picture, which stops
// and joins the painter.
#include <QImage>
#include <memory>
#include <optional>

#include "codecs/GIFImage.h"
#include "platform/qt/PicturePreview.h"

class TPicturePreview : public TPicturePreviewPane {
 public:
  explicit TPicturePreview(QWidget* parent = nullptr);
  ~TPicturePreview() override;
  void ShowFile(const QString& fileName) override;
  // The GIF shown, if any.
  TGIFImage* GIF() const { return FGIF.get(); }
  bool HasPicture() const { return FGIF || FStill; }
  QSize sizeHint() const override { return {180, 180}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::unique_ptr<TGIFImage> FGIF;
  std::optional<QImage> FStill;
  TBitmap FCanvas;
};

// Makes the open-picture dialog show TPicturePreview panes, and lets GIF painter threads reach
// the GUI thread through the event loop.
void InstallPicturePreview();
